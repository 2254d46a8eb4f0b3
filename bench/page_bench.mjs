// The page in headless Chromium, opened from disk: how soon it is
// interactive, how fast Run to end runs the counting loop (beside native
// wren-trace in the same run), how soon Stop is answered, and how soon the
// address gutter follows a keystroke in a 1,000-line program.
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
const loop = 'LDAm 100\nADDi 1\nSTAm 100\nLDAi 0\nSTApc 0\n';
const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox', '--disable-gpu'] });

async function open(text) {
  const context = await browser.newContext();
  await context.addInitScript((t) => localStorage.setItem('wren-program', t), text);
  const page = await context.newPage();
  const t0 = performance.now();
  await page.goto(pathToFileURL(pagePath).href);
  await page.locator('.wren-address').first().waitFor();
  return { page, ready: performance.now() - t0, close: () => context.close() };
}
const cycles = async (page) => Number((await page.locator('#status-cycles').innerText()).split(' ')[1]);

// Native: wren-trace's run loop on the same loop, in this run.
const dir = mkdtempSync(join(tmpdir(), 'wren-page-bench-'));
writeFileSync(join(dir, 'count.ram'), loop);
const steps = 300_000_000;
let t0 = performance.now();
try { execFileSync(trace, ['-q', '--steps', String(steps), join(dir, 'count.ram')]); } catch { /* the step limit */ }
const native = steps / ((performance.now() - t0) / 1000);
rmSync(dir, { recursive: true, force: true });

const { page, ready, close } = await open(loop);
await page.getByRole('button', { name: 'Step', exact: true }).click(); // loads the program
await page.waitForFunction(() => document.getElementById('status-cycles').textContent === 'Cycles: 3');
t0 = performance.now();
await page.getByRole('button', { name: 'Run to end', exact: true }).click();
// The page stays responsive: a click on the editor is answered while it runs.
await page.waitForTimeout(1000);
const c0 = performance.now();
await page.getByRole('textbox', { name: 'Program' }).click();
const clickMs = performance.now() - c0;
await page.waitForTimeout(1000);
const asked = performance.now();
await page.getByRole('button', { name: 'Stop', exact: true }).click();
await page.waitForFunction(() => !document.getElementById('stop').disabled === false);
const stopMs = performance.now() - asked;
const seconds = (performance.now() - t0) / 1000;
const rate = ((await cycles(page)) - 3) / 3 / seconds;
await close();

let text = '';
for (let i = 0; i < 1000; ++i) text += i % 10 === 0 ? `{ block ${i}\n` : 'LDAi 1\n';
const big = await open(text);
await big.page.getByRole('textbox', { name: 'Program' }).click();
await big.page.keyboard.press('Control+Home');
const gutter = [];
for (let i = 0; i < 10; ++i) {
  const before = await big.page.locator('.wren-address').first().getAttribute('data-line');
  const k0 = performance.now();
  await big.page.keyboard.insertText(i % 2 === 0 ? 'LDAi 2\n' : '');
  if (i % 2 === 1) await big.page.keyboard.press('Control+z');
  await big.page.waitForFunction((b) => document.querySelector('.wren-address')?.dataset.line !== b, before);
  gutter.push(performance.now() - k0);
}
await big.close();
await browser.close();

const M = (x) => `${(x / 1e6).toFixed(0)} M steps/s`;
console.log(`interactive after opening from disk: ${ready.toFixed(0)} ms`);
console.log(`Run to end on the counting loop:     ${M(rate)} (native wren-trace ${M(native)}: ${(rate / native).toFixed(2)})`);
console.log(`a click answered during the run:     ${clickMs.toFixed(0)} ms`);
console.log(`Stop answered:                       ${stopMs.toFixed(0)} ms`);
console.log(`gutter after a keystroke, 1,000 lines: ${Math.min(...gutter).toFixed(0)}-${Math.max(...gutter).toFixed(0)} ms`);
