// wren-grade's class report opened from disk in Chromium: its tables and
// plots are there, the submissions table sorts, axe-core passes, and it
// asks for nothing. WREN_GRADE names wren-grade; WREN_SCREENSHOTS, when
// set, is where a screenshot of it goes.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { dirname, join } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { axePath, startBrowser } from './helpers.mjs';

const here = dirname(fileURLToPath(import.meta.url));
const classDir = join(here, '../grade/class');
let session;
let report;
before(async () => {
  session = await startBrowser();
  const subs = join(session.dir, 'subs');
  execFileSync(process.execPath, [join(classDir, 'make_class.mjs'), subs, '120', '3']);
  report = join(session.dir, 'class.html');
  spawnSync(process.env.WREN_GRADE, ['--out', join(session.dir, 'reports'), '--class-report', report, join(classDir, 'cases.toml'), subs]);
});
after(async () => { await session?.close(); });

test('the class report shows its tables and plots, sorts, passes axe-core and asks for nothing', async () => {
  const context = await session.browser.newContext({ viewport: { width: 1280, height: 900 } });
  const asked = [];
  context.on('request', (r) => { if (!r.url().startsWith('file:')) asked.push(r.url()); });
  const page = await context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  await page.goto(pathToFileURL(report).href);
  for (const name of ['Per case', 'Points', 'Efficiency of the passing programs', 'Slips the checker found', 'Similar submissions', 'Submissions'])
    assert.ok(await page.getByRole('heading', { name, exact: true }).isVisible(), name);
  assert.ok(await page.getByRole('img', { name: 'How each case ended, as a share of the class' }).isVisible());
  assert.equal(await page.locator('svg[role=img][aria-labelledby^="steps-"]').count(), 3);
  assert.ok((await page.locator('svg text', { hasText: /^model answer: \d+$/ }).count()) >= 1);
  const rows = page.locator('table.sortable tbody tr');
  assert.equal(await rows.count(), 120);
  assert.ok((await page.locator('details summary .flag').count()) > 0, 'similar pairs are listed');
  // Sort by score: lowest first, then highest first.
  const scores = async () => (await page.locator('table.sortable tbody tr td:nth-child(2)').allInnerTexts()).map((t) => Number(t.split('/')[0]));
  await page.getByRole('button', { name: 'Score', exact: true }).click();
  const up = await scores();
  assert.deepEqual(up, [...up].sort((a, b) => a - b));
  assert.equal(await page.locator('th[aria-sort=ascending]').innerText(), 'Score');
  await page.getByRole('button', { name: 'Score', exact: true }).click();
  const down = await scores();
  assert.deepEqual(down, [...down].sort((a, b) => b - a));
  // Each name links to its own report.
  const link = await rows.first().locator('th a').getAttribute('href');
  assert.match(link, /^reports\/s\d{4}c?\.txt$/);
  await page.addScriptTag({ path: axePath });
  const result = await page.evaluate(() => window.axe.run(document));
  const bad = result.violations.filter((v) => v.impact === 'serious' || v.impact === 'critical');
  assert.deepEqual(bad.map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`), []);
  if (process.env.WREN_SCREENSHOTS) await page.screenshot({ path: join(process.env.WREN_SCREENSHOTS, 'class-report.png') });
  assert.deepEqual(asked, []);
  assert.deepEqual(errors, []);
  await context.close();
});
