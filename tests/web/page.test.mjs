// The page opened from disk in Debian's Chromium, with every network request
// refused, against wren-trace on the same program: the address gutter, the
// Problems list, and steps. WREN_PAGE names the page, WREN_TRACE wren-trace;
// WREN_SCREENSHOTS, when set, is where the screenshots go.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync, statSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { axePath, button, pagePath, settle, shown, startBrowser, status, trace } from './helpers.mjs';

const shots = process.env.WREN_SCREENSHOTS;
let browser;
let requests;
let dir;
let open;
let session;

before(async () => {
  session = await startBrowser();
  ({ browser, requests, dir, open } = session);
});
after(async () => {
  await session?.close();
});

// What the gutter shows, as "LINE=ADDRESS", once it shows want (or at the end).
async function gutterOnce(page, want) {
  const read = () => page.$$eval('.wren-address', (es) => es.map((e) => `${e.dataset.line}=${e.dataset.address}`).join(' '));
  for (let i = 0; i < 100 && (await read()) !== want; ++i) await page.waitForTimeout(50);
  return read();
}

function listing(text) {
  const file = join(dir, 'p.ram');
  writeFileSync(file, text);
  const rows = execFileSync(trace, ['--listing', '--json', file], { encoding: 'utf8' })
    .trim().split('\n').map((l) => JSON.parse(l));
  const first = new Map();
  for (const r of rows) if (r.address !== null && !first.has(r.line)) first.set(r.line, r.address);
  return [...first].map(([line, address]) => `${line}=${address}`).join(' ');
}

function traced(text, steps) {
  const file = join(dir, 'p.ram');
  writeFileSync(file, text);
  let out;
  try { out = execFileSync(trace, ['--json', '--steps', String(steps), file], { encoding: 'utf8' }); } catch (e) { out = e.stdout; }
  return out.trim().split('\n').map((l) => JSON.parse(l)).filter((o) => o.step !== undefined);
}

// The class grader came in with the teacher's view: 1.55 MB then.
test('one file, under 2 MB', () => {
  assert.ok(statSync(pagePath).size <= 2 * 1024 * 1024, `${statSync(pagePath).size} bytes`);
});

test('the gutter shows the address wren-trace lists for each line, and follows typing', async () => {
  const text = '{ a table\nLDAi 0, ADDi 1\n\nldai 5\nLDApc\n"STAm 100"\nBVS 2 {x}, LDAi 9\n';
  const { page, errors, close } = await open(text);
  assert.equal(await gutterOnce(page, listing(text)), listing(text));
  // Typing at the top moves every address on.
  await page.getByRole('textbox', { name: 'Program' }).click();
  await page.keyboard.press('Control+Home');
  await page.keyboard.insertText('LDAi 7\n');
  const edited = `LDAi 7\n${text}`;
  assert.equal(await gutterOnce(page, listing(edited)), listing(edited));
  if (shots) await page.screenshot({ path: join(shots, 'page-gutter.png') });
  assert.deepEqual(errors, []);
  await close();
});

test('the Problems list reads as wren-trace --check does', async () => {
  const text = 'LDAi 1\nldai 5\nLDAi\t7\n';
  const { page, close } = await open(text);
  const problems = page.getByRole('region', { name: 'Problems' }).locator('li');
  await problems.first().waitFor();
  assert.deepEqual(await problems.allInnerTexts(), [
    "2:1: warning: unknown mnemonic 'ldai' [-Wunknown-mnemonic]",
    "3:5: warning: a tab separates 'LDAi' from its operand; the loader needs a space [-Wtab-separator]",
  ]);
  await close();
});

test('each Step leaves the state wren-trace shows at that step', async () => {
  const text = 'LDAi 65535\nADDi 1\nSTAm 100\nLDAm 100\nADDi -3\n';
  const { page, close } = await open(text);
  const steps = traced(text, 5);
  const status = page.getByRole('region', { name: 'Status' });
  for (const s of steps) {
    await page.getByRole('button', { name: 'Step', exact: true }).click();
    const want = `PC: ${s.pc}\nA: ${s.a}\nV: ${s.v ? 'True' : 'False'}\nCycles: ${s.cycles}`;
    let got;
    // The registers; a line under them says why a run stopped.
    for (let i = 0; i < 100 && (got = (await status.innerText()).replace(/\n+/g, '\n').trim().split('\n').slice(0, 4).join('\n')) !== want; ++i)
      await page.waitForTimeout(20);
    assert.equal(got, want, `step ${s.step}`);
  }
  await close();
});


test("the listing is the window's, Step back undoes a step, Run to end stops where wren-trace ends", async () => {
  const text = 'LDAi 5\nADDi 1\nSTAm 100\n';
  const { page, close } = await open(text);
  const steps = traced(text, 10);
  await button(page, 'Step').click();
  await button(page, 'Step').click();
  assert.equal(await settle(page, shown(steps[1])), shown(steps[1]));
  assert.equal(await page.getByRole('region', { name: 'Listing' }).locator('pre').innerText(), ' --> 4   STAm 100\n');
  await button(page, 'Step back').click();
  assert.equal(await settle(page, shown(steps[0])), shown(steps[0]));
  await button(page, 'Run to end').click();
  assert.equal(await settle(page, shown(steps.at(-1))), shown(steps.at(-1)));
  await close();
});

test('a breakpoint set in the gutter stops Run to end before its line runs', async () => {
  const text = 'LDAi 0\nADDi 1\nBVS 8\nLDAi 2\nSTApc 0\n';
  const { page, close } = await open(text);
  await gutterOnce(page, listing(text));
  await page.locator('.wren-address[data-line="4"]').click();
  await page.locator('.wren-breakpoint[data-line="4"]').waitFor();
  await button(page, 'Run to end').click();
  assert.equal(await settle(page, 'PC: 6\nA: 1\nV: False\nCycles: 9'), 'PC: 6\nA: 1\nV: False\nCycles: 9');
  await close();
});

test('Run to end stops at an endless loop where wren-trace finds it, says so, and steps back out', async () => {
  // From step 3 on, PC goes 2, 4, 6, 2, ... with A 3, 2, 2, 3, ...
  const text = 'LDAi 0\nADDi 1\nLDAi 2\nSTApc 0\n';
  const file = join(dir, 'p.ram');
  writeFileSync(file, text);
  let out;
  try { out = execFileSync(trace, ['-q', '--json', '--detect-loops', file], { encoding: 'utf8' }); } catch (e) { out = e.stdout; }
  const end = JSON.parse(out);
  assert.equal(end.end, 'loop');
  const { page, close } = await open(text);
  await button(page, 'Run to end').click();
  assert.equal(await settle(page, shown(end)), shown(end));
  const state = page.locator('#machine-state');
  await page.waitForFunction(() => document.getElementById('machine-state').textContent !== '');
  assert.equal(await state.innerText(),
    `Endless loop: every ${end.steps - end.from} steps, PC, A, V and memory are as they were: the program would never end.`);
  await button(page, 'Step back').click();
  const before = traced(text, end.steps - 1).at(-1);
  assert.equal(await settle(page, shown(before)), shown(before));
  await close();
});

test('a fault shows its message in an alert, once, with the state it left', async () => {
  const text = 'LDAi 9\nSTAm 65536\nLDAi 1\n';
  const { page, close } = await open(text);
  await button(page, 'Run to end').click();
  const alert = page.getByRole('alert');
  await alert.waitFor();
  assert.equal(await alert.innerText(), 'index out of range: STAm operand 65536 at address 2');
  assert.equal(await settle(page, 'PC: 4\nA: 9\nV: False\nCycles: 3'), 'PC: 4\nA: 9\nV: False\nCycles: 3');
  await close();
});

test('Run held runs one instruction every 20 ms and reads Release to stop', async () => {
  const text = 'LDAi 0\nADDi 1\nLDAi 2\nSTApc 0\n';
  const { page, close } = await open(text);
  await button(page, 'Step').click(); // loads the program
  await settle(page, 'PC: 2\nA: 0\nV: False\nCycles: 3');
  const run = page.locator('#run');
  const box = await run.boundingBox();
  await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
  await page.mouse.down();
  await page.waitForTimeout(100);
  assert.equal(await run.innerText(), 'Release to stop');
  assert.ok(await page.getByRole('button', { name: 'Release to stop' }).isVisible());
  await page.waitForTimeout(900);
  await page.mouse.up();
  await page.waitForTimeout(100);
  const cycles = Number((await status(page)).match(/Cycles: (\d+)/)[1]);
  // About a second at 20 ms a step: 50 steps, 150 cycles; timers may lag.
  assert.ok(cycles >= 3 + 3 * 20 && cycles <= 3 + 3 * 60, `cycles ${cycles}`);
  assert.equal(await run.innerText(), 'Run');
  await page.waitForTimeout(200);
  assert.match(await status(page), new RegExp(`Cycles: ${cycles}$`)); // released: no more steps
  await close();
});

test('Reset keeps memory as the program left it; after an edit it loads the new text', async () => {
  // The program doubles the word at 5, its own last operand, each pass.
  const text = 'LDAm 5\nADDm 5\nSTAm 5\n';
  const { page, close } = await open(text);
  for (let i = 0; i < 3; ++i) await button(page, 'Step').click();
  assert.equal(await settle(page, 'PC: 6\nA: 10\nV: False\nCycles: 10'), 'PC: 6\nA: 10\nV: False\nCycles: 10');
  await button(page, 'Reset').click();
  assert.equal(await settle(page, 'PC: 0\nA: 0\nV: False\nCycles: 0'), 'PC: 0\nA: 0\nV: False\nCycles: 0');
  await button(page, 'Step').click(); // LDAm 5 reads what the last pass stored
  assert.equal(await settle(page, 'PC: 2\nA: 10\nV: False\nCycles: 3'), 'PC: 2\nA: 10\nV: False\nCycles: 3');
  await page.getByRole('textbox', { name: 'Program' }).click();
  await page.keyboard.press('Control+End');
  await page.keyboard.insertText('LDAi 1\n');
  await page.getByText('The program changed: Reset loads it.').waitFor();
  await button(page, 'Reset').click();
  await button(page, 'Step').click();
  assert.equal(await settle(page, 'PC: 2\nA: 5\nV: False\nCycles: 3'), 'PC: 2\nA: 5\nV: False\nCycles: 3');
  await close();
});

test('Open, Save, the examples and the share link carry the program; bad input leaves the text as it was', async () => {
  const { page, close } = await open('LDAi 1\n');
  const editor = page.getByRole('textbox', { name: 'Program' });
  const text = async () => (await editor.innerText()).trimEnd();
  // Open a file through the labelled file input.
  const file = join(dir, 'opened.ram');
  writeFileSync(file, 'LDAi 42\nADDi 1\n');
  await page.getByLabel('Open program').setInputFiles(file);
  await page.waitForFunction(() => document.querySelector('.cm-content').innerText.startsWith('LDAi 42'));
  // Save downloads the text as it is.
  const [download] = await Promise.all([page.waitForEvent('download'), page.getByRole('button', { name: 'Save', exact: true }).click()]);
  assert.equal(readFileSync(await download.path(), 'utf8'), 'LDAi 42\nADDi 1\n');
  // A binary file is refused with a reason.
  const binary = join(dir, 'utf16.ram');
  writeFileSync(binary, Buffer.from('\ufeffLDAi 1', 'utf16le'));
  await page.getByLabel('Open program').setInputFiles(binary);
  await page.waitForFunction(() => /not a text file/.test(document.getElementById('announce').textContent));
  assert.equal(await text(), 'LDAi 42\nADDi 1');
  // The examples menu.
  await page.getByLabel('Examples').selectOption('count-to-overflow.ram');
  await page.waitForFunction(() => document.querySelector('.cm-content').innerText.startsWith('{ Counting'));
  // Share, then open the link: the same text.
  await page.getByRole('button', { name: 'Share' }).click();
  const link = await page.getByRole('textbox', { name: 'Share link' }).inputValue();
  assert.match(link, /^file:.*#program=[A-Za-z0-9_-]+$/);
  const sharedText = await text();
  const other = await open('{ something else\n');
  await other.page.goto(link);
  await other.page.waitForFunction(() => document.querySelector('.cm-content').innerText.startsWith('{ Counting'));
  assert.equal((await other.page.getByRole('textbox', { name: 'Program' }).innerText()).trimEnd(), sharedText);
  // A broken link says so, and the editor keeps its text.
  await other.page.goto(`${link.split('#')[0]}#program=%%%`);
  await other.page.waitForFunction(() => /does not hold a program/.test(document.getElementById('announce').textContent));
  assert.equal((await other.page.getByRole('textbox', { name: 'Program' }).innerText()).trimEnd(), sharedText);
  await other.close();
  await close();
});

test('axe-core finds no serious or critical violation, before and after a fault', async () => {
  const { page, close } = await open('LDAi 9\nSTAm 65536\nldai 1\n');
  await page.locator('.wren-address').first().waitFor();
  const check = async (when) => {
    await page.addScriptTag({ path: axePath });
    const result = await page.evaluate(() => window.axe.run(document));
    const bad = result.violations.filter((v) => v.impact === 'serious' || v.impact === 'critical');
    assert.deepEqual(bad.map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`), [], when);
  };
  await check('at the start');
  await page.getByRole('button', { name: 'Run to end', exact: true }).click();
  await page.getByRole('alert').waitFor();
  await check('after a fault');
  await close();
});

test('Memory shows every word, marks what a step changed, goes to an address and takes an edit', async () => {
  const text = 'LDAi 7\nSTAm 300\nLDAm 300\n';
  const { page, close } = await open(text);
  const grid = page.getByRole('grid', { name: 'Memory' });
  const word = (address) => grid.locator(`[data-address="${address}"]`);
  await page.getByRole('button', { name: 'Step', exact: true }).click();
  await page.getByRole('button', { name: 'Step', exact: true }).click();
  // The store is off screen: go there.
  const go = page.getByRole('textbox', { name: 'Go to address' });
  await go.fill('300');
  await go.press('Enter');
  await word(300).waitFor();
  for (let i = 0; i < 50 && (await word(300).innerText()) !== '7'; ++i) await page.waitForTimeout(20);
  assert.equal(await word(300).innerText(), '7');
  assert.ok(await word(300).evaluate((e) => e.classList.contains('changed')), 'the stored word is marked');
  assert.ok(!(await word(301).evaluate((e) => e.classList.contains('changed'))));
  // The last word of memory is there too.
  await go.fill('&HFFFF');
  await go.press('Enter');
  await word(65535).waitFor();
  // Enter edits in operand syntax; the next LDAm reads the new word.
  await go.fill('300');
  await go.press('Enter');
  await word(300).focus();
  await page.keyboard.press('Enter');
  const input = grid.getByRole('textbox', { name: 'Word 300' });
  await input.waitFor();
  // Typed key by key: the word's own keys (H, History) are not taken from the edit.
  await page.keyboard.type('&H1');
  // A redraw in the middle of an edit (a scroll here) keeps the edit and its focus.
  await page.locator('.memory-scroll').evaluate((e) => e.dispatchEvent(new Event('scroll')));
  await page.waitForTimeout(100);
  assert.equal(await input.inputValue(), '&H1');
  await page.keyboard.insertText('0');
  await page.keyboard.press('Enter');
  for (let i = 0; i < 50 && (await word(300).innerText()) !== '16'; ++i) await page.waitForTimeout(20);
  assert.equal(await word(300).innerText(), '16');
  await page.getByRole('button', { name: 'Step', exact: true }).click();
  assert.equal(await settle(page, 'PC: 6\nA: 16\nV: False\nCycles: 9'), 'PC: 6\nA: 16\nV: False\nCycles: 9');
  await close();
});

// The outcomes of wren-grade --format gradescope, as "name: passed|failed".
function wrenGrade(cases, program) {
  let out;
  try {
    out = execFileSync(process.env.WREN_GRADE, ['--format', 'gradescope', cases, program], { encoding: 'utf8' });
  } catch (e) { out = e.stdout; }
  // The report's one line, then the summary line.
  return JSON.parse(out.split('\n')[0]).tests.map((t) => `${t.name}: ${t.status} ${t.score}/${t.max_score}`);
}

test("Grade gives wren-grade's outcomes on the same files; a broken case file says where", async () => {
  const examples = join(import.meta.dirname ?? new URL('.', import.meta.url).pathname, '../../examples/grading');
  for (const [cases, others, program] of [
    ['multiply/cases.toml', ['multiply/model.ram'], 'multiply/model.ram'],
    ['cases.toml', [], 'submissions/wrong-result.ram'],
    ['cases.toml', [], 'submissions/fault.ram'],
  ]) {
    const { page, close } = await open(readFileSync(join(examples, program), 'utf8'));
    await page.getByLabel('Open cases').setInputFiles([join(examples, cases), ...others.map((f) => join(examples, f))]);
    await page.getByRole('button', { name: 'Grade', exact: true }).click();
    const rows = page.getByRole('table', { name: 'Results' }).locator('tbody tr');
    await rows.first().waitFor();
    const got = await rows.evaluateAll((trs) => trs.filter((tr) => !tr.classList.contains('found')).map((tr) => [...tr.cells].map((c) => c.textContent)));
    const want = wrenGrade(join(examples, cases), join(examples, program));
    assert.deepEqual(got.map(([name, outcome, points]) => `${name}: ${outcome === 'passed' ? 'passed' : 'failed'} ${points}`), want, program);
    await close();
  }
  const broken = join(dir, 'broken.toml');
  writeFileSync(broken, '[[case]]\nname = "x"\n[case.expect]\na = "many"\n');
  const { page, close } = await open('LDAi 1\n');
  await page.getByLabel('Open cases').setInputFiles(broken);
  await page.getByRole('button', { name: 'Grade', exact: true }).click();
  const state = page.locator('#cases-state');
  for (let i = 0; i < 100 && !(await state.innerText()).startsWith('/cases/broken.toml:'); ++i) await page.waitForTimeout(20);
  assert.match(await state.innerText(), /^\/cases\/broken\.toml:4: /);
  assert.equal(await page.getByRole('table', { name: 'Results' }).locator('tbody tr').count(), 0);
  await close();
});

test('the editor colours, hovers, goes to a definition and sets breakpoints from the keyboard', async () => {
  const text = 'LDAm 6 { load }\nBVS 4\nLDAi 7, data 9\n';
  const { page, close } = await open(text);
  await gutterOnce(page, listing(text));
  // Mnemonics, data labels, numbers and comments each look their own way.
  const colour = (word) => page.locator('.cm-line span', { hasText: new RegExp(`^${word}$`) }).first()
    .evaluate((e) => getComputedStyle(e).color);
  const colours = await Promise.all(['LDAm', 'data', '6', '{ load }'].map(colour));
  assert.equal(new Set(colours).size, 4, colours.join(' '));
  // Hover over BVS's operand: what lies at address 4.
  const operand = page.locator('.cm-line').nth(1).locator('span', { hasText: /^4$/ });
  await operand.hover();
  const tip = page.locator('.wren-hover');
  await tip.waitFor();
  assert.match(await tip.innerText(), /address 4: the opcode word of LDAi 7 \(line 3\), opcode 32/);
  // F12 on LDAm's operand goes to the record at address 6: line 3's second.
  const editor = page.getByRole('textbox', { name: 'Program' });
  await editor.click();
  await page.keyboard.press('Control+Home');
  await page.keyboard.press('End');
  await page.keyboard.press('Home');
  for (let i = 0; i < 5; ++i) await page.keyboard.press('ArrowRight');
  await page.keyboard.press('F12');
  await page.waitForFunction(() => /^Line 3$/.test(document.getElementById('announce').textContent));
  // F9 sets a breakpoint on the cursor's line.
  await page.keyboard.press('F9');
  await page.locator('.wren-breakpoint[data-line="3"]').waitFor();
  await close();
});

test('a quick fix from the language server mends the slip it names', async () => {
  const { page, close } = await open('LDAi 1\nldai 5\n');
  await page.locator('.cm-lintRange-warning').waitFor();
  await page.getByRole('textbox', { name: 'Program' }).click();
  await page.keyboard.press('Control+Shift+M'); // the lint panel, with each fix as a button
  const fix = page.locator('.cm-panel-lint .cm-diagnosticAction', { hasText: "Change to 'LDAi'" });
  await fix.waitFor();
  await fix.click();
  await page.waitForFunction(() => document.querySelector('.cm-content').innerText.startsWith('LDAi 1\nLDAi 5'));
  const problems = page.getByRole('region', { name: 'Problems' }).locator('li');
  for (let i = 0; i < 100 && (await problems.count()) > 0; ++i) await page.waitForTimeout(20);
  assert.equal(await problems.count(), 0);
  await close();
});

test("far down a long program the gutter shows wren-trace's addresses, and follows typing there", async () => {
  let text = '';
  for (let i = 0; i < 3000; ++i) text += i % 7 === 0 ? `{ note ${i}\n` : i % 5 === 0 ? 'LDApc, ADDi 1\n' : 'LDAi 1\n';
  const { page, close } = await open(text);
  await page.locator('.wren-address').first().waitFor();
  await page.getByRole('textbox', { name: 'Program' }).click();
  await page.keyboard.press('Control+End');
  await page.locator('.wren-address[data-line="3000"]').waitFor();
  const shownNow = () => page.$$eval('.wren-address', (es) => es.map((e) => `${e.dataset.line}=${e.dataset.address}`));
  const expect = (t) => new Set(listing(t).split(' '));
  let want = expect(text);
  const seen = await shownNow();
  assert.ok(seen.length > 10, `${seen.length} addresses in view`);
  for (const pair of seen) assert.ok(want.has(pair), `${pair} is not in wren-trace's listing`);
  // A record typed at the end takes the next address.
  await page.keyboard.insertText('LDAi 2\n');
  want = expect(`${text}LDAi 2\n`);
  const last = [...want].at(-1);
  assert.equal(last.split('=')[0], '3001');
  await page.locator(`.wren-address[data-line="3001"][data-address="${last.split('=')[1]}"]`).waitFor();
  await close();
});

test('a 50 MB file is refused and a 40,000-record program says where memory ends; the page goes on', async () => {
  const { page, close } = await open('LDAi 1\n');
  const huge = join(dir, 'huge.ram');
  writeFileSync(huge, Buffer.alloc(50 * 1024 * 1024, 'L'));
  await page.getByLabel('Open program').setInputFiles(huge);
  await page.waitForFunction(() => /huge\.ram is 50\.0 MB/.test(document.getElementById('announce').textContent));
  assert.equal((await page.getByRole('textbox', { name: 'Program' }).innerText()).trimEnd(), 'LDAi 1');
  await page.getByLabel('Open program').setInputFiles({ name: 'big.ram', mimeType: 'text/plain', buffer: Buffer.from('LDAi 1\n'.repeat(40000)) });
  const problems = page.getByRole('region', { name: 'Problems' }).locator('li');
  await problems.filter({ hasText: '32769:1: error: program too large' }).waitFor({ timeout: 20000 });
  // It does not load, and Step says so; a program that loads then runs.
  await page.getByRole('button', { name: 'Step', exact: true }).click();
  await page.waitForFunction(() => /does not load: line 32769: program too large/.test(document.getElementById('announce').textContent));
  await page.getByRole('textbox', { name: 'Program' }).click();
  await page.keyboard.press('Control+a');
  await page.keyboard.insertText('LDAi 1\n');
  await page.getByRole('button', { name: 'Step', exact: true }).click();
  assert.equal(await settle(page, 'PC: 2\nA: 1\nV: False\nCycles: 3'), 'PC: 2\nA: 1\nV: False\nCycles: 3');
  await close();
});

test('at 200 % zoom and on a narrow screen the panes stack and every control stays in reach', async () => {
  const context = await browser.newContext({ viewport: { width: 400, height: 800 }, deviceScaleFactor: 2 });
  const page = await context.newPage();
  await page.goto(pathToFileURL(pagePath).href);
  await page.locator('.wren-address').first().waitFor();
  const editor = await page.locator('#editor').boundingBox();
  const machine = await page.locator('aside').boundingBox();
  assert.ok(machine.y >= editor.y + editor.height, 'the machine pane is below the editor');
  for (const name of ['Step', 'Run', 'Reset', 'Run to end', 'Step back', 'Share', 'Grade']) {
    const box = await page.getByRole('button', { name, exact: true }).boundingBox();
    assert.ok(box && box.x >= 0 && box.x + box.width <= 400, `${name} fits the width`);
  }
  await context.close();
});

test('Tab reaches every control in reading order, each named by its caption, and the keyboard alone runs and stops', async () => {
  // Two counters: a run that goes on until Stop.
  const text = 'LDAm 100\nADDi 1\nSTAm 100\nBVS 12\nLDAi 0\nSTApc 0\nLDAm 101\nADDi 1\nSTAm 101\nLDAi 0\nSTApc 0\n';
  const { page, close } = await open(text);
  const controls = [
    ['Open program', page.getByLabel('Open program', { exact: true })],
    ['Save', button(page, 'Save')],
    ['Examples', page.getByRole('combobox', { name: 'Examples' })],
    ['Share', button(page, 'Share')],
    ['Share link', page.getByRole('textbox', { name: 'Share link' })],
    ...['Step', 'Run', 'Reset', 'Run to end', 'Step back', 'Animate'].map((name) => [name, button(page, name)]),
    ['Speed', page.getByRole('slider', { name: 'Animation speed, steps per second' })],
    ['Dark', button(page, 'Dark')],
    ['Help', button(page, 'Help')],
    ['Program', page.getByRole('textbox', { name: 'Program' })],
    ['Problems', page.locator('#problems-box summary')],
    ['Resize the program pane', page.getByRole('separator', { name: 'Resize the program pane' })],
    ['Resize the machine pane', page.getByRole('separator', { name: 'Resize the machine pane' })],
    ['Go to address', page.getByRole('textbox', { name: 'Go to address' })],
    ['Memory', page.getByRole('grid', { name: 'Memory' }).locator('[role=gridcell][tabindex="0"]')],
    ['Open cases', page.getByLabel('Open cases', { exact: true })],
  ];
  // A button's name is its caption.
  for (const [name, locator] of controls.slice(5, 11)) assert.equal(await locator.innerText(), name);
  const reached = [];
  for (let i = 0; i < 40 && reached.length < controls.length; ++i) {
    await page.keyboard.press('Tab');
    for (const [name, locator] of controls)
      if (await locator.evaluate((e) => e === document.activeElement).catch(() => false)) reached.push(name);
  }
  assert.deepEqual(reached, controls.map(([name]) => name));

  // Step with Enter, Run to end with Space, Stop (now enabled) with Enter.
  await button(page, 'Step').focus();
  await page.keyboard.press('Enter');
  assert.equal(await settle(page, 'PC: 2\nA: 0\nV: False\nCycles: 3'), 'PC: 2\nA: 0\nV: False\nCycles: 3');
  await button(page, 'Run to end').focus();
  await page.keyboard.press(' ');
  const stop = button(page, 'Stop');
  await page.waitForFunction(() => !document.getElementById('stop').disabled);
  await stop.focus();
  await page.keyboard.press('Enter');
  await page.waitForFunction(() => document.getElementById('machine-state').textContent === 'Stopped.');
  assert.match(await page.locator('#announce').innerText(), /^Stopped\. PC: \d+$/);
  await close();
});

test('no request left the machine', () => {
  assert.deepEqual(requests, []);
});
