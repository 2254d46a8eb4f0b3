// wren-grade's class report opened from disk in Chromium: its tables and
// plots are there, the submissions table sorts, axe-core passes, and it
// asks for nothing. WREN_GRADE names wren-grade; WREN_SCREENSHOTS, when
// set, is where a screenshot of it goes.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { axePath, startBrowser } from './helpers.mjs';

const here = dirname(fileURLToPath(import.meta.url));
const classDir = join(here, '../grade/class');
let session;
let report;
let subs;
before(async () => {
  session = await startBrowser();
  subs = join(session.dir, 'subs');
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

// Picks the class through one of the page's inputs, grades it, and saves
// its figures: what the page and wren-grade (--class-json) say of it.
async function bothFigures(page, input, source, name) {
  const cli = join(session.dir, `${name}.json`);
  spawnSync(process.env.WREN_GRADE, ['--class-json', cli, join(classDir, 'cases.toml'), source]);
  await page.getByLabel(input).setInputFiles(source);
  await page.waitForFunction(() => /^Class: 120 submissions\.$/.test(document.getElementById('class-state').textContent));
  await page.getByRole('button', { name: 'Grade class' }).click();
  await page.waitForFunction(() => /^Graded 120 submissions/.test(document.getElementById('class-state').textContent), null, { timeout: 60000 });
  const [download] = await Promise.all([page.waitForEvent('download'), page.getByRole('button', { name: 'Save figures' }).click()]);
  return [JSON.parse(readFileSync(await download.path(), 'utf8')), JSON.parse(readFileSync(cli, 'utf8'))];
}

test("the page's teacher view grades the same class to the same figures, in its worker", async () => {
  const { page, close } = await session.open('LDAi 1\n');
  await page.getByLabel('Open cases').setInputFiles([join(classDir, 'cases.toml'), join(classDir, 'model.ram')]);
  const [fromPage, fromCli] = await bothFigures(page, 'Open class (a folder of submissions)', subs, 'folder');
  const strip = (f) => ({ ...f, submissions: f.submissions.map(({ file, ...rest }) => rest) });
  assert.deepEqual(strip(fromPage), strip(fromCli));
  assert.equal(await page.getByRole('table', { name: 'Class results' }).locator('tbody tr').count(), 3);
  assert.equal(await page.getByRole('list', { name: 'Similar submissions' }).locator('li').count(), fromCli.pairs.length);
  const [html] = await Promise.all([page.waitForEvent('download'), page.getByRole('button', { name: 'Save class report' }).click()]);
  assert.match(readFileSync(await html.path(), 'utf8'), /<h1>Class report<\/h1>/);

  // The same class as a zip, with an entry that would leave it: the same
  // figures, and the entry named.
  const zip = join(session.dir, 'subs.zip');
  execFileSync('python3', ['-c', `import os, zipfile
z = zipfile.ZipFile(${JSON.stringify(zip)}, 'w')
for f in sorted(os.listdir(${JSON.stringify(subs)})):
    z.write(os.path.join(${JSON.stringify(subs)}, f), f)
z.writestr('../escape.ram', 'LDAi 1\\n')
z.close()`]);
  const [zipPage, zipCli] = await bothFigures(page, 'Open class zip (a zip of submissions)', zip, 'zip');
  const noPaths = (f) => ({ ...strip(f), problems: f.problems.map((p) => p.replace(/^.*subs\.zip/, 'subs.zip')) });
  assert.deepEqual(noPaths(zipPage), noPaths(zipCli));
  assert.deepEqual(zipPage.problems, ["subs.zip: entry '../escape.ram' names a path outside the archive: not read"]);
  await close();
});
