// wren-trace --listing places every executed instruction where the run finds
// it: each address a traced step executes inside the program is listed as a
// record that takes memory, and the listing's words are what was loaded.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readdirSync } from 'node:fs';
import { join } from 'node:path';

const trace = process.env.WREN_TRACE;
const examples = process.env.WREN_EXAMPLES;

function lines(args) {
  let out;
  try { out = execFileSync(trace, args, { encoding: 'utf8' }); } catch (e) { out = e.stdout; }
  return out.trim().split('\n').filter(Boolean).map((l) => JSON.parse(l));
}

function programs(dir) {
  return readdirSync(dir, { withFileTypes: true }).flatMap((e) =>
    e.isDirectory() ? programs(join(dir, e.name)) : e.name.endsWith('.ram') ? [join(dir, e.name)] : []);
}

test('listing addresses are the addresses wren-trace executes', () => {
  let checked = 0;
  for (const file of programs(examples)) {
    const listing = lines(['--listing', '--json', file]);
    const byAddress = new Map(listing.filter((r) => r.address !== null).map((r) => [r.address, r]));
    const run = lines(['--json', '--steps', '300', file]);
    const end = run.at(-1);
    if (end.end === 'load-error') continue;
    assert.equal(byAddress.size, end.himem / 2, file);
    for (const step of run.filter((o) => o.step !== undefined && o.at < end.himem)) {
      assert.ok(byAddress.has(step.at), `${file}: step ${step.step} at ${step.at} is not listed`);
      checked++;
    }
    // The first step runs the word the listing says was loaded there.
    const first = run[0];
    if (first.step === 1 && byAddress.get(first.at).kind === 'instruction')
      assert.equal(first.listing.split(/\s+/)[1], byAddress.get(first.at).text.replace(/"/g, '').split(' ')[0], file);
  }
  assert.ok(checked > 100, `only ${checked} steps checked`);
});
