// The Wren simulator extension: starts the language server for Wren programs
// and the debug adapter for the wren-ram debug type. Each is the native
// program where it is installed (wren.lspPath, wren.dapPath), and otherwise
// the WebAssembly build in server/, which runs in VS Code's own Node.js
// (wren.server chooses).
'use strict';

const path = require('node:path');
const vscode = require('vscode');
const { LanguageClient, TransportKind } = require('vscode-languageclient/node');
const { chooseServer, describe } = require('./servers');
const { registerWordCommands } = require('./word_history');

let client;

function serverSettings() {
  const settings = vscode.workspace.getConfiguration('wren');
  return {
    choice: settings.get('server', 'auto'),
    lsp: settings.get('lspPath', 'wren-lsp'),
    dap: settings.get('dapPath', 'wren-dap'),
  };
}

const script = (name) => path.join(__dirname, 'server', name);

async function activate(context) {
  const output = vscode.window.createOutputChannel('Wren');
  context.subscriptions.push(output);
  const settings = serverSettings();
  const lsp = chooseServer(settings.choice, settings.lsp, script('wren-lsp.mjs'));
  output.appendLine(describe('Language server', lsp));
  // A Node.js module runs in the Node.js of VS Code's extension host.
  const serverOptions = lsp.kind === 'native'
    ? { command: lsp.command, args: [] }
    : { module: lsp.script, transport: TransportKind.stdio };
  client = new LanguageClient('wren-lsp', 'Wren language server', serverOptions,
    { documentSelector: [{ language: 'wren-ram' }], outputChannel: output });

  context.subscriptions.push(
    ...registerWordCommands(vscode),
    // F5 with no launch.json: debug the open program, stopped on entry.
    vscode.debug.registerDebugConfigurationProvider('wren-ram', {
      resolveDebugConfiguration(folder, config) {
        if (!config.request && !config.name) { // empty, or only a type
          const document = vscode.window.activeTextEditor?.document;
          if (document?.languageId === 'wren-ram') {
            Object.assign(config, {
              type: 'wren-ram', request: 'launch', name: 'Debug this program',
              program: document.uri.fsPath, stopOnEntry: true,
            });
          }
        }
        if (!config.program) {
          vscode.window.showInformationMessage('Wren: open a program (.ram) to debug it.');
          return undefined; // abort the launch
        }
        return config;
      },
    }),
    vscode.debug.registerDebugAdapterDescriptorFactory('wren-ram', {
      createDebugAdapterDescriptor() {
        const now = serverSettings();
        const dap = chooseServer(now.choice, now.dap, script('wren-dap.mjs'));
        output.appendLine(describe('Debug adapter', dap));
        if (dap.kind === 'native') return new vscode.DebugAdapterExecutable(dap.command, []);
        // In the desktop VS Code, process.execPath is Electron: this makes it Node.js.
        return new vscode.DebugAdapterExecutable(process.execPath, [dap.script],
          { env: { ELECTRON_RUN_AS_NODE: '1' } });
      },
    }),
  );
  try {
    await client.start();
  } catch (error) {
    output.appendLine(`Language server failed to start: ${error.message}`);
    vscode.window.showErrorMessage(
      `Wren: cannot start the language server (${error.message}). ` +
      'Set wren.server to "webassembly", or install wren-simulator and set wren.lspPath.');
  }
}

async function deactivate() {
  if (client) await client.stop();
}

module.exports = { activate, deactivate };
