// The Wren simulator extension: starts wren-lsp for Wren programs and runs
// wren-dap for the wren-ram debug type. Both are native programs; their
// paths are settings (wren.lspPath, wren.dapPath).
'use strict';

const vscode = require('vscode');
const { LanguageClient } = require('vscode-languageclient/node');

let client;

async function activate(context) {
  const settings = vscode.workspace.getConfiguration('wren');
  const command = settings.get('lspPath', 'wren-lsp');
  client = new LanguageClient(
    'wren-lsp',
    'Wren language server',
    { command, args: [] },
    { documentSelector: [{ language: 'wren-ram' }] },
  );
  context.subscriptions.push(
    vscode.debug.registerDebugAdapterDescriptorFactory('wren-ram', {
      createDebugAdapterDescriptor() {
        const dap = vscode.workspace.getConfiguration('wren').get('dapPath', 'wren-dap');
        return new vscode.DebugAdapterExecutable(dap, []);
      },
    }),
  );
  try {
    await client.start();
  } catch (error) {
    vscode.window.showErrorMessage(
      `Wren: cannot start the language server '${command}' (${error.message}). ` +
      'Install wren-simulator or set wren.lspPath.');
  }
}

async function deactivate() {
  if (client) await client.stop();
}

module.exports = { activate, deactivate };
