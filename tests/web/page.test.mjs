// The page opened from disk in Debian's Chromium, with every network request
// refused, against wren-trace on the same program: the address gutter, the
// Problems list, and steps. WREN_PAGE names the page, WREN_TRACE wren-trace;
// WREN_SCREENSHOTS, when set, is where the screenshots go.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const pagePath = process.env.WREN_PAGE;
const trace = process.env.WREN_TRACE;
const shots = process.env.WREN_SCREENSHOTS;
const dir = mkdtempSync(join(tmpdir(), 'wren-page-'));
let browser;
const requests = [];

before(async () => {
  browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update'],
  });
});
after(async () => {
  await browser?.close();
  rmSync(dir, { recursive: true, force: true });
});

// A page whose editor starts with text, as if a student had left it there.
async function open(text) {
  const context = await browser.newContext({ viewport: { width: 1200, height: 800 } });
  await context.route(/^(https?|wss?|ftp):/, (route) => { requests.push(route.request().url()); route.abort(); });
  await context.addInitScript((t) => localStorage.setItem('wren-program', t), text);
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  await page.goto(pathToFileURL(pagePath).href);
  return { page, errors, close: () => context.close() };
}

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

test('one file, under 1.5 MB', () => {
  assert.ok(statSync(pagePath).size <= 1.5 * 1024 * 1024, `${statSync(pagePath).size} bytes`);
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
    for (let i = 0; i < 100 && (got = (await status.innerText()).replace(/\n+/g, '\n').trim()) !== want; ++i)
      await page.waitForTimeout(20);
    assert.equal(got, want, `step ${s.step}`);
  }
  await close();
});

test('no request left the machine', () => {
  assert.deepEqual(requests, []);
});
