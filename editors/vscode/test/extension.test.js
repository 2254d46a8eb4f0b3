// Loads extension.js with stand-ins for the vscode module and the language
// client, and checks that activation starts the client with the configured
// command for wren-ram files and registers the debug adapter.
'use strict';

const { test } = require('node:test');
const assert = require('node:assert/strict');
const Module = require('node:module');
const path = require('node:path');

function loadWith(settings) {
  const seen = { clients: [], factories: {}, started: 0 };
  const vscode = {
    workspace: { getConfiguration: () => ({ get: (key, fallback) => settings[key] ?? fallback }) },
    debug: {
      registerDebugAdapterDescriptorFactory(type, factory) {
        seen.factories[type] = factory;
        return { dispose() {} };
      },
    },
    DebugAdapterExecutable: class { constructor(command, args) { Object.assign(this, { command, args }); } },
    window: { showErrorMessage: (m) => { seen.error = m; } },
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
    if (request === 'vscode-languageclient/node') return { LanguageClient };
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

test('activation starts wren-lsp from PATH by default, for wren-ram documents', async () => {
  const { extension, seen } = loadWith({});
  await extension.activate({ subscriptions: [] });
  assert.equal(seen.clients.length, 1);
  assert.deepEqual(seen.clients[0].server, { command: 'wren-lsp', args: [] });
  assert.deepEqual(seen.clients[0].client.documentSelector, [{ language: 'wren-ram' }]);
  assert.equal(seen.started, 1);
});

test('the configured paths are the ones started', async () => {
  const { extension, seen } = loadWith({ lspPath: '/opt/wren/bin/wren-lsp', dapPath: '/opt/wren/bin/wren-dap' });
  await extension.activate({ subscriptions: [] });
  assert.equal(seen.clients[0].server.command, '/opt/wren/bin/wren-lsp');
  const adapter = seen.factories['wren-ram'].createDebugAdapterDescriptor();
  assert.equal(adapter.command, '/opt/wren/bin/wren-dap');
});
