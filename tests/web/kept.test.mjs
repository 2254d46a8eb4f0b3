// Nothing a student typed is lost: every replacement (an example, an opened
// file, a share link, Recent) can be undone with Ctrl+Z or the notice's
// Undo, what it replaced stays in Recent across a reload, each tab keeps its
// own program, Recent holds the last 20, and a browser that keeps nothing
// says so while the page goes on working.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { axePath, button, pagePath, startBrowser } from './helpers.mjs';

let session;
before(async () => { session = await startBrowser(); });
after(async () => { await session?.close(); });

const text = (page) => page.evaluate(() => document.querySelector('.cm-content').innerText.replace(/\n+$/, ''));
const ready = (page) => page.locator('.wren-address').first().waitFor();
const mine = '{ my evening of work\nLDAi 7\nADDi 5\n';

async function type(page, program) {
  await page.getByRole('textbox', { name: 'Program' }).click();
  await page.keyboard.press('Control+a');
  await page.keyboard.insertText(program);
  await page.waitForFunction(() => /a copy is in Recent/.test(document.getElementById('file-state').textContent));
}
async function recentNames(page) {
  await button(page, 'Recent').click();
  const names = await page.getByRole('list', { name: 'Recent programs' }).locator('li > button:first-child').allInnerTexts();
  await button(page, 'Close').click();
  return names;
}

// A page with no program of a test's own: what a student sees.
async function fresh(context) {
  const page = await context.newPage();
  await page.goto(pathToFileURL(pagePath).href);
  await ready(page);
  return page;
}

test('an example, a file and a link each replace the program undoably, with a notice; after a reload Recent has it', async () => {
  const context = await session.browser.newContext({ viewport: { width: 1366, height: 768 } });
  const page = await fresh(context);
  const notice = page.getByRole('region', { name: 'Program replaced' });
  const file = join(session.dir, 'other.ram');
  writeFileSync(file, 'LDAi 1\n');
  // Each link another program: a link followed twice changes nothing.
  let links = 0;
  const shared = () => `${pathToFileURL(pagePath).href}#program=${Buffer.from(`LDAi ${++links}\n`).toString('base64url')}`;
  const ways = [
    ['an example', () => page.selectOption('#examples', 'count-to-overflow.ram')],
    ['a file', () => page.getByLabel('Open program').setInputFiles(file)],
    ['a link', () => page.evaluate((u) => { location.href = u; }, shared())],
  ];
  for (const [way, replaceIt] of ways) {
    await type(page, mine);
    await replaceIt();
    await page.waitForFunction((m) => document.querySelector('.cm-content').innerText !== m.trimEnd(), mine);
    await notice.waitFor({ state: 'visible' });
    assert.match(await page.locator('#replaced-text').innerText(), /Your changes to .* were replaced by .*\. They are in Recent\./, way);
    // Ctrl+Z in the editor takes the replacement back, as one change.
    await page.getByRole('textbox', { name: 'Program' }).click();
    await page.keyboard.press('Control+z');
    assert.equal(await text(page), mine.trimEnd(), `${way}: Ctrl+Z`);
    // And the notice's Undo, after the replacement again.
    await replaceIt();
    await notice.waitFor({ state: 'visible' });
    await button(page, 'Undo').click();
    assert.equal(await text(page), mine.trimEnd(), `${way}: Undo`);
    assert.equal(await notice.isHidden(), true);
  }
  // Replaced once more: axe-core with the notice and Recent open; then the
  // tab reloaded: Recent still has the work.
  await page.selectOption('#examples', 'jump-table.ram');
  await notice.waitFor({ state: 'visible' });
  await button(page, 'Recent').click();
  await page.addScriptTag({ path: axePath });
  const axe = await page.evaluate(() => window.axe.run(document));
  assert.deepEqual(axe.violations.filter((v) => v.impact === 'serious' || v.impact === 'critical').map((v) => v.id), []);
  await button(page, 'Close').click();
  await page.reload();
  await ready(page);
  assert.match(await text(page), /^\{ A jump table/, 'the tab keeps what it held');
  await button(page, 'Recent').click();
  const untitled = page.getByRole('list', { name: 'Recent programs' }).locator('li', { hasText: 'my evening of work' }).first();
  await untitled.locator('button').first().click();
  assert.equal(await text(page), mine.trimEnd());
  await context.close();
});

test('two tabs keep their own programs across reloads, and Recent lists both', async () => {
  const context = await session.browser.newContext({ viewport: { width: 1366, height: 768 } });
  const one = await fresh(context);
  const two = await fresh(context);
  await type(one, '{ exercise 1\nLDAi 1\n');
  await type(two, '{ exercise 2\nLDAi 2\n');
  await type(one, '{ exercise 1\nLDAi 11\n');
  for (const page of [one, two]) {
    await page.reload();
    await ready(page);
  }
  assert.equal(await text(one), '{ exercise 1\nLDAi 11');
  assert.equal(await text(two), '{ exercise 2\nLDAi 2');
  const names = await recentNames(one);
  const firstLines = await one.evaluate(() => JSON.parse(localStorage.getItem('wren-recent')).map((e) => e.text.split('\n')[0]));
  assert.deepEqual(firstLines.slice(0, 2).sort(), ['{ exercise 1', '{ exercise 2']);
  assert.ok(names.length >= 2);
  await context.close();
});

test('Recent holds the last 20 programs, each reopened with its text', async () => {
  const context = await session.browser.newContext({ viewport: { width: 1366, height: 768 } });
  const page = await fresh(context);
  for (let i = 1; i <= 25; ++i) {
    const file = join(session.dir, `p${i}.ram`);
    writeFileSync(file, `LDAi ${i}\n`);
    await page.getByLabel('Open program').setInputFiles(file);
    await page.waitForFunction((n) => document.getElementById('file-name').textContent === n, `p${i}.ram`);
  }
  const names = await recentNames(page);
  assert.deepEqual(names, Array.from({ length: 20 }, (_, k) => `p${25 - k}.ram`));
  await button(page, 'Recent').click();
  await page.getByRole('button', { name: 'p10.ram', exact: true }).click();
  assert.equal(await text(page), 'LDAi 10');
  // Deleted from the list, it is gone from it.
  await button(page, 'Recent').click();
  await page.getByRole('button', { name: 'Delete p12.ram from Recent' }).click();
  assert.equal(await page.getByRole('button', { name: 'p12.ram', exact: true }).count(), 0);
  await button(page, 'Close').click();
  await context.close();
});

test('a browser that keeps nothing says so once, and the page goes on working', async () => {
  const context = await session.browser.newContext({ viewport: { width: 1366, height: 768 } });
  await context.addInitScript(() => {
    Storage.prototype.setItem = () => { throw new DOMException('full', 'QuotaExceededError'); };
  });
  const page = await fresh(context);
  await page.getByRole('textbox', { name: 'Program' }).click();
  await page.keyboard.press('Control+a');
  await page.keyboard.insertText('LDAi 3\nADDi 4\n');
  await page.waitForFunction(() => /this browser keeps nothing/.test(document.getElementById('file-state').textContent));
  await page.waitForFunction(() => /will not keep your program/.test(document.getElementById('announce').textContent));
  await button(page, 'Step').click();
  await button(page, 'Step').click();
  await page.waitForFunction(() => document.getElementById('status-a').textContent === 'A: 7');
  await context.close();
});
