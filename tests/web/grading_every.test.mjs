// A failing case opened in the page's machine: from the Results table, and
// from the link wren-grade --page writes. Both set the case's smallest
// failing input and run to where wren-trace's replay ends.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { button, pagePath, settle, startBrowser } from './helpers.mjs';

const examples = join(import.meta.dirname ?? new URL('.', import.meta.url).pathname, '../../examples/grading/multiply');
const cases = join(examples, 'every.toml');
const program = join(examples, 'submissions/large-factor.ram');
let session;
before(async () => { session = await startBrowser(); });
after(async () => { await session?.close(); });

// wren-grade's text report of the submission, with extra options.
function wrenGrade(...options) {
  try {
    return execFileSync(process.env.WREN_GRADE, [...options, cases, program], { encoding: 'utf8' });
  } catch (e) { return e.stdout; }
}
// Where the replay of the case shown ends, as the Status region shows it.
function replayEnd(report) {
  const replay = /replay: wren-trace (.*)\n/.exec(report)[1].split(' ');
  let out;
  try { out = execFileSync(process.env.WREN_TRACE, ['--json', ...replay.slice(0, -1), program], { encoding: 'utf8' }); } catch (e) { out = e.stdout; }
  const end = out.trim().split('\n').map((l) => JSON.parse(l)).at(-1);
  return `PC: ${end.pc}\nA: ${end.a}\nV: ${end.v ? 'True' : 'False'}\nCycles: ${end.cycles}`;
}
async function word(page, address) {
  const go = page.getByRole('textbox', { name: 'Go to address' });
  await go.fill(String(address));
  await go.press('Enter');
  const cell = page.getByRole('grid', { name: 'Memory' }).locator(`[data-address="${address}"]`);
  await cell.waitFor();
  return cell.innerText();
}

test("the Results row of a failing case says what wren-grade found and opens it in the machine, ready to run", async () => {
  const report = wrenGrade();
  const { page, close, errors } = await session.open(readFileSync(program, 'utf8'));
  await page.getByLabel('Open cases').setInputFiles([cases, join(examples, 'model.ram')]);
  await button(page, 'Grade').click();
  const rows = page.getByRole('table', { name: 'Results' }).locator('tbody tr');
  const row = rows.first();
  await row.waitFor();
  const cells = await rows.evaluateAll((trs) => trs.map((tr) => [...tr.cells].map((c) => c.textContent)));
  // The case's row, then what it found on a row beneath, in wren-grade's words.
  const found = 'fails on 14,600 of 40,200 inputs\nsmallest failing input: 100=128 101=1\nevery failing input has 100 \u2265 128';
  assert.deepEqual(cells, [['every pair of factors up to 200', 'wrong-result', '0/4', 'Open in the machine'], [found],
    ['a product word that does not start at 0', 'passed', '1/1', '']]);
  for (const line of found.split('\n')) assert.ok(report.includes(`        ${line}\n`), line);
  await row.getByRole('button', { name: 'Open every pair of factors up to 200 in the machine' }).click();
  await page.waitForFunction(() => document.getElementById('machine-state').textContent.startsWith('Case "every pair'));
  assert.equal(await page.locator('#machine-state').innerText(),
    'Case "every pair of factors up to 200": 100=128 101=1. Step, or Run to end, to see its run.');
  assert.equal(await word(page, 100), '128');
  assert.equal(await word(page, 101), '1');
  await button(page, 'Run to end').click();
  const end = replayEnd(report);
  assert.equal(await settle(page, end), end);
  assert.deepEqual(errors, []);
  await close();
});

test('the link wren-grade --page writes opens the program with the case\'s inputs set', async () => {
  const url = pathToFileURL(pagePath).href;
  const report = wrenGrade('--page', url);
  const link = /open in the page: (\S+)\n/.exec(report)[1];
  assert.ok(link.startsWith(`${url}#program=`));
  assert.match(link, /&set=100:128,101:1&case=every%20pair%20of%20factors%20up%20to%20200$/);
  const { page, close, errors } = await session.open('LDAi 1\n');
  await page.goto(link);
  await page.waitForFunction(() => document.getElementById('machine-state').textContent.startsWith('Case "every pair'));
  assert.equal(await page.evaluate(() => document.querySelector('.cm-content').innerText.split('\n')[2]), 'LDAm 100');
  assert.equal(await word(page, 100), '128');
  await button(page, 'Run to end').click();
  const end = replayEnd(report);
  assert.equal(await settle(page, end), end);
  assert.deepEqual(errors, []);
  await close();
});

test('grading a million inputs shows how far it is, and Stop ends it; the grader then grades again', async () => {
  const model = readFileSync(join(examples, 'model.ram'), 'utf8');
  const { page, close, errors } = await session.open(model);
  // A million counts of up to 65,535 rounds: far longer than the test waits.
  const long = session.write('long.toml', '[[case]]\nname = "long"\nevery = { 100 = [0, 65535], 101 = [0, 65535] }\n[case.expect]\nmem = { 102 = 0 }\n');
  await page.getByLabel('Open cases').setInputFiles(long);
  await button(page, 'Grade').click();
  await page.waitForFunction(() => /^Grading: [\d,]+ of 1,000,000 inputs of a case run$/.test(document.getElementById('grade-progress').textContent));
  assert.ok(await button(page, 'Grade').isDisabled());
  await button(page, 'Stop grading').click();
  await page.waitForFunction(() => document.getElementById('grade-progress').textContent.startsWith('Grading stopped'));
  assert.ok(await button(page, 'Stop grading').isHidden());
  assert.equal(await page.getByRole('table', { name: 'Results' }).locator('tbody tr').count(), 0);
  // A fresh grader, with the files the stopped one had.
  await page.getByLabel('Open cases').setInputFiles([cases, join(examples, 'model.ram')]);
  await button(page, 'Grade').click();
  const found = page.getByRole('table', { name: 'Results' }).locator('tr.found');
  await found.waitFor();
  assert.equal(await found.innerText(), 'passed on all 40,200 inputs');
  assert.ok(await page.locator('#grade-progress').isHidden());
  assert.deepEqual(errors, []);
  await close();
});

test('no request left the machine', () => {
  assert.deepEqual(session.requests, []);
});
