// Bad bytes on purpose: each server answers what it can, skips what it must,
// keeps serving, and exits with the status its manual gives. Every row runs
// against whichever build WREN_LSP and WREN_DAP name.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';

const frame = (body) => {
  const text = typeof body === 'string' ? body : JSON.stringify(body);
  return `Content-Length: ${Buffer.byteLength(text)}\r\n\r\n${text}`;
};

// Sends input, closes standard input, and reads every framed message.
function exchange(program, input, args = []) {
  return new Promise((resolve, reject) => {
    const server = spawn(program, args, { stdio: ['pipe', 'pipe', 'pipe'] });
    const out = [];
    let stderr = '';
    server.stdout.on('data', (c) => out.push(c));
    server.stderr.on('data', (c) => { stderr += c; });
    server.on('error', reject);
    server.on('close', (status) => {
      const text = Buffer.concat(out);
      const messages = [];
      for (let at = 0; at < text.length;) {
        const end = text.indexOf('\r\n\r\n', at);
        const length = Number(/Content-Length: (\d+)/.exec(text.subarray(at, end).toString())[1]);
        messages.push(JSON.parse(text.subarray(end + 4, end + 4 + length).toString()));
        at = end + 4 + length;
      }
      resolve({ status, messages, stderr });
    });
    server.stdin.on('error', () => {}); // a server that exits early closes it
    server.stdin.end(Buffer.concat(input.map((p) => (Buffer.isBuffer(p) ? p : Buffer.from(p)))));
  });
}

const init = frame({ jsonrpc: '2.0', id: 1, method: 'initialize', params: {} });
const shutdown = frame({ jsonrpc: '2.0', id: 2, method: 'shutdown' });
const exit = frame({ jsonrpc: '2.0', method: 'exit' });
// What an answer says, in one short string: "1 ok", "null -32700 the header...".
const lspSummary = (m) => (m.error
  ? `${m.id} ${m.error.code} ${m.error.message.split(': ')[0]}`
  : `${m.id} ok`);

const lspRows = [
  ['no Content-Length, then initialize', ['Content-Type: x\r\n\r\n{}', init, shutdown, exit], 0,
    ['null -32700 the header has no Content-Length', '1 ok', '2 ok']],
  ['a length that is no number', ['Content-Length: 12a\r\n\r\n', init], 1,
    ["null -32700 Content-Length '12a' is not a byte count", '1 ok']],
  ['a trailing blank after the length', [`Content-Length: ${init.length - init.indexOf('{')} \r\n\r\n${init.slice(init.indexOf('{'))}`], 1,
    ['1 ok']],
  ['a body that is no JSON', [frame('{nope'), init], 1, ['null -32700 the body is not JSON', '1 ok']],
  ['a message that is no object', [init, frame('[1,2]')], 1, ['1 ok', 'null -32600 a message must be a JSON object']],
  ['a request before initialize', [frame({ jsonrpc: '2.0', id: 7, method: 'textDocument/hover', params: {} }), init], 1,
    ['7 -32002 the server is not initialized yet', '1 ok']],
  ['an unknown method', [init, frame({ jsonrpc: '2.0', id: 3, method: 'wren/nothing' })], 1,
    ['1 ok', '3 -32601 unknown method wren/nothing']],
  ['params of the wrong shape', [init, frame({ jsonrpc: '2.0', id: 4, method: 'textDocument/hover', params: { textDocument: 5 } })], 1,
    ['1 ok', '4 -32602 textDocument/hover']],
  ['binary junk with no header', [Buffer.from([0, 255, 1, 254, 10, 13, 10, 0xc3, 0x28]), init], 1,
    ['null -32700 the header has no Content-Length', '1 ok']],
  ['a body cut short by the end', [init, 'Content-Length: 500\r\n\r\n{"jsonrpc"'], 1, ['1 ok']],
  ['exit without shutdown', [init, exit], 1, ['1 ok']],
];

for (const [name, input, status, answers] of lspRows) {
  test(`wren-lsp: ${name}`, async () => {
    const run = await exchange(process.env.WREN_LSP, input);
    assert.deepEqual(run.messages.map(lspSummary), answers);
    assert.equal(run.status, status);
  });
}

// What VS Code's client passes to a server it starts as a Node.js module.
test('wren-lsp: the arguments an editor passes are accepted', async () => {
  const run = await exchange(process.env.WREN_LSP, [init, shutdown, exit], ['--stdio', '--clientProcessId=4242']);
  assert.deepEqual(run.messages.map(lspSummary), ['1 ok', '2 ok']);
  assert.equal(run.status, 0, run.stderr);
});

test('wren-lsp: a body over the limit is skipped whole, blank lines and all', async () => {
  const limit = 64 * 1024 * 1024;
  const body = Buffer.alloc(limit + 1, 'x');
  body.write('\r\n\r\nContent-Length: 2\r\n\r\n{}', 1000);
  const run = await exchange(process.env.WREN_LSP, [`Content-Length: ${limit + 1}\r\n\r\n`, body, init, shutdown, exit]);
  assert.deepEqual(run.messages.map(lspSummary),
    ['null -32700 a message of 67108865 bytes is over the limit of 67108864', '1 ok', '2 ok']);
  assert.equal(run.status, 0);
});

const request = (seq, command, args) => frame({ seq, type: 'request', command, arguments: args });
// An event as "output: TEXT" or "NAME"; a response as "command ok" or "command failed: MESSAGE".
const dapSummary = (m) => {
  if (m.type === 'event') return m.event === 'output' ? `output: ${m.body.output.trim()}` : m.event;
  return m.success ? `${m.command} ok` : `${m.command} failed: ${m.message}`;
};

const dapRows = [
  ['a malformed header', ['Content-Length: x\r\n\r\n', request(1, 'initialize', {})],
    ["output: wren-dap: ignored a malformed message: Content-Length 'x' is not a byte count", 'initialize ok']],
  ['a message that is no request', [frame({ seq: 1, type: 'event', event: 'x' }), frame('"text"')],
    ['output: wren-dap: ignored a message that is no request', 'output: wren-dap: ignored a message that is no request']],
  ['a request before launch', [request(1, 'initialize', {}), request(2, 'next', { threadId: 1 })],
    ['initialize ok', 'next failed: next: no program is launched']],
  ['a launch of a missing file', [request(1, 'launch', { program: '/nonexistent/p.ram' })],
    ["launch failed: /nonexistent/p.ram: cannot open: No such file or directory"]],
  ['launch arguments of the wrong type', [request(1, 'launch', { program: 5 }), request(2, 'launch', { program: '/x.ram', set: { 70000: 1 } })],
    ["launch failed: launch: 'program' must name the program file to debug",
      "launch failed: launch: set: '70000' is not an address 0..65535"]],
  ['an unknown request', [request(1, 'initialize', {}), request(2, 'launch', { program: process.env.WREN_EXAMPLES + '/fill-memory.ram' }), request(3, 'fly', {})],
    null],
];

for (const [name, input, answers] of dapRows) {
  test(`wren-dap: ${name}`, async () => {
    const run = await exchange(process.env.WREN_DAP, input);
    assert.equal(run.status, 0, run.stderr); // the end of input ends the session
    if (answers) assert.deepEqual(run.messages.map(dapSummary), answers);
    else assert.equal(run.messages.map(dapSummary).at(-1), "fly failed: unknown request 'fly'");
  });
}
