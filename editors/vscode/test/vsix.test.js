// The built .vsix (WREN_VSIX) holds every file its manifest names.
'use strict';

const { test } = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');

test('the package holds the grammar, the configuration, extension.js and the icon', (t) => {
  const vsix = process.env.WREN_VSIX;
  if (!vsix) return t.skip('WREN_VSIX is not set');
  const files = new Set(execFileSync('unzip', ['-Z1', vsix], { encoding: 'utf8' }).split('\n'));
  const manifest = JSON.parse(execFileSync('unzip', ['-p', vsix, 'extension/package.json'], { encoding: 'utf8' }));
  const inside = (p) => `extension/${p.replace(/^\.\//, '')}`;
  const named = [
    manifest.main,
    manifest.icon,
    ...manifest.contributes.grammars.map((g) => g.path),
    ...manifest.contributes.languages.map((l) => l.configuration),
  ];
  assert.equal(named.length, 4);
  for (const p of named) assert.ok(files.has(inside(p)), `${p} is missing from ${vsix}`);
  assert.ok(files.has('extension/node_modules/vscode-languageclient/node.js'), 'the language client is not bundled');
  assert.equal(manifest.contributes.debuggers[0].type, 'wren-ram');
  assert.equal(manifest.contributes.languages[0].id, 'wren-ram');
});

test('the package carries both WebAssembly servers, and they run in Node.js', (t) => {
  const vsix = process.env.WREN_VSIX;
  if (!vsix) return t.skip('WREN_VSIX is not set');
  const fs = require('node:fs');
  const os = require('node:os');
  const path = require('node:path');
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'wren-vsix-'));
  try {
    execFileSync('unzip', ['-q', vsix, 'extension/server/*', '-d', dir]);
    for (const name of ['wren-lsp', 'wren-dap']) {
      const script = path.join(dir, 'extension', 'server', `${name}.mjs`);
      const version = execFileSync(process.execPath, [script, '--version'], { encoding: 'utf8' });
      assert.equal(version, `${name} 1.0.0\n`);
    }
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
});
