// The page in headless Chromium, opened from disk: how soon it is
// interactive, how fast Run to end runs the counting loop (beside native
// wren-trace in the same run), how soon Stop is answered, and how soon the
// address gutter follows a keystroke in a 1,000-line program, and how soon
// "Who wrote this?" answers at the end of the longest run.
//
//   node bench/page_bench.mjs PAGE.html WREN_TRACE
// playwright-core comes from tests/web (scripts/setup.sh installs it).
import { execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const require = createRequire(join(dirname(fileURLToPath(import.meta.url)), '../tests/web/package.json'));
const { chromium } = require('playwright-core');
const [pagePath, trace] = process.argv.slice(2);
if (!pagePath || !trace) {
  console.error('usage: page_bench.mjs PAGE.html WREN_TRACE');
  process.exit(64);
}
// Two counters, at 100 and 101 (a carry from one to the other): no state
// comes back, so Run to end does not stop at an endless loop.
const loop =
  'LDAm 100\nADDi 1\nSTAm 100\nBVS 12\nLDAi 0\nSTApc 0\nLDAm 101\nADDi 1\nSTAm 101\nLDAi 0\nSTApc 0\n';
const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox', '--disable-gpu'] });

async function open(text, query = '') {
  const context = await browser.newContext();
  await context.addInitScript((t) => localStorage.setItem('wren-program', t), text);
  const page = await context.newPage();
  const t0 = performance.now();
  await page.goto(pathToFileURL(pagePath).href + query);
  await page.locator('.wren-address').first().waitFor();
  return { page, ready: performance.now() - t0, close: () => context.close() };
}
const cycles = async (page) => Number((await page.locator('#status-cycles').innerText()).split(' ')[1]);

// Run to end, timed from the click to the end shown: the two counters again,
// but the second goes up by 52 and its overflow leaves the loop, after
// 495,852,742 steps (within the cycle count's limit).
const ending =
  'LDAm 100\nADDi 1\nSTAm 100\nBVS 12\nLDAi 0\nSTApc 0\nLDAm 101\nADDi 52\nSTAm 101\nBVS 24\nLDAi 0\nSTApc 0\n';
// Native: wren-trace's run loop on the same program, in this run. Each side
// is timed five times, alternately, and the best of each counts: on a
// shared machine the worst runs say more about the neighbours, and the
// progress updates cost about this machine's noise.
const dir = mkdtempSync(join(tmpdir(), 'wren-page-bench-'));
writeFileSync(join(dir, 'ending.ram'), ending);
function nativeRate() {
  const t0 = performance.now();
  const end = execFileSync(trace, ['-q', '--steps', '1000000000', join(dir, 'ending.ram')], { encoding: 'utf8' });
  return Number(/after (\d+) steps/.exec(end)[1]) / ((performance.now() - t0) / 1000);
}
// The same with a record that never runs (BVS jumps over it to the end), for
// a breakpoint that costs what it costs.
const guarded =
  'LDAm 100\nADDi 1\nSTAm 100\nBVS 12\nLDAi 0\nSTApc 0\nLDAm 101\nADDi 52\nSTAm 101\nBVS 26\nLDAi 0\nSTApc 0\nLDAi 0\n';
// kind: '' with progress shown, 'quiet' without it, 'breakpoint' with one
// on the record that never runs.
async function pageRate(kind = '') {
  const run = await open(kind === 'breakpoint' ? guarded : ending, kind === 'quiet' ? '?progress=off' : '');
  if (kind === 'breakpoint') {
    await run.page.locator('.wren-address[data-line="13"]').click();
    await run.page.locator('.wren-breakpoint[data-line="13"]').waitFor();
  }
  await run.page.getByRole('button', { name: 'Step', exact: true }).click();
  await run.page.waitForFunction(() => document.getElementById('status-cycles').textContent === 'Cycles: 3');
  const t0 = performance.now();
  await run.page.getByRole('button', { name: 'Run to end', exact: true }).click();
  await run.page.waitForFunction(() => document.getElementById('machine-state').textContent.startsWith('The program ended'),
    null, { timeout: 60_000 });
  const rate = ((await cycles(run.page)) - 3) / 3 / ((performance.now() - t0) / 1000);
  await run.close();
  return { rate, ready: run.ready };
}
const natives = [];
const rates = [];
const quiet = [];
const guardedRates = [];
const readies = [];
for (let i = 0; i < 5; ++i) {
  natives.push(nativeRate());
  const { rate, ready } = await pageRate();
  rates.push(rate);
  readies.push(ready);
  quiet.push((await pageRate('quiet')).rate);
  guardedRates.push((await pageRate('breakpoint')).rate);
}
rmSync(dir, { recursive: true, force: true });
const native = Math.max(...natives);
const rate = Math.max(...rates);
const quietRate = Math.max(...quiet);
const guardedRate = Math.max(...guardedRates);
const ready = readies[0];

// Stop, and a click during a run, on a loop that goes on.
const { page, close } = await open(loop);
await page.getByRole('button', { name: 'Step', exact: true }).click();
await page.waitForFunction(() => document.getElementById('status-cycles').textContent === 'Cycles: 3');
await page.getByRole('button', { name: 'Run to end', exact: true }).click();
// The page stays responsive: a click on the editor is answered while it runs.
await page.waitForTimeout(200);
const c0 = performance.now();
await page.getByRole('textbox', { name: 'Program' }).click();
const clickMs = performance.now() - c0;
// Not longer: the cycle count runs out after 715 M steps, a second or so
// on a fast machine.
await page.waitForTimeout(100);
const asked = performance.now();
await page.getByRole('button', { name: 'Stop', exact: true }).click();
await page.waitForFunction(() => document.getElementById('machine-state').textContent !== '');
const stopMs = performance.now() - asked;
const why = await page.locator('#machine-state').innerText();
if (why !== 'Stopped.') throw new Error(`Run to end stopped for another reason: ${why}`);
await close();

// Step, from the click to the Last step region telling it.
const stepper = await open(loop);
await stepper.page.waitForFunction(() => document.getElementById('listing').textContent.startsWith(' --> 0'));
const stepMs = [];
for (let i = 0; i < 20; ++i) {
  const before = await stepper.page.evaluate(() => document.getElementById('last-step-head').textContent + document.getElementById('last-step-text').textContent);
  const t0 = performance.now();
  await stepper.page.getByRole('button', { name: 'Step', exact: true }).click();
  await stepper.page.waitForFunction((b) => document.getElementById('last-step-head').textContent + document.getElementById('last-step-text').textContent !== b, before);
  stepMs.push(performance.now() - t0);
}
await stepper.close();
stepMs.sort((a, b) => a - b);

let text = '';
for (let i = 0; i < 1000; ++i) text += i % 10 === 0 ? `{ block ${i}\n` : 'LDAi 1\n';
const big = await open(text);
await big.page.getByRole('textbox', { name: 'Program' }).click();
await big.page.keyboard.press('Control+Home');
// Timed inside the page, from the key's keydown to the gutter's change, so
// that the harness's own round trips do not count.
await big.page.evaluate(() => {
  window.addEventListener('keydown', () => { window.keyAt = performance.now(); }, true);
  const first = () => document.querySelector('.wren-address')?.dataset.line;
  let shown = first();
  new MutationObserver(() => {
    if (first() !== shown) { shown = first(); window.gutterAt = performance.now(); }
  }).observe(document.querySelector('.cm-gutters'), { subtree: true, childList: true, attributes: true });
});
const gutter = [];
for (let i = 0; i < 20; ++i) {
  const before = await big.page.locator('.wren-address').first().getAttribute('data-line');
  // Enter at the start moves every record down a line; Backspace moves it back.
  await big.page.keyboard.press(i % 2 === 0 ? 'Enter' : 'Backspace');
  await big.page.waitForFunction((b) => document.querySelector('.wren-address')?.dataset.line !== b, before);
  gutter.push(await big.page.evaluate(() => window.gutterAt - window.keyAt));
}
await big.close();

// "Who wrote this?" after the longest run (715,827,882 steps to the cycle
// fault): word 200 was stored to at step 2, so the answer runs the whole
// run again. Timed from the key to the answer shown, three times.
const longest = 'LDAi 7\nSTAm 200\nLDAm 100\nADDi 1\nSTAm 100\nBVS 16\nLDAi 4\nSTApc 0\n' +
  'LDAm 101\nADDi 1\nSTAm 101\nLDAi 4\nSTApc 0\n';
const who = await open(longest);
const whoMs = [];
for (let i = 0; i < 3; ++i) {
  await who.page.getByRole('button', { name: 'Run to end', exact: true }).click();
  await who.page.waitForFunction(() => document.getElementById('machine-state').textContent.startsWith('Machine fault'),
    null, { timeout: 120_000 });
  await who.page.locator('#goto').fill('200');
  await who.page.locator('#goto').press('Enter');
  await who.page.locator('[role=gridcell][data-address="200"]').click();
  const t0 = performance.now();
  await who.page.keyboard.press('w');
  await who.page.waitForFunction(() => document.getElementById('machine-state').textContent.startsWith('Word 200'),
    null, { timeout: 120_000 });
  whoMs.push(performance.now() - t0);
}
await who.close();
await browser.close();

const M = (x) => `${(x / 1e6).toFixed(0)} M steps/s`;
console.log(`interactive after opening from disk: ${ready.toFixed(0)} ms`);
console.log(`Run to end, 496 M steps, best of 5:  ${M(rate)} (native wren-trace ${M(native)}: ${(rate / native).toFixed(2)})`);
console.log(`  all runs: page ${rates.map(M).join(', ')}; native ${natives.map(M).join(', ')}`);
console.log(`  without the progress updates:      ${M(quietRate)} (the updates cost ${(100 * (1 - rate / quietRate)).toFixed(1)} %)`);
console.log(`  with a breakpoint that never hits: ${M(guardedRate)} (${(guardedRate / native).toFixed(2)} of native)`);
console.log(`Step to the Last step shown:         ${stepMs[0].toFixed(0)}-${stepMs[10].toFixed(0)} ms (best, median of 20)`);
console.log(`a click answered during the run:     ${clickMs.toFixed(0)} ms`);
console.log(`Stop answered:                       ${stopMs.toFixed(0)} ms`);
console.log(`gutter after a keystroke, 1,000 lines: ${Math.min(...gutter).toFixed(0)}-${Math.max(...gutter).toFixed(0)} ms`);
console.log(`Who wrote this?, 715,827,882 steps back: ${Math.min(...whoMs).toFixed(0)} ms (best of 3; ${whoMs.map((x) => x.toFixed(0)).join(', ')})`);
if (process.env.SHOW_ALL) console.log(gutter.map((x) => x.toFixed(0)).join(" "));
