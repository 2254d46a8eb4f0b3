// Loads extension.js with stand-ins for the vscode module and the language
// client, and checks that activation starts the client with the configured
// command for wren-ram files and registers the debug adapter.
'use strict';

const { test } = require('node:test');
const assert = require('node:assert/strict');
const Module = require('node:module');
const path = require('node:path');

function loadWith(settings) {
  const seen = { clients: [], factories: {}, providers: {}, started: 0, output: [], commands: {}, picks: [] };
  const vscode = {
    commands: {
      registerCommand(name, run) {
        seen.commands[name] = run;
        return { dispose() {} };
      },
    },
    workspace: { getConfiguration: () => ({ get: (key, fallback) => settings[key] ?? fallback }) },
    debug: {
      activeDebugSession: settings.session,
      registerDebugAdapterDescriptorFactory(type, factory) {
        seen.factories[type] = factory;
        return { dispose() {} };
      },
      registerDebugConfigurationProvider(type, provider) {
        seen.providers[type] = provider;
        return { dispose() {} };
      },
    },
    DebugAdapterExecutable: class {
      constructor(command, args, options) { Object.assign(this, { command, args, options }); }
    },
    window: {
      showErrorMessage: (m) => { seen.error = m; },
      showInformationMessage: (m) => { seen.info = m; },
      showInputBox: async () => settings.typed,
      // Picks by label, in the order settings.choose gives.
      showQuickPick: async (items, options) => {
        seen.picks.push({ items: items.map((i) => `${i.label}${i.description ? ` ${i.description}` : ''}`), title: options.title });
        const label = settings.choose.shift();
        return items.find((i) => i.label === label);
      },
      activeTextEditor: settings.editor,
      createOutputChannel: (name) => ({ name, appendLine: (l) => seen.output.push(l), dispose() {} }),
    },
  };
  class LanguageClient {
    constructor(id, name, server, client) {
      seen.clients.push({ id, name, server, client });
    }
    async start() { seen.started++; }
    async stop() {}
  }
  const original = Module._load;
  Module._load = function (request, ...rest) {
    if (request === 'vscode') return vscode;
    if (request === 'vscode-languageclient/node') return { LanguageClient, TransportKind: { stdio: 0 } };
    return original.call(this, request, ...rest);
  };
  const file = path.join(__dirname, '..', 'extension.js');
  delete require.cache[require.resolve(file)];
  try {
    return { extension: require(file), seen };
  } finally {
    Module._load = original;
  }
}

// A folder with stand-ins for the native programs, first on PATH.
const fs = require('node:fs');
const os = require('node:os');
const bin = fs.mkdtempSync(path.join(os.tmpdir(), 'wren-vscode-'));
for (const name of ['wren-lsp', 'wren-dap']) fs.writeFileSync(path.join(bin, name), '', { mode: 0o755 });
const withPath = (dirs) => { process.env.PATH = dirs.join(path.delimiter); };
const originalPath = process.env.PATH;
test.after(() => {
  process.env.PATH = originalPath;
  fs.rmSync(bin, { recursive: true, force: true });
});

test('activation starts wren-lsp from PATH by default, for wren-ram documents', async () => {
  withPath([bin]);
  const { extension, seen } = loadWith({});
  await extension.activate({ subscriptions: [] });
  assert.equal(seen.clients.length, 1);
  assert.deepEqual(seen.clients[0].server, { command: path.join(bin, 'wren-lsp'), args: [] });
  assert.deepEqual(seen.clients[0].client.documentSelector, [{ language: 'wren-ram' }]);
  assert.equal(seen.started, 1);
});

test('the configured paths are the ones started', async () => {
  withPath([]);
  const lsp = path.join(bin, 'wren-lsp');
  const dap = path.join(bin, 'wren-dap');
  const { extension, seen } = loadWith({ lspPath: lsp, dapPath: dap });
  await extension.activate({ subscriptions: [] });
  assert.equal(seen.clients[0].server.command, lsp);
  const adapter = seen.factories['wren-ram'].createDebugAdapterDescriptor();
  assert.equal(adapter.command, dap);
  assert.deepEqual(seen.output, [`Language server: ${lsp} (native)`, `Debug adapter: ${dap} (native)`]);
});

// Where the native programs are missing, or the setting asks for it, the
// WebAssembly servers in server/ run in VS Code's own Node.js; "native"
// insists on the configured programs, so that their absence is reported.
const server = (name) => path.join(__dirname, '..', 'server', name);
const choices = [
  ['nothing on PATH', [], {}, 'webassembly'],
  ['a configured path that is not there', [bin], { lspPath: '/nonexistent/wren-lsp', dapPath: '/nonexistent/wren-dap' }, 'webassembly'],
  ['"webassembly" with the native programs on PATH', [bin], { server: 'webassembly' }, 'webassembly'],
  ['"native" with nothing on PATH', [], { server: 'native' }, 'native'],
  ['"auto" with the native programs on PATH', [bin], { server: 'auto' }, 'native'],
];
for (const [name, dirs, settings, kind] of choices) {
  test(`servers: ${name} runs the ${kind} ones`, async () => {
    withPath(dirs);
    const { extension, seen } = loadWith(settings);
    await extension.activate({ subscriptions: [] });
    const lsp = seen.clients[0].server;
    const adapter = seen.factories['wren-ram'].createDebugAdapterDescriptor();
    if (kind === 'webassembly') {
      assert.deepEqual(lsp, { module: server('wren-lsp.mjs'), transport: 0 });
      assert.equal(adapter.command, process.execPath);
      assert.deepEqual(adapter.args, [server('wren-dap.mjs')]);
      assert.deepEqual(adapter.options, { env: { ELECTRON_RUN_AS_NODE: '1' } });
      assert.deepEqual(seen.output, [
        `Language server: ${server('wren-lsp.mjs')} (WebAssembly, in VS Code's Node.js)`,
        `Debug adapter: ${server('wren-dap.mjs')} (WebAssembly, in VS Code's Node.js)`]);
    } else {
      assert.equal(lsp.command, dirs.length ? path.join(bin, 'wren-lsp') : 'wren-lsp');
      assert.equal(adapter.command, dirs.length ? path.join(bin, 'wren-dap') : 'wren-dap');
      assert.match(seen.output[0], / \(native\)$/);
    }
  });
}

// F5 with no launch.json hands the provider an empty configuration.
test('F5 without a launch.json debugs the open program, stopped on entry', async () => {
  withPath([bin]);
  const editor = { document: { languageId: 'wren-ram', uri: { fsPath: '/work/count.ram' } } };
  const { extension, seen } = loadWith({ editor });
  await extension.activate({ subscriptions: [] });
  const provider = seen.providers['wren-ram'];
  assert.deepEqual(provider.resolveDebugConfiguration(undefined, {}), {
    type: 'wren-ram', request: 'launch', name: 'Debug this program',
    program: '/work/count.ram', stopOnEntry: true,
  });
  const given = { type: 'wren-ram', request: 'launch', name: 'mine', program: '/p.ram' };
  assert.equal(provider.resolveDebugConfiguration(undefined, given), given);

  const other = loadWith({ editor: { document: { languageId: 'plaintext', uri: { fsPath: '/a.txt' } } } });
  await other.extension.activate({ subscriptions: [] });
  assert.equal(other.seen.providers['wren-ram'].resolveDebugConfiguration(undefined, {}), undefined);
  assert.equal(other.seen.info, 'Wren: open a program (.ram) to debug it.');
});

// The word commands ask the debug adapter, from a memory word's menu in the
// Variables view or an address typed, and go back to the step picked.
test('who wrote a word, and its history page by page, through the debug session', async () => {
  withPath([bin]);
  const asked = [];
  const answers = {
    whoWrote: { address: 100, since: 0, write: { step: 6143, address: 8, line: 5, instruction: 'STAm 100', old: 65472, value: 0 } },
    wordHistory: [
      { address: 101, since: 0, more: true, writes: [{ step: 900, address: 20, line: 11, instruction: 'STAm 101', old: 1, value: 2 }] },
      { address: 101, since: 0, more: false, writes: [{ step: 400, address: 20, line: 11, instruction: 'STAm 101', old: 0, value: 1 }] },
    ],
    goToStep: { step: 400 },
  };
  const session = {
    type: 'wren-ram',
    async customRequest(command, args) {
      asked.push([command, args]);
      const answer = answers[command];
      return Array.isArray(answer) ? answer.shift() : answer;
    },
  };
  const { extension, seen } = loadWith({ session, typed: '&H64', choose: ['Earlier stores…', 'Step 400'] });
  await extension.activate({ subscriptions: [] });
  await seen.commands['wren.whoWrote']();
  assert.equal(seen.info, 'Word 100 was last written by step 6,143 (line 5): STAm 100 stored 0 over 65472.');
  await seen.commands['wren.wordHistory']({ variable: { name: '101', value: '2' } });
  assert.deepEqual(asked, [
    ['whoWrote', { address: '&H64' }],
    ['wordHistory', { address: 101, count: 50, before: 0 }],
    ['wordHistory', { address: 101, count: 50, before: 900 }],
    ['goToStep', { step: 400 }],
  ]);
  assert.deepEqual(seen.picks.map((p) => p.title), [
    'History of word 101: 1 newest stores, newest first', 'History of word 101: 2 stores, newest first']);
  assert.deepEqual(seen.picks[1].items, ['Step 900 line 11 · STAm 101 · 1 → 2', 'Step 400 line 11 · STAm 101 · 0 → 1']);

  const idle = loadWith({});
  await idle.extension.activate({ subscriptions: [] });
  await idle.seen.commands['wren.whoWrote']();
  assert.equal(idle.seen.info, 'Wren: start debugging a program first.');
});
