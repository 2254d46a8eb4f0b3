// A record inserted above a branch target in the page: the notice says an
// operand names where a record was, Update makes the language server's
// fix-all one change, the run ends as before (two words later), and Ctrl+Z
// takes the update back.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { axePath, button, settle, shown, startBrowser } from './helpers.mjs';

const examples = join(import.meta.dirname ?? new URL('.', import.meta.url).pathname, '../../examples');
let session;
before(async () => { session = await startBrowser(); });
after(async () => { await session?.close(); });

// Typing waits for the language server to have the document: the gutter
// shows its addresses then.
const ready = (page) => page.locator('.wren-address').first().waitFor();
const lines = (page) => page.evaluate(() => document.querySelector('.cm-content').innerText.split('\n'));

test('after an insertion, Update in the notice fixes the branch as one change, and the run ends as before', async () => {
  const original = readFileSync(join(examples, 'guided-2-loop-on-bvs.ram'), 'utf8');
  const { page, errors, close } = await session.open(original);
  const notice = page.getByRole('region', { name: 'Records that moved' });
  // After STApc 0 (line 8), where no run goes: LDAi 4 moves from 12 to 14.
  await ready(page);
  await page.getByRole('textbox', { name: 'Program' }).click();
  await page.keyboard.press('Control+Home');
  for (let i = 0; i < 7; ++i) await page.keyboard.press('ArrowDown');
  await page.keyboard.press('End');
  await page.keyboard.insertText('\nLDAi 99');
  await notice.waitFor({ state: 'visible' });
  assert.equal(await page.locator('#moved-text').innerText(), '1 operand named a record that moved.');
  // Where the eye is: the page did not scroll it away.
  const where = await notice.boundingBox();
  assert.ok(where.y >= 0 && where.y + where.height <= 800, JSON.stringify(where));
  assert.match((await lines(page))[5], /^BVS 12 /);
  await page.addScriptTag({ path: axePath });
  const axe = await page.evaluate(() => window.axe.run(document));
  assert.deepEqual(axe.violations.filter((v) => v.impact === 'serious' || v.impact === 'critical').map((v) => v.id), []);

  await button(page, 'Update').click();
  await page.waitForFunction(() => document.querySelector('.cm-content').innerText.split('\n')[5].startsWith('BVS 14 '));
  assert.equal(await notice.isHidden(), true);
  const fixed = (await lines(page)).join('\n');
  // The run ends where the original's did, two words later, with A, V and
  // the cycles as they were.
  const end = session.traced(original, 1000).at(-1);
  await button(page, 'Run to end').click();
  const want = shown({ ...end, pc: end.pc + 2 });
  assert.equal(await settle(page, want), want);
  assert.equal(shown(session.traced(`${fixed}\n`, 1000).at(-1)), want);

  // Ctrl+Z takes the whole update back, and only it.
  await page.getByRole('textbox', { name: 'Program' }).click();
  await page.keyboard.press('Control+z');
  await page.waitForFunction(() => document.querySelector('.cm-content').innerText.split('\n')[5].startsWith('BVS 12 '));
  assert.equal((await lines(page))[8], 'LDAi 99');
  assert.deepEqual(errors, []);
  await close();
});

test('Keep leaves the operands as they are and the notice away until more move', async () => {
  const { page, close } = await session.open('LDAi 1\nBVS 6\nLDAi 0\nLDAi 4\n');
  const notice = page.getByRole('region', { name: 'Records that moved' });
  await ready(page);
  await page.getByRole('textbox', { name: 'Program' }).click();
  await page.keyboard.press('Control+Home');
  await page.keyboard.press('ArrowDown');
  await page.keyboard.press('ArrowDown');
  await page.keyboard.press('End');
  await page.keyboard.insertText('\nLDAi 5');
  await notice.waitFor({ state: 'visible' });
  await button(page, 'Keep').click();
  assert.equal(await notice.isHidden(), true);
  assert.equal((await lines(page))[1], 'BVS 6');
  // The mark stays a hint in the Problems list, and is no slip.
  await page.waitForFunction(() => /names 6, where `LDAi 4` was; that record is at 8 now/.test(document.getElementById('problems-list').textContent));
  await close();
});
