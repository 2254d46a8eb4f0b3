// What the page tests share: Chromium with every network request refused,
// the page opened from disk with a program in its editor, and wren-trace's
// view of the same program. WREN_PAGE names the page, WREN_TRACE wren-trace.
import { execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

export const pagePath = process.env.WREN_PAGE;
export const trace = process.env.WREN_TRACE;
export const axePath = join(dirname(fileURLToPath(import.meta.url)), 'node_modules/axe-core/axe.min.js');

const chromiumArgs = ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update'];

/// A browser for one test file: open(text) gives a page whose editor starts
/// with text; requests lists every network request it refused.
export async function startBrowser() {
  const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: chromiumArgs });
  const requests = [];
  const dir = mkdtempSync(join(tmpdir(), 'wren-page-'));
  async function open(text, options = {}) {
    const context = await browser.newContext({ viewport: { width: 1200, height: 800 }, ...options });
    await context.route(/^(https?|wss?|ftp):/, (route) => { requests.push(route.request().url()); route.abort(); });
    if (text !== undefined) await context.addInitScript((t) => localStorage.setItem('wren-program', t), text);
    const page = await context.newPage();
    const errors = [];
    page.on('pageerror', (e) => errors.push(e.message));
    await page.goto(pathToFileURL(pagePath).href);
    return { page, errors, context, close: () => context.close() };
  }
  /// wren-trace --json on text: its step objects (and with explain, each
  /// step's description), the end object last.
  function traced(text, steps, extra = []) {
    const file = join(dir, 'p.ram');
    writeFileSync(file, text);
    let out;
    try { out = execFileSync(trace, ['--json', '--steps', String(steps), ...extra, file], { encoding: 'utf8' }); } catch (e) { out = e.stdout; }
    return out.trim().split('\n').map((l) => JSON.parse(l));
  }
  function write(name, text) {
    const file = join(dir, name);
    writeFileSync(file, text);
    return file;
  }
  return {
    browser, requests, open, traced, write, dir,
    close: async () => { await browser.close(); rmSync(dir, { recursive: true, force: true }); },
  };
}

/// The four registers as the Status region shows them.
export const status = (page) => page.getByRole('region', { name: 'Status' }).innerText()
  .then((t) => t.replace(/\n+/g, '\n').trim().split('\n').slice(0, 4).join('\n'));
export async function settle(page, want) {
  let got;
  for (let i = 0; i < 100 && (got = await status(page)) !== want; ++i) await page.waitForTimeout(20);
  return got;
}
export const shown = (s) => `PC: ${s.pc}\nA: ${s.a}\nV: ${s.v ? 'True' : 'False'}\nCycles: ${s.cycles}`;
export const button = (page, name) => page.getByRole('button', { name, exact: true });
