// The packaged extension in a real VS Code (code-server, pinned in this
// folder's package-lock; scripts/setup-code-server.sh), driven in Debian's
// Chromium by playwright-core. No wren-lsp or wren-dap is on PATH, so the
// extension runs the WebAssembly servers it carries. WREN_VSIX names the
// package; WREN_SCREENSHOTS, when set, is where the screenshots go.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { mkdirSync, mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:net';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = dirname(fileURLToPath(import.meta.url));
const entry = join(here, 'node_modules/code-server/out/node/entry.js');
const vsix = process.env.WREN_VSIX;
const shots = process.env.WREN_SCREENSHOTS;
const root = mkdtempSync(join(tmpdir(), 'wren-vscode-'));
const dirs = Object.fromEntries(['home', 'data', 'extensions', 'work'].map((d) => [d, join(root, d)]));
for (const d of Object.values(dirs)) mkdirSync(d, { recursive: true });
// Nothing of the user's, and no native servers: PATH has only the system's.
const env = {
  ...process.env, HOME: dirs.home, XDG_CONFIG_HOME: join(dirs.home, '.config'),
  XDG_DATA_HOME: join(dirs.home, '.local/share'), XDG_CACHE_HOME: join(dirs.home, '.cache'),
  PATH: '/usr/bin:/bin',
};
const programs = {
  'count.ram': '{ count\nLDAi 0\nldai 5\nBVS 20\nADDi 1, STAm 100, LDAi 2\nSTApc 0\n',
  'hover.ram': 'LDAm 4 { load }\nBVS 4\nLDAi 7 { seven }\n',
  'ends.ram': 'LDAi 5\nADDi 2\n',
  'fault.ram': 'LDAi 9\nSTAm 65536\nLDAi 1\n',
  'stores.ram': 'LDAi 7\nSTAm 100\nLDAi 8\nSTAm 100\nLDAi 9\n',
  'loop.ram': readFileSync(join(here, '../../examples/guided-2-loop-on-bvs.ram'), 'utf8'),
};

let server;
let browser;
let page;

const freePort = () => new Promise((resolve) => {
  const s = createServer().listen(0, '127.0.0.1', () => { const { port } = s.address(); s.close(() => resolve(port)); });
});

async function snap(name) {
  if (shots) await page.screenshot({ path: join(shots, `vscode-${name}.png`) });
}

// Types text into the quick input that key opens and takes the row it finds.
async function quickInput(key, text) {
  await page.keyboard.press(key);
  await page.waitForSelector('.quick-input-widget input', { state: 'visible' });
  await page.keyboard.type(text);
  await page.waitForSelector(`.quick-input-list .monaco-list-row[aria-label*="${text}"]`);
  await page.keyboard.press('Enter');
}

async function openFile(name) {
  await quickInput('Control+P', name);
  await page.waitForFunction((n) => document.querySelector('.tab.active')?.getAttribute('aria-label')?.startsWith(n), name);
  await page.locator('.monaco-editor .view-lines').first().click();
}

// The editor's text as shown, hints included, with its no-break spaces, the
// figure spaces that pad an address and the hair space that pads a hint as
// plain spaces.
const editorText = () => page.$eval('.editor-group-container.active .monaco-editor .view-lines',
  (e) => e.innerText.replace(/[\u00a0\u2007\u200a]/g, ' '));

const command = (title) => quickInput('F1', title);

before(async () => {
  assert.ok(vsix, 'WREN_VSIX names the packaged extension');
  for (const [name, text] of Object.entries(programs)) writeFileSync(join(dirs.work, name), text);
  mkdirSync(join(dirs.data, 'User'), { recursive: true });
  writeFileSync(join(dirs.data, 'User/settings.json'), JSON.stringify({
    'workbench.startupEditor': 'none', 'security.workspace.trust.enabled': false,
    'telemetry.telemetryLevel': 'off', 'workbench.tips.enabled': false,
    'editor.hover.delay': 100, 'files.autoSave': 'off',
  }));
  const common = ['--user-data-dir', dirs.data, '--extensions-dir', dirs.extensions];
  execFileSync(process.execPath, [entry, ...common, '--install-extension', vsix], { env, stdio: 'ignore' });
  const port = await freePort();
  server = spawn(process.execPath, [entry, ...common, '--bind-addr', `127.0.0.1:${port}`, '--auth', 'none',
    '--disable-telemetry', '--disable-update-check', '--disable-workspace-trust'], { env, stdio: 'ignore' });
  browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
      '--no-first-run', '--disable-sync'],
  });
  const context = await browser.newContext({ viewport: { width: 1400, height: 900 } });
  // The workbench talks only to its own server.
  await context.route(/^(https?|wss?):/, (r) => (new URL(r.request().url()).hostname === '127.0.0.1' ? r.continue() : r.abort()));
  page = await context.newPage();
  for (let i = 0; ; ++i) {
    try {
      await page.goto(`http://127.0.0.1:${port}/?folder=${encodeURIComponent(dirs.work)}`);
      break;
    } catch (error) {
      if (i > 60) throw error;
      await new Promise((r) => setTimeout(r, 500));
    }
  }
  await page.waitForSelector('.monaco-workbench', { timeout: 60000 });
});

// Each test leaves a screenshot of where it failed.
function check(name, body) {
  test(name, async () => {
    try {
      await body();
    } catch (error) {
      await snap(`failed-${name.slice(0, 30).replace(/[^a-z0-9]+/gi, '-')}`);
      throw error;
    }
  });
}

after(async () => {
  await browser?.close();
  server?.kill();
  rmSync(root, { recursive: true, force: true });
});

check('the WebAssembly servers run where no wren-lsp is installed: addresses, one width, and the slip', async () => {
  await openFile('count.ram');
  const want = '{ count\n 0: LDAi 0\n 2: ldai 5\n 4: BVS 20\n 6: ADDi 1,  8: STAm 100, 10: LDAi 2\n12: STApc 0';
  for (let i = 0; i < 150 && (await editorText()) !== want; ++i) await page.waitForTimeout(200);
  const shown = await editorText();
  assert.equal(shown, want, shown.replace(/[^\n\x20-\x7e]/g, (c) => `<${c.charCodeAt(0).toString(16)}>`));
  await page.waitForSelector('.squiggly-warning');
  await command('View: Toggle Problems');
  const problem = page.locator('.markers-panel .monaco-list-row').filter({ hasText: 'ldai' }).first();
  await problem.waitFor();
  assert.match(await problem.innerText(), /unknown mnemonic 'ldai'/);
  await snap('addresses');
  const log = readdirSync(join(dirs.data, 'logs'), { recursive: true }).find((f) => f.endsWith('Wren.log'));
  assert.match(readFileSync(join(dirs.data, 'logs', log), 'utf8'),
    /^Language server: .*server\/wren-lsp\.mjs \(WebAssembly, in VS Code's Node\.js\)$/m);
});

check('the hover names the opcode and quotes no comment', async () => {
  await openFile('hover.ram');
  for (let i = 0; i < 150 && !(await editorText()).includes('2: BVS'); ++i) await page.waitForTimeout(200);
  const operand = page.locator('.editor-group-container.active .view-line').nth(1).locator('span.mtk7', { hasText: '4' });
  await operand.hover();
  const hover = page.locator('.monaco-hover-content').filter({ hasText: 'address 4' });
  await hover.waitFor({ timeout: 10000 });
  const text = await hover.innerText();
  assert.match(text, /address 4: the opcode word of LDAi 7 \(line 3\), opcode 32/);
  assert.doesNotMatch(text, /seven|\(32\)/);
  await snap('hover');
  await page.keyboard.press('Escape');
});

check('a record inserted above a branch target: the branch is marked, and Update fixes it', async () => {
  await openFile('loop.ram');
  for (let i = 0; i < 150 && !(await editorText()).includes('12: LDAi 4'); ++i) await page.waitForTimeout(200);
  // After line 8 (STApc 0), where no run goes: LDAi 4 moves from 12 to 14.
  await page.keyboard.press('Control+G');
  await page.keyboard.type('8');
  await page.keyboard.press('Enter');
  await page.keyboard.press('End');
  await page.keyboard.press('Enter');
  await page.keyboard.type('LDAi 99');
  await page.keyboard.press('Escape'); // the mnemonics offered while typing
  for (let i = 0; i < 150 && !(await editorText()).includes('14: LDAi 4'); ++i) await page.waitForTimeout(200);
  await page.keyboard.press('Control+.');
  const update = page.locator('.action-widget .monaco-list-row', { hasText: "Update 1 operand to its record's new address" });
  await update.waitFor({ timeout: 15000 });
  await snap('moved');
  // The only action there, focused: Enter applies it.
  await page.keyboard.press('Enter');
  for (let i = 0; i < 75 && !(await editorText()).includes('BVS 14'); ++i) await page.waitForTimeout(200);
  await page.keyboard.press('Control+S');
  const file = join(dirs.work, 'loop.ram');
  for (let i = 0; i < 75 && !readFileSync(file, 'utf8').includes('BVS 14'); ++i) await page.waitForTimeout(200);
  const saved = readFileSync(file, 'utf8').split('\n');
  assert.match(saved[5], /^BVS 14 /);
  assert.equal(saved[8], 'LDAi 99');
  // The run ends as the lesson's did, two words later.
  if (process.env.WREN_TRACE)
    assert.equal(execFileSync(process.env.WREN_TRACE, ['--quiet', file], { encoding: 'utf8' }),
      'end: no instruction at address 16 after 23 steps; A: 4  PC: 16  V: True  Cycles: 69\n');
});

async function variables() {
  const view = page.locator('.monaco-list[aria-label="Debug Variables"]');
  await view.locator('.monaco-list-row').first().waitFor({ timeout: 15000 });
  return view.innerText();
}

const debugButton = (label) => page.locator(`.debug-toolbar .action-label[aria-label^="${label}"]`);

check('F5 with no launch.json debugs the open program; at the end the registers show at once', async () => {
  await openFile('ends.ram');
  await page.keyboard.press('F5');
  await debugButton('Step Over').waitFor({ timeout: 30000 });
  await page.waitForSelector('.debug-top-stack-frame-line');
  await debugButton('Step Over').click();
  await debugButton('Step Over').click();
  const registers = async () => (await variables()).replace(/\s+/g, ' ');
  for (let i = 0; i < 75 && !/A = 7 /.test(await registers()); ++i) await page.waitForTimeout(200);
  assert.match(await registers(), /A = 7 PC = 4 V = False Cycles = 6/);
  // The frame is the last line that ran, selected with no click.
  const frame = page.locator('.monaco-list[aria-label="Debug Call Stack"] .monaco-list-row.selected');
  assert.match(await frame.innerText(), /ends\.ram\s*2:1/);
  await snap('end');
  await debugButton('Stop').click();
  await debugButton('Stop').waitFor({ state: 'hidden' });
});

check('a fault stops on the faulting instruction\'s line', async () => {
  await openFile('fault.ram');
  await page.keyboard.press('F5');
  await debugButton('Continue').waitFor({ timeout: 30000 });
  await debugButton('Continue').click();
  await page.waitForSelector('.exception-widget', { timeout: 15000 });
  assert.match(await page.locator('.exception-widget').innerText(), /STAm operand 65536 at address 2/);
  // The stopped line's decoration sits on line 2 (the view's second line).
  const lines = await page.$$eval('.editor-group-container.active .view-overlays > div', (rows) =>
    rows.map((r, i) => (r.querySelector('.debug-top-stack-frame-line') ? i + 1 : 0)).filter(Boolean));
  assert.deepEqual(lines, [2]);
  await snap('fault');
  await debugButton('Stop').click();
});

check('History of This Word lists the stores, and the one picked is gone back to', async () => {
  await debugButton('Stop').waitFor({ state: 'hidden' }); // the session before is over
  await openFile('stores.ram');
  await page.keyboard.press('F5');
  await debugButton('Continue').waitFor({ timeout: 30000 });
  await debugButton('Continue').click();
  const registers = async () => (await variables()).replace(/\s+/g, ' ');
  for (let i = 0; i < 75 && !/PC = 10 /.test(await registers()); ++i) await page.waitForTimeout(200);
  await command('Wren: History of This Word');
  await page.waitForSelector('.quick-input-widget input', { state: 'visible' });
  await page.keyboard.type('100');
  await page.keyboard.press('Enter');
  const rows = page.locator('.quick-input-list .monaco-list-row');
  await rows.filter({ hasText: 'Step 2' }).waitFor({ timeout: 15000 });
  // The label and its description, spaces aside.
  assert.deepEqual((await rows.allInnerTexts()).map((t) => t.replace(/\s+/g, '')),
    ['Step4line4·STAm100·7→8', 'Step2line2·STAm100·0→7']);
  await snap('word-history');
  await page.keyboard.press('ArrowDown');
  await page.keyboard.press('Enter');
  for (let i = 0; i < 75 && !/A = 7 PC = 4 /.test(await registers()); ++i) await page.waitForTimeout(200);
  assert.match(await registers(), /A = 7 PC = 4 V = False Cycles = 6/);
  await debugButton('Stop').click();
  await debugButton('Stop').waitFor({ state: 'hidden' });
});
