// What the page shows is whole and true: every memory cell holds its whole
// value at three screen sizes; the datapath's wires carry the values that
// wren-trace --explain --json gives for each of the nine instructions; a PC
// outside memory fetched nothing; Stop shows a run stopped only once it has,
// and nothing moves after; a refusal is seen as well as heard; axe-core
// passes in each of these states.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { mkdirSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { axePath, button, pagePath, settle, startBrowser } from './helpers.mjs';

let session;
before(async () => { session = await startBrowser(); });
after(async () => { await session?.close(); });

// Screenshots of the states tested, for a person to look at.
const shots = join(dirname(pagePath), '..', 'page-test-screenshots');
mkdirSync(shots, { recursive: true });

async function axe(page, when) {
  await page.addScriptTag({ path: axePath });
  const result = await page.evaluate(() => window.axe.run(document));
  const bad = result.violations.filter((v) => v.impact === 'serious' || v.impact === 'critical');
  assert.deepEqual(bad.map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`), [], when);
}
const loaded = (page) => page.waitForFunction(() => document.getElementById('listing').textContent.startsWith(' --> '));
const lastHead = (page) => page.locator('#last-step-head').innerText();

// The widest values a word holds, and those the cells used to cut.
const wide = [-2147483648, 2147483647, 16384, 67000, 70000, -1234, 65535, -1];
const wideProgram = `LDAi 0\n${wide.map((v) => `W ${v}`).join('\n')}\n`;

test('every memory cell shows its whole value, at 1366x768, 1920x1080 and 390x844', async () => {
  for (const [width, height] of [[1366, 768], [1920, 1080], [390, 844]]) {
    const { page, close } = await session.open(wideProgram, { viewport: { width, height } });
    await loaded(page);
    await page.locator('[role=grid] [data-address="3"]').filter({ hasText: '-2147483648' }).waitFor();
    const cells = await page.$$eval('[role=grid] [role=gridcell]', (all) => all.map((c) => ({
      address: Number(c.dataset.address), text: c.textContent, cut: c.scrollWidth > c.clientWidth,
      right: c.getBoundingClientRect().right,
    })));
    for (const [i, value] of wide.entries()) {
      const cell = cells.find((c) => c.address === 2 * i + 3);
      assert.equal(cell.text, String(value), `${width}: word ${2 * i + 3}`);
    }
    assert.deepEqual(cells.filter((c) => c.cut).map((c) => c.address), [], `${width}: cells that cut their value`);
    const perRow = Number(await page.locator('[role=grid]').getAttribute('data-per-row'));
    assert.ok(perRow >= 1 && perRow <= 8, `${width}: ${perRow} a row`);
    // On a phone the page itself never scrolls sideways.
    if (width === 390) assert.equal(await page.evaluate(() => document.documentElement.scrollWidth), 390);
    await page.screenshot({ path: join(shots, `memory-${width}x${height}.png`) });
    await close();
  }
  // The guided loop's word 30 holds 16384 after the first pass.
  const { page, close } = await session.open(undefined, { viewport: { width: 1366, height: 768 } });
  await loaded(page);
  await page.selectOption('#examples', 'guided-2-loop-on-bvs.ram');
  await page.waitForFunction(() => document.getElementById('listing').textContent.includes('LDAm 30'));
  await page.locator('#goto').fill('30');
  await page.locator('#goto').press('Enter');
  for (let i = 0; i < 3; ++i) await button(page, 'Step').click();
  const word = page.locator('[role=grid] [data-address="30"]');
  await page.waitForFunction(() => document.querySelector('[role=grid] [data-address="30"]')?.textContent === '16384');
  assert.equal(await word.evaluate((c) => c.scrollWidth <= c.clientWidth), true);
  await axe(page, 'the guided loop at 1366x768, stepped');
  await close();
});

// Each of the nine instructions (BVS both ways) as wren-trace explains it:
// the wires the datapath lights, and the value drawn on each.
function expectedWires(e) {
  const read = (what) => e.reads.find((r) => r.what === what);
  const wrote = (what) => e.writes.find((w) => w.what === what);
  const bool = (v) => (v ? 'True' : 'False');
  const next = { next: String(e.at), 'next-back': String(wrote('PC')?.new) };
  const add = (into) => ({ fetch: null, 'a-adder': String(read('A').value), ...into,
    'adder-a': String(wrote('A').new), 'adder-v': bool(wrote('V').new), ...next });
  const [mnemonic, operand] = e.instruction.split(' ');
  switch (mnemonic) {
    case 'ADDm': return add({ 'mem-adder': String(read('M').value) });
    case 'ADDi': return add({ 'mem-adder': operand });
    case 'ADDpc': return add({ 'pc-adder': String(e.at + 2) });
    case 'BVS': return { fetch: null, 'v-pc': bool(read('V').value),
      ...(e.branch.taken ? { 'to-pc': String(wrote('PC').new) } : next) };
    case 'LDAm': case 'LDAi': return { fetch: null, 'mem-a': String(wrote('A').new), ...next };
    case 'LDApc': return { fetch: null, 'pc-a': String(e.at + 2), ...next };
    case 'STAm': return { fetch: null, 'a-mem': String(wrote('M').new), ...next };
    case 'STApc': return { fetch: null, 'a-pc': String(wrote('PC').new) };
    default: throw new Error(`no wires for ${e.instruction}`);
  }
}

test("the datapath lights each instruction's wires with wren-trace --explain's values", async () => {
  // LDAi, ADDi (V set), BVS taken, ADDpc, BVS not taken, STAm, LDAm, ADDm,
  // LDApc, ADDi, STApc: all nine.
  const nine = 'LDAi 65530\nADDi 10\nBVS 8\nLDAi 0\nADDpc 0\nBVS 0\nSTAm 100\nLDAm 100\nADDm 100\nLDApc 0\nADDi 8\nSTApc 0\nLDAi 1\nLDAi 2\nLDAi 3\n';
  const steps = session.traced(nine, 11, ['--explain']).filter((o) => o.step !== undefined);
  assert.deepEqual(steps.map((s) => s.explain.instruction.split(' ')[0]),
    ['LDAi', 'ADDi', 'BVS', 'ADDpc', 'BVS', 'STAm', 'LDAm', 'ADDm', 'LDApc', 'ADDi', 'STApc']);
  const { page, close } = await session.open(nine);
  await loaded(page);
  for (const s of steps) {
    await button(page, 'Step').click();
    await page.waitForFunction((c) => document.getElementById('status-cycles').textContent === `Cycles: ${c}`, s.cycles);
    await page.waitForFunction((h) => document.getElementById('last-step-head').textContent === h,
      `Last step: ${s.explain.instruction} at ${s.explain.at}`);
    const drawn = await page.evaluate(() => {
      const svg = document.getElementById('datapath');
      const wires = {};
      for (const w of svg.querySelectorAll('[data-wire][data-lit]')) wires[w.dataset.wire] = null;
      for (const t of svg.querySelectorAll('[data-on]')) wires[t.dataset.on] = t.textContent;
      return wires;
    });
    assert.deepEqual(drawn, expectedWires(s.explain), s.explain.instruction);
  }
  await close();
});

test('each step is announced in words, as the accessibility tree gives it to a screen reader', async () => {
  const nine = 'LDAi 65530\nADDi 10\nBVS 8\nLDAi 0\nADDpc 0\nBVS 0\nSTAm 100\nLDAm 100\nADDm 100\nLDApc 0\nADDi 8\nSTApc 0\nLDAi 1\nLDAi 2\nLDAi 3\n';
  const steps = session.traced(nine, 11, ['--explain']).filter((o) => o.step !== undefined);
  const { page, close } = await session.open(nine);
  await loaded(page);
  const heard = [];
  for (const s of steps) {
    await button(page, 'Step').click();
    const want = `${s.explain.instruction}: ${s.explain.spoken}`;
    await page.waitForFunction((w) => document.getElementById('announce').textContent === w, want);
    heard.push(JSON.parse((await page.locator('#announce').ariaSnapshot()).replace(/^- text: /, '')));
  }
  // Words, not symbols, for each kind of step.
  assert.deepEqual(heard, [
    'LDAi 65530: A becomes 65530. PC becomes 2.',
    'ADDi 10: A becomes 4: 65530 plus 10, which is 65540; A keeps what is left after dividing by 65536. V becomes True. PC becomes 4.',
    'BVS 8: V is True, so the branch is taken: PC becomes 8.',
    'ADDpc: A becomes 14: 4 plus 10, the next instruction\'s address. V becomes False. PC becomes 10.',
    'BVS 0: V is False, so the branch is not taken: PC becomes 12.',
    'STAm 100: Word 100 becomes 14, from A; it held 0. PC becomes 14.',
    'LDAm 100: A becomes 14, from word 100. PC becomes 16.',
    'ADDm 100: A becomes 28: 14 plus word 100, which holds 14. V becomes False. PC becomes 18.',
    'LDApc: A becomes 20, the next instruction\'s address. PC becomes 20.',
    'ADDi 8: A becomes 28: 20 plus 8. V becomes False. PC becomes 22.',
    'STApc 0: PC becomes 28, from A.',
  ]);
  await close();
});

test('a PC outside memory fetched nothing, in the processor\'s own words', async () => {
  const program = 'LDAi 70000\nSTApc 0\n';
  const end = session.traced(program, 10, ['--explain']).at(-1);
  assert.equal(end.explain.failed, 'PC');
  const { page, close } = await session.open(program);
  await loaded(page);
  for (let i = 0; i < 3; ++i) await button(page, 'Step').click();
  await page.getByRole('alert').waitFor();
  await page.waitForFunction(() => document.getElementById('last-step-head').textContent.startsWith('Last step: index'));
  assert.equal(await lastHead(page), `Last step: ${end.explain.fault}`);
  assert.equal(await page.locator('#last-step-text').innerText(), end.explain.text);
  // No word was fetched: none lit as the instruction, no fetch drawn.
  assert.equal(await page.locator('[role=grid] [data-access=pc]').count(), 0);
  assert.equal(await page.locator('#datapath [data-wire=fetch][data-lit]').count(), 0);
  assert.doesNotMatch(await page.locator('#datapath [data-part=memory]').textContent(), /M\[70000\]/);
  await close();
});

test('Stop shows the run stopped once the adapter has stopped it, and nothing moves after', async () => {
  const text = 'LDAm 100\nADDi 1\nSTAm 100\nBVS 12\nLDAi 0\nSTApc 0\nLDAm 101\nADDi 1\nSTAm 101\nLDAi 0\nSTApc 0\n';
  const { page, close } = await session.open(text, { viewport: { width: 1366, height: 768 } });
  await loaded(page);
  await button(page, 'Run to end').click();
  await page.waitForFunction(() => document.getElementById('rate').textContent.endsWith('M steps/s'));
  await button(page, 'Stop').click();
  await page.waitForFunction(() => document.getElementById('machine-state').textContent === 'Stopped.');
  const first = await page.locator('#status').innerText();
  await page.waitForTimeout(500);
  assert.equal(await page.locator('#status').innerText(), first);
  assert.equal(await button(page, 'Step').isEnabled(), true);
  assert.equal(await button(page, 'Stop').isDisabled(), true);
  await axe(page, 'stopped');
  // What is shown is the machine's state: one more step of 3 cycles.
  const cycles = Number(/Cycles: (\d+)/.exec(first)[1]);
  await button(page, 'Step').click();
  await page.waitForFunction((c) => document.getElementById('status-cycles').textContent === `Cycles: ${c}`, cycles + 3);
  // A run of its own (a whole run ends within seconds): Animate.
  await button(page, 'Animate').click();
  await axe(page, 'animating');
  await button(page, 'Stop animation').click();
  await close();
});

test('a refusal is shown in the status line as well as announced', async () => {
  const { page, close } = await session.open(`LDAm 5\n{ ${'x'.repeat(30000)}\n`, { viewport: { width: 1366, height: 768 } });
  await loaded(page);
  const refusal = page.locator('#refusal');
  const seen = async (pattern, name) => {
    await page.waitForFunction((p) => new RegExp(p).test(document.getElementById('announce').textContent), pattern.source);
    assert.match(await refusal.innerText(), pattern);
    const box = await refusal.boundingBox();
    assert.ok(box && box.width > 50 && box.y >= 0 && box.y + box.height <= 768, `${name}: ${JSON.stringify(box)}`);
    await page.screenshot({ path: join(shots, `refusal-${name}.png`) });
  };
  await button(page, 'Share').click();
  await seen(/too long to share as a link/, 'share');
  assert.equal(await page.getByRole('textbox', { name: 'Share link' }).inputValue(), '');
  await axe(page, 'with a refusal shown');
  const binary = session.write('utf16.ram', Buffer.from('\ufeffLDAi 1', 'utf16le'));
  await page.getByLabel('Open program').setInputFiles(binary);
  await seen(/utf16\.ram is not a text file/, 'binary');
  await page.getByLabel('Open program').setInputFiles({ name: 'big.ram', mimeType: 'text/plain', buffer: Buffer.alloc(5 * 1024 * 1024, 'L') });
  await seen(/big\.ram is 5\.0 MB/, 'too-large');
  // A file that opens clears it.
  await page.getByLabel('Open program').setInputFiles({ name: 'ok.ram', mimeType: 'text/plain', buffer: Buffer.from('LDAi 1\n') });
  await page.waitForFunction(() => document.getElementById('refusal').hidden);
  assert.equal(await settle(page, 'PC: 0\nA: 0\nV: False\nCycles: 0'), 'PC: 0\nA: 0\nV: False\nCycles: 0');
  await close();
});

test('no request left the machine', () => {
  assert.deepEqual(session.requests, []);
});

// Keep the writer in helpers' folder tidy between runs.
writeFileSync(join(shots, 'README'), 'Screenshots that tests/web/shown.test.mjs takes of the states it tests.\n');
