// Who wrote a word, its history, Break on write and Reverse continue in the
// page, against wren-trace's run of the same program: a store long before
// the oldest kept step (the run is 1,572,880 steps), and four stores to a
// word far apart.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { axePath, button, settle, shown, startBrowser, trace } from './helpers.mjs';

// Word 200 is stored to at step 2; word 100 counts rounds and wraps every
// 65,536 of them, when word 101 gains 16,384; its fourth gain sets V and
// ends the run at 30.
const program = `LDAi 7
STAm 200
LDAm 100
ADDi 1
STAm 100
BVS 16
LDAi 4
STApc 0
LDAm 101
ADDi 16384
STAm 101
BVS 30
LDAi 4
STApc 0
`;

let session;
before(async () => { session = await startBrowser(); });
after(async () => { await session?.close(); });

/// wren-trace on program, stopped after steps (it exits 1 then).
function traceRun(steps, extra = []) {
  const file = session.write('who.ram', program);
  try {
    return execFileSync(trace, ['-q', '--steps', String(steps), ...extra, file], { encoding: 'utf8' });
  } catch (error) {
    return error.stdout;
  }
}
/// The registers after the first steps of program.
const traceTo = (steps) => JSON.parse(traceRun(steps, ['--json']));
const state = (page) => page.locator('#machine-state').innerText();
const serious = async (page) => {
  await page.addScriptTag({ path: axePath });
  const axe = await page.evaluate(() => window.axe.run(document));
  return axe.violations.filter((v) => v.impact === 'serious' || v.impact === 'critical').map((v) => v.id);
};

test('who wrote a word, its history, and break on write with reverse continue', async () => {
  const { page, errors, close } = await session.open(program);
  const end = traceTo(2_000_000);
  assert.equal(end.steps, 1_572_880);
  const runToEnd = async () => {
    await button(page, 'Run to end').click();
    await page.waitForFunction(() => document.getElementById('machine-state').textContent.startsWith('The program ended'));
  };
  const cell = async (address) => {
    await page.locator('#goto').fill(String(address));
    await page.locator('#goto').press('Enter');
    const el = page.locator(`[role=gridcell][data-address="${address}"]`);
    await el.click();
    return el;
  };
  await page.locator('.wren-address').first().waitFor();
  await runToEnd();

  // W on a cell: back 1,572,878 steps, to just after the store at step 2.
  await cell(200);
  await page.keyboard.press('w');
  await page.waitForFunction(() => document.getElementById('machine-state').textContent.startsWith('Word 200'));
  assert.equal(await state(page), 'Word 200 was last written by step 2 (line 2): STAm 200 stored 7 over 0. The machine is back just after it.');
  assert.equal(await settle(page, shown(traceTo(2))), shown(traceTo(2)));
  assert.equal(await page.locator('#last-step-head').innerText(), 'Last step: STAm 200 at 2');
  assert.equal(await page.locator('[data-address="200"]').getAttribute('data-access'), 'write');
  // Nothing stores to 300.
  await cell(300);
  await page.keyboard.press('w');
  await page.waitForFunction(() => document.getElementById('machine-state').textContent.startsWith('Nothing'));
  assert.equal(await state(page), 'Nothing has stored to word 300 since the program was loaded: it holds what the program gave it.');

  // History from the cell's menu, at the end: the four stores, newest first.
  await runToEnd();
  await (await cell(101)).click({ button: 'right' });
  const menu = page.getByRole('menu', { name: 'Memory word 101' });
  await menu.waitFor();
  assert.deepEqual(await serious(page), []);
  await page.keyboard.press('ArrowDown');
  await page.keyboard.press('Enter');
  const dialog = page.getByRole('dialog', { name: 'History of word 101' });
  await dialog.waitFor();
  const rows = await page.locator('#word-history-list li').allInnerTexts();
  const steps = rows.map((row) => Number(row.match(/^Step ([\d,]+)/)[1].replaceAll(',', '')));
  assert.deepEqual(rows.map((row) => row.replace(/^Step [\d,]+/, '')), [
    ' line 11 · STAm 101 · 49152 → 0',
    ' line 11 · STAm 101 · 32768 → 49152',
    ' line 11 · STAm 101 · 16384 → 32768',
    ' line 11 · STAm 101 · 0 → 16384',
  ]);
  assert.equal(await page.locator('#word-history-note').innerText(),
    `4 stores since the program was loaded, newest first, up to step 1,572,880. Choose a step to go back to just after it.`);
  assert.deepEqual(await serious(page), []);
  // Each is the step that changes the word in wren-trace's run.
  const word101 = (steps) => JSON.parse(traceRun(steps, ['--json', '--dump', '101'])).dump[0].words[0];
  for (const [i, step] of steps.entries())
    assert.deepEqual([word101(step - 1), word101(step)], [[49152, 32768, 16384, 0][i], [0, 49152, 32768, 16384][i]]);
  // The oldest entry: the machine goes back to its step.
  await page.locator('#word-history-list li').nth(3).getByRole('button').click();
  await page.waitForFunction(() => document.getElementById('machine-state').textContent.startsWith('Back at'));
  assert.equal(await state(page), `Back at step ${steps[3].toLocaleString('en')} (line 11): STAm 101 stored 16384 over 0.`);
  assert.equal(await settle(page, shown(traceTo(steps[3]))), shown(traceTo(steps[3])));

  // Break on write from the toolbar (the selected word is 101): Run to end
  // stops at the next store, and Reverse continue (Shift+F6) comes back.
  await cell(101);
  await button(page, 'Break on write').click();
  assert.equal(await button(page, 'Break on write').getAttribute('aria-pressed'), 'true');
  assert.match(await page.locator('[data-address="101"]').getAttribute('aria-label'), /break on write/);
  await button(page, 'Run to end').click();
  await page.waitForFunction(() => document.getElementById('machine-state').textContent === 'Stopped: a watched word changed.');
  assert.equal(await settle(page, shown(traceTo(steps[2]))), shown(traceTo(steps[2])));
  await page.keyboard.press('Shift+F6');
  await page.waitForFunction(() => document.getElementById('machine-state').textContent.startsWith('Back at the last store'));
  assert.equal(await settle(page, shown(traceTo(steps[3]))), shown(traceTo(steps[3])));
  // No store to 101 before that one: Reverse goes back to the start.
  await button(page, 'Reverse continue').click();
  await page.waitForFunction(() => document.getElementById('machine-state').textContent.startsWith('Back at the oldest'));
  assert.equal(await state(page), 'Back at the oldest step kept: no breakpoint or Break on write before it.');
  assert.equal(await settle(page, shown({ pc: 0, a: 0, v: false, cycles: 0 })), shown({ pc: 0, a: 0, v: false, cycles: 0 }));
  assert.deepEqual(await serious(page), []);
  assert.deepEqual(errors, []);
  await close();
});
