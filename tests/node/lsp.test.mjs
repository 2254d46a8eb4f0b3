// wren-lsp driven by a real protocol client: inlay hints against the
// addresses that wren-trace executes, references, quick fixes, UTF-16.
import { after, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync, readdirSync } from 'node:fs';
import { join } from 'node:path';
import { startServer, range, stopAll } from './lsp_client.mjs';

after(stopAll);

const examples = process.env.WREN_EXAMPLES;
const trace = process.env.WREN_TRACE;

function programsUnder(dir) {
  return readdirSync(dir, { withFileTypes: true }).flatMap((e) =>
    e.isDirectory() ? programsUnder(join(dir, e.name)) : e.name.endsWith('.ram') ? [join(dir, e.name)] : []);
}

test('inlay hints give the address of every instruction that wren-trace executes', async () => {
  const lsp = await startServer();
  const files = programsUnder(examples);
  assert.ok(files.length >= 10, `examples found: ${files.length}`);
  for (const file of files) {
    const text = readFileSync(file, 'utf8');
    const uri = `file://${file}`;
    await lsp.open(uri, text);
    const lines = text.split(/\r\n|\r|\n/);
    const hints = await lsp.request('textDocument/inlayHint', { textDocument: { uri }, range: range(0, 0, lines.length, 0) });
    const wordAt = new Map(); // address -> the source word the hint sits on
    for (const h of hints.filter((h) => h.label.endsWith(':'))) {
      const rest = lines[h.position.line].slice(h.position.character);
      wordAt.set(Number(h.label.slice(0, -1)), rest.replace(/^"/, '').split(' ')[0]);
    }
    let run;
    try {
      run = execFileSync(trace, ['--json', '--steps', '300', file], { encoding: 'utf8' });
    } catch (e) {
      run = e.stdout; // faults and load errors still print their steps
    }
    const objects = run.trim().split('\n').filter(Boolean).map((l) => JSON.parse(l));
    const end = objects.at(-1);
    if (end.end === 'load-error') continue;
    assert.deepEqual([...wordAt.keys()], Array.from({ length: end.himem / 2 }, (_, i) => 2 * i), file);
    for (const step of objects.filter((o) => o.step !== undefined && o.at < end.himem)) {
      const listed = step.listing.split(/\s+/)[1];
      const word = wordAt.get(step.at);
      // A data record holds no mnemonic of its own; the program may write one there.
      if (['ADDm', 'ADDi', 'ADDpc', 'BVS', 'LDAm', 'LDAi', 'LDApc', 'STAm', 'STApc'].includes(word))
        assert.equal(word, listed, `${file}: step ${step.step} at ${step.at}`);
    }
  }
  assert.equal(await lsp.stop(), 0);
});

test('references find every operand that names a record, definition leads back', async () => {
  const lsp = await startServer();
  const uri = 'file:///untitled/loop.ram';
  await lsp.open(uri, 'LDAi 0\nADDi 1\nSTAm 200\nBVS 10, LDAi 0, ADDi 0\nBVS 3\nLDAm 2\n');
  const refs = await lsp.request('textDocument/references',
    { textDocument: { uri }, position: { line: 1, character: 2 }, context: { includeDeclaration: false } });
  assert.deepEqual(refs.map((r) => [r.range.start.line, r.range.start.character, r.range.end.character]),
    [[4, 4, 5], [5, 5, 6]]);
  const def = await lsp.request('textDocument/definition', { textDocument: { uri }, position: { line: 3, character: 5 } });
  assert.deepEqual(def.map((l) => [l.range.start.line, l.range.start.character]), [[3, 16]]);
  await lsp.stop();
});

test('quick fixes are offered for the diagnostics they mend', async () => {
  const lsp = await startServer();
  const uri = 'file:///untitled/fix.ram';
  const diagnostics = await lsp.open(uri, 'STAmm 5\nLDApc\n');
  assert.deepEqual(diagnostics.map((d) => d.code), ['unknown-mnemonic', 'missing-operand']);
  const actions = await lsp.request('textDocument/codeAction',
    { textDocument: { uri }, range: range(0, 0, 1, 0), context: { diagnostics } });
  assert.deepEqual(actions.map((a) => [a.title, a.diagnostics[0].code, a.edit.changes[uri][0].newText]), [
    ["Change to 'STAm'", 'unknown-mnemonic', 'STAm'],
    ['Add the operand 0', 'missing-operand', ' 0'],
  ]);
  assert.deepEqual(actions[1].edit.changes[uri][0].range, range(1, 5, 1, 5));
  await lsp.stop();
});

test('positions count UTF-16 code units unless the client offers UTF-8', async () => {
  const text = '{ \u{1F600}\n"\u{1F600}" x, LDAi 1O\n';
  const utf16 = await startServer();
  assert.equal(utf16.init.capabilities.positionEncoding, 'utf-16');
  const d16 = await utf16.open('file:///untitled/e.ram', text);
  // '"', the emoji's two units, '"', ' ' put the dropped 'x' at 5, and 'O' at 14.
  assert.deepEqual(d16.map((d) => [d.code, d.range.start.line, d.range.start.character]),
    [['quote', 1, 5], ['trailing-text', 1, 14]]);
  await utf16.stop();

  const utf8 = await startServer({ general: { positionEncodings: ['utf-8', 'utf-16'] } });
  assert.equal(utf8.init.capabilities.positionEncoding, 'utf-8');
  const d8 = await utf8.open('file:///untitled/e.ram', text);
  assert.deepEqual(d8.map((d) => d.range.start.character), [7, 16]);
  await utf8.stop();
});
