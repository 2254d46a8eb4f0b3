// A language-server client for the tests: starts wren-lsp (WREN_LSP) and
// talks to it through the protocol library that VS Code's own client uses.
import { spawn } from 'node:child_process';
import {
  createProtocolConnection, StreamMessageReader, StreamMessageWriter,
} from 'vscode-languageserver-protocol/node.js';

const running = new Set();

/// Ends every server still running, such as one whose test failed midway.
export function stopAll() {
  for (const server of running) server.kill();
}

export async function startServer(capabilities = {}) {
  const server = spawn(process.env.WREN_LSP ?? 'wren-lsp', [], { stdio: ['pipe', 'pipe', 'inherit'] });
  running.add(server);
  server.on('exit', () => running.delete(server));
  const connection = createProtocolConnection(
    new StreamMessageReader(server.stdout), new StreamMessageWriter(server.stdin));
  const published = new Map(); // uri -> latest diagnostics params
  const waiting = [];
  connection.onNotification('textDocument/publishDiagnostics', (params) => {
    published.set(params.uri, params);
    for (const w of waiting.splice(0)) w();
  });
  connection.listen();
  const init = await connection.sendRequest('initialize', { processId: process.pid, rootUri: null, capabilities });
  await connection.sendNotification('initialized', {});

  return {
    init,
    connection,
    request: (method, params) => connection.sendRequest(method, params),
    async open(uri, text, version = 1) {
      published.delete(uri);
      await connection.sendNotification('textDocument/didOpen',
        { textDocument: { uri, languageId: 'wren-ram', version, text } });
      return this.diagnostics(uri, version);
    },
    async diagnostics(uri, version) {
      while (published.get(uri)?.version !== version) await new Promise((r) => waiting.push(r));
      return published.get(uri).diagnostics;
    },
    async stop() {
      await connection.sendRequest('shutdown');
      const exited = new Promise((resolve) => server.on('exit', (code) => resolve(code)));
      await connection.sendNotification('exit');
      const code = await exited;
      connection.dispose();
      return code;
    },
  };
}

export const range = (l0, c0, l1, c1) => ({ start: { line: l0, character: c0 }, end: { line: l1, character: c1 } });
