// Check cases in the page's teacher view: the same C++ in the grader's
// worker gives what wren-grade --check-cases --format json gives on the same
// files, and lists each change every case lets through with its hint.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { copyFileSync, readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { button, startBrowser } from './helpers.mjs';

const examples = join(import.meta.dirname ?? new URL('.', import.meta.url).pathname, '../../examples/grading/multiply');
// The multiply cases before the case that catches a product never cleared,
// beside a copy of the model answer, as the page opens them.
const weakCases = join(examples, '../../../tests/grade/check/weak-multiply.toml');
let session;
let weak;
before(async () => {
  session = await startBrowser();
  weak = join(session.dir, 'weak.toml');
  writeFileSync(weak, readFileSync(weakCases, 'utf8').replace(/^reference = .*$/m, 'reference = "model.ram"'));
  copyFileSync(join(examples, 'model.ram'), join(session.dir, 'model.ram'));
});
after(async () => { await session?.close(); });

// What wren-grade says of the case file, and its exit status.
function cli(cases) {
  const run = spawnSync(process.env.WREN_GRADE, ['--check-cases', '--format', 'json', cases], { encoding: 'utf8' });
  return { json: JSON.parse(run.stdout), status: run.status };
}

test("Check cases gives wren-grade's check of the same case file, survivors and hints listed", async () => {
  const { page, close, errors } = await session.open('LDAi 1\n');
  const check = page.getByRole('button', { name: 'Check cases' });
  assert.equal(await check.isDisabled(), true, 'no case file yet');
  for (const [cases, survivors] of [[weak, 5], [join(examples, 'cases.toml'), 2]]) {
    const want = cli(cases);
    assert.equal(want.status, survivors ? 1 : 0);
    assert.equal(want.json.survivors.length, survivors);
    await page.getByLabel('Open cases').setInputFiles([cases, join(examples, 'model.ram')]);
    await check.click();
    const state = page.locator('#check-state');
    await page.waitForFunction(() => /^These cases catch/.test(document.getElementById('check-state').textContent), null, { timeout: 60000 });
    const [download] = await Promise.all([page.waitForEvent('download'), button(page, 'Save check').click()]);
    assert.deepEqual(JSON.parse(readFileSync(await download.path(), 'utf8')), want.json);
    const pct = Math.floor((100 * want.json.caught) / want.json.changes);
    assert.equal(await state.innerText(), `These cases catch ${pct} % of small changes of the model answer (${want.json.caught} of ${want.json.changes})` +
      (survivors ? `; every case lets ${survivors} through.` : '.'));
    const items = await page.getByRole('list', { name: 'Changes every case lets through' }).locator('li').allInnerTexts();
    assert.deepEqual(items, want.json.survivors.map((s) => `${s.line}: ${s.before} -> ${s.after}: ${s.hint}`));
  }
  assert.deepEqual(errors, []);
  await close();
});
