// The page as a teaching tool, opened from disk in Chromium: the program in
// the machine before any Step, each step explained and its words lit as
// wren-trace --explain tells it, the datapath, live progress, Animate, the
// layout in light, dark and on a phone, help, and the page installed and
// used offline from a local server.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { createServer } from 'node:http';
import { readFileSync } from 'node:fs';
import { basename, dirname, extname, join } from 'node:path';
import { axePath, button, pagePath, settle, shown, startBrowser } from './helpers.mjs';

let session;
before(async () => { session = await startBrowser(); });
after(async () => { await session?.close(); });

const lastStep = (page) => page.getByRole('region', { name: 'Last step' });
async function lastStepIs(page, head, text) {
  const region = lastStep(page);
  for (let i = 0; i < 100; ++i) {
    if ((await region.locator('#last-step-head').innerText()) === head && (await region.locator('#last-step-text').innerText()) === text) break;
    await page.waitForTimeout(20);
  }
  return [await region.locator('#last-step-head').innerText(), await region.locator('#last-step-text').innerText()];
}
// The memory words a step lit, as "ADDRESS=ACCESS", in address order.
const lit = (page) => page.$$eval('[role=grid] [data-access]', (cells) => cells
  .map((c) => `${c.dataset.address}=${c.dataset.access}`).sort((a, b) => parseInt(a, 10) - parseInt(b, 10)).join(' '));
function expectedLit(explain) {
  const marks = new Map([[explain.at, 'pc'], [explain.at + 1, 'pc']]);
  for (const r of explain.reads) if (r.what === 'M') marks.set(r.address, 'read');
  for (const w of explain.writes) if (w.what === 'M') marks.set(w.address, 'write');
  return [...marks].sort((a, b) => a[0] - b[0]).map(([a, k]) => `${a}=${k}`).join(' ');
}
async function axe(page, when) {
  await page.addScriptTag({ path: axePath });
  const result = await page.evaluate(() => window.axe.run(document));
  const bad = result.violations.filter((v) => v.impact === 'serious' || v.impact === 'critical');
  assert.deepEqual(bad.map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`), [], when);
}

// All nine instructions, BVS taken and not taken.
const nine = 'LDAi 65530\nADDi 10\nBVS 8\nLDAi 0\nADDpc 0\nBVS 0\nSTAm 100\nLDAm 100\nADDm 100\nLDApc 0\nADDi 8\nSTApc 0\nLDAi 1\nLDAi 2\nLDAi 3\n';

test('the program is in the machine before any Step: listing, memory and the next step', async () => {
  const { page, close } = await session.open(nine);
  await page.waitForFunction(() => document.getElementById('listing').textContent.startsWith(' --> 0   LDAi 65530'));
  assert.equal(await page.locator('[role=grid] [data-address="0"]').innerText(), '32');
  assert.equal(await page.locator('[role=grid] [data-address="1"]').innerText(), '65530');
  assert.deepEqual(await lastStepIs(page, 'Next step: LDAi 65530 at 0', 'A ← 65530 · PC ← 2 · Cycles ← 3'),
    ['Next step: LDAi 65530 at 0', 'A ← 65530 · PC ← 2 · Cycles ← 3']);
  // An example chosen goes in at once too.
  await page.selectOption('#examples', 'guided-3-self-modifying.ram');
  await page.waitForFunction(() => document.getElementById('listing').textContent.startsWith(' --> 0   LDAi 32'));
  await close();
});

test("each step's explanation and lit words are wren-trace --explain's, and Step back tells the next step", async () => {
  const { page, close } = await session.open(nine);
  const steps = session.traced(nine, 100, ['--explain']).filter((o) => o.step !== undefined);
  assert.equal(steps.length, 12);
  await page.waitForFunction(() => document.getElementById('listing').textContent.startsWith(' --> 0'));
  for (const s of steps) {
    await button(page, 'Step').click();
    const head = `Last step: ${s.explain.instruction} at ${s.explain.at}`;
    assert.deepEqual(await lastStepIs(page, head, s.explain.text), [head, s.explain.text], `step ${s.step}`);
    assert.equal(await settle(page, shown(s)), shown(s));
    assert.equal(await lit(page), expectedLit(s.explain), `step ${s.step}`);
    if (s.explain.branch) {
      const target = await page.locator(`[role=grid] [data-address="${s.explain.branch.target}"]`).getAttribute('data-target');
      assert.equal(target, s.explain.branch.taken ? 'taken' : 'not-taken', `step ${s.step}`);
    }
    // The datapath: an add lights the adder's wires, a taken branch V's and the jump.
    const wires = (await page.locator('#datapath').getAttribute('data-lit')).split(' ');
    if (s.explain.instruction === 'ADDm 100')
      for (const w of ['mem-adder', 'a-adder', 'adder-a', 'adder-v']) assert.ok(wires.includes(w), `ADDm lights ${w}: ${wires}`);
    if (s.explain.instruction === 'BVS 8') {
      assert.ok(wires.includes('v-pc') && wires.includes('to-pc'), `a taken BVS: ${wires}`);
      assert.ok(!wires.includes('next-back'), wires.join(' '));
    }
    if (s.explain.instruction === 'BVS 0') assert.ok(wires.includes('next-back') && !wires.includes('to-pc'), wires.join(' '));
  }
  // Back over STApc, then over STAm: the region tells the step that comes next.
  for (const s of steps.slice(5).reverse()) {
    await button(page, 'Step back').click();
    const head = `Next step (after Step back): ${s.explain.instruction} at ${s.explain.at}`;
    assert.deepEqual(await lastStepIs(page, head, s.explain.text), [head, s.explain.text]);
    assert.equal(await lit(page), expectedLit(s.explain));
  }
  // The editor lights the line that ran and the record whose word it wrote.
  await button(page, 'Step').click();
  await lastStepIs(page, 'Last step: STAm 100 at 12', steps[5].explain.text);
  await page.waitForFunction(() => document.querySelector('.cm-line.wren-ran')?.textContent === 'STAm 100');
  await close();
});

test('Run to end shows its progress at least four times a second, and Stop is one click away', async () => {
  // Two counters: no state comes back before the cycle counter's limit ends
  // the run, after a second or more, so no endless loop cuts it short.
  const text = 'LDAm 100\nADDi 1\nSTAm 100\nBVS 12\nLDAi 0\nSTApc 0\nLDAm 101\nADDi 1\nSTAm 101\nLDAi 0\nSTApc 0\n';
  const { page, close } = await session.open(text);
  await page.waitForFunction(() => document.getElementById('listing').textContent.startsWith(' --> 0'));
  // Recorded in the page, not by polling it: a loaded machine delays each
  // round trip to the browser, not the page's own updates.
  await page.evaluate(() => {
    const progress = document.getElementById('progress');
    const cycles = document.getElementById('status-cycles');
    window.seen = { progress: [], cycles: new Set() };
    window.runStarted = performance.now();
    new MutationObserver(() => {
      window.seen.progress.push([performance.now() - window.runStarted, progress.textContent]);
      window.seen.cycles.add(cycles.textContent);
    }).observe(progress, { childList: true, characterData: true, subtree: true });
  });
  await button(page, 'Run to end').click();
  await page.waitForFunction(() => window.seen.progress.some(([, line]) => line === ''), null, { timeout: 60000 });
  const { progress, cycles } = await page.evaluate(() => ({ progress: window.seen.progress, cycles: window.seen.cycles.size }));
  const end = progress.findIndex(([, line]) => line === '');
  const seconds = progress[end][0] / 1000;
  const updates = progress.slice(0, end).filter(([, line]) => line.startsWith('Running to the end: '));
  // The first comes a quarter of a second in, the last may be overtaken by the end.
  const want = Math.max(2, Math.floor(4 * seconds) - 2);
  assert.ok(updates.length >= want, `${updates.length} updates in a run of ${seconds.toFixed(2)} s`);
  assert.ok(cycles >= updates.length, `${cycles} cycle counts shown over ${updates.length} updates`);
  assert.match(updates.at(-1)[1], /^Running to the end: [\d,]+ steps · [\d.]+ M steps\/s · Stop \(Shift\+F5\) to pause$/);

  await button(page, 'Reset').click();
  await page.waitForFunction(() => document.getElementById('listing').textContent.startsWith(' --> 0'));
  await button(page, 'Run to end').click();
  await page.waitForFunction(() => document.getElementById('rate').textContent.endsWith('M steps/s'));
  await button(page, 'Stop').click();
  await page.waitForFunction(() => document.getElementById('machine-state').textContent === 'Stopped.');
  assert.equal(await page.locator('#progress').innerText(), '');
  await close();
});

test('Animate at 10 steps a second runs 20 ± 3 steps in 2 s, each explained', async () => {
  const { page, close } = await session.open('LDAi 0\nADDi 1\nLDAi 2\nSTApc 0\n');
  await page.waitForFunction(() => document.getElementById('listing').textContent.startsWith(' --> 0'));
  await page.locator('#speed').fill('10');
  assert.equal(await page.locator('#speed-value').innerText(), '10/s');
  await button(page, 'Animate').click();
  await page.waitForTimeout(2000);
  await button(page, 'Stop animation').click();
  await page.waitForTimeout(300);
  const cycles = Number((await page.locator('#status-cycles').innerText()).replace('Cycles: ', ''));
  assert.ok(cycles / 3 >= 17 && cycles / 3 <= 23, `${cycles / 3} steps`);
  assert.match(await page.locator('#last-step-head').innerText(), /^Last step: /);
  await close();
});

test('the panes resize, dark colours switch, the phone stacks, help opens; axe-core passes in each', async () => {
  const { page, close } = await session.open(nine);
  await page.waitForFunction(() => document.getElementById('listing').textContent.startsWith(' --> 0'));
  await axe(page, 'at the start');
  const width = async () => (await page.locator('#pane-program').boundingBox()).width;
  const before = await width();
  const bar = page.getByRole('separator', { name: 'Resize the program pane' });
  await bar.focus();
  for (let i = 0; i < 5; ++i) await page.keyboard.press('ArrowRight');
  assert.equal(await bar.getAttribute('aria-valuenow'), '48');
  assert.ok(await width() > before + 50, `${before} -> ${await width()}`);
  await button(page, 'Step').click();
  await lastStepIs(page, 'Last step: LDAi 65530 at 0', 'A ← 65530 · PC ← 2 · Cycles ← 3');
  await axe(page, 'after a step');
  await button(page, 'Dark').click();
  assert.equal(await page.evaluate(() => document.documentElement.dataset.theme), 'dark');
  assert.equal(await button(page, 'Dark').getAttribute('aria-pressed'), 'true');
  await axe(page, 'in dark colours');
  // Help: the nine instructions, each with an example in the same words.
  await page.keyboard.press('F1');
  const rows = page.getByRole('table', { name: 'Instruction reference' }).locator('tbody tr');
  await rows.nth(8).waitFor();
  assert.equal(await rows.count(), 9);
  assert.equal(await rows.first().innerText(),
    'ADDm\t1\tA ← A + M[n] · V ← A + M[n] > 65535 · PC ← PC + 2\t4\tADDm 100 at 8: A ← A + M[100] = 5 + 7 = 12 · V ← 12 > 65535 = False · PC ← 10 · Cycles ← 27');
  await axe(page, 'with help open');
  await button(page, 'Open guided-2-loop-on-bvs.ram').click();
  await page.waitForFunction(() => document.getElementById('listing').textContent.startsWith(' --> 0   LDAm 30'));
  await close();

  // A phone: the panes stack and every control stays on the screen.
  const phone = await session.open(nine, { viewport: { width: 390, height: 844 } });
  await phone.page.locator('.wren-address').first().waitFor();
  const editor = await phone.page.locator('#editor').boundingBox();
  const machine = await phone.page.locator('aside').boundingBox();
  assert.ok(machine.y >= editor.y + editor.height, 'the machine pane is below the editor');
  assert.equal(await phone.page.evaluate(() => document.documentElement.scrollWidth), 390);
  for (const name of ['Step', 'Run', 'Reset', 'Run to end', 'Step back', 'Animate', 'Share', 'Help', 'Grade']) {
    const box = await button(phone.page, name).boundingBox();
    assert.ok(box && box.x >= 0 && box.x + box.width <= 390, `${name} fits the width`);
  }
  await phone.close();
});

test('hover on a mnemonic shows its line of the reference; a share link too long to open is refused', async () => {
  const { page, close } = await session.open(`LDAm 5\n{ ${'x'.repeat(30000)}\n`);
  await page.locator('.wren-address').first().waitFor();
  await page.locator('.cm-line').first().getByText('LDAm').hover();
  const tip = page.locator('.wren-hover .reference');
  await tip.waitFor();
  assert.equal(await tip.innerText(), 'A ← M[n] · PC ← PC + 2 · 3 cycles');
  await button(page, 'Share').click();
  // The refusal stays under the toolbar; the announcement may be followed by
  // another one before it is read here.
  await page.waitForFunction(() => /too long to share as a link/.test(document.getElementById('refusal').textContent));
  assert.equal(await page.getByRole('textbox', { name: 'Share link' }).inputValue(), '');
  await close();
});

test('served over HTTP by a host with no index page, the page installs a service worker and works with the network off', async () => {
  const root = dirname(pagePath);
  const types = { '.html': 'text/html', '.js': 'text/javascript', '.webmanifest': 'application/manifest+json', '.svg': 'image/svg+xml' };
  // As a static host with no index page (or nginx without autoindex): the
  // folder itself is not found.
  const server = createServer((req, res) => {
    const name = basename(new URL(req.url, 'http://x').pathname);
    try {
      if (!name) throw new Error('a folder');
      const body = readFileSync(join(root, name));
      res.writeHead(200, { 'content-type': types[extname(name)] ?? 'application/octet-stream' });
      res.end(body);
    } catch {
      res.writeHead(404);
      res.end();
    }
  });
  await new Promise((r) => server.listen(0, '127.0.0.1', r));
  const url = `http://127.0.0.1:${server.address().port}/${basename(pagePath)}`;
  const context = await session.browser.newContext();
  const elsewhere = [];
  context.on('request', (r) => { if (!r.url().startsWith('http://127.0.0.1') && !/^(blob|data):/.test(r.url())) elsewhere.push(r.url()); });
  try {
    const page = await context.newPage();
    await page.goto(url);
    await page.evaluate(() => navigator.serviceWorker.ready);
    assert.equal(await page.evaluate(() => document.querySelector('link[rel=manifest]')?.getAttribute('href')), 'wren-simulator.webmanifest');
    await context.setOffline(true);
    await page.reload();
    await page.waitForFunction(() => document.getElementById('listing').textContent.startsWith(' --> '));
    await button(page, 'Step').click();
    await page.waitForFunction(() => document.getElementById('last-step-head').textContent.startsWith('Last step: '));
    assert.deepEqual(elsewhere, []);
  } finally {
    await context.close();
    server.close();
  }
});

test('no request left the machine', () => {
  assert.deepEqual(session.requests, []);
});
