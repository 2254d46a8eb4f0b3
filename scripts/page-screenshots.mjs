// Screenshots of the page for the README and docs/: opened from disk in
// Chromium, on the guided loop example a few steps in, at 1366×768,
// 1920×1080, a phone's 390×844, and in dark colours; a notice after an
// insertion, and the history of a memory word.
// With a third argument, also the top of a class report (wren-grade
// --class-report) as class-report.png.
//   node scripts/page-screenshots.mjs PAGE.html OUT_DIR [CLASS_REPORT.html]
import { createRequire } from 'node:module';
import { mkdirSync } from 'node:fs';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const require = createRequire(resolve('tests/web/package.json'));
const { chromium } = require('playwright-core');
const [page_, out, classReport] = process.argv.slice(2);
if (!page_ || !out) {
  console.error('usage: page-screenshots.mjs PAGE.html OUT_DIR');
  process.exit(64);
}
mkdirSync(out, { recursive: true });
const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update'],
});
const shots = [
  ['page-1366x768.png', { width: 1366, height: 768 }, 'light'],
  ['page-1920x1080.png', { width: 1920, height: 1080 }, 'light'],
  ['page-390x844.png', { width: 390, height: 844 }, 'light'],
  ['page-dark.png', { width: 1366, height: 768 }, 'dark'],
  // A projector: 1280x720 at 150 %.
  ['page-projector.png', { width: 853, height: 480 }, 'light', 1.5],
];
try {
  for (const [name, viewport, scheme, scale = 1] of shots) {
    const context = await browser.newContext({ viewport, colorScheme: scheme, deviceScaleFactor: scale });
    const page = await context.newPage();
    await page.goto(pathToFileURL(resolve(page_)).href);
    await page.locator('.wren-address').first().waitFor();
    await page.selectOption('#examples', 'guided-2-loop-on-bvs.ram');
    await page.waitForFunction(() => document.getElementById('listing').textContent.includes('LDAm 30'));
    for (let i = 0; i < 6; ++i) {
      await page.locator('#step').click();
      await page.waitForTimeout(120);
    }
    await page.waitForTimeout(300);
    await page.screenshot({ path: join(out, name), fullPage: viewport.width < 500 });
    console.log(`wrote ${join(out, name)}`);
    await context.close();
  }
  {
    // The notice after a record inserted above the loop's exit.
    const context = await browser.newContext({ viewport: { width: 1366, height: 768 } });
    const page = await context.newPage();
    await page.goto(pathToFileURL(resolve(page_)).href);
    await page.locator('.wren-address').first().waitFor();
    await page.selectOption('#examples', 'guided-2-loop-on-bvs.ram');
    await page.waitForFunction(() => document.getElementById('listing').textContent.includes('LDAm 30'));
    await page.getByRole('textbox', { name: 'Program' }).click();
    await page.keyboard.press('Control+Home');
    for (let i = 0; i < 7; ++i) await page.keyboard.press('ArrowDown');
    await page.keyboard.press('End');
    await page.keyboard.insertText('\nLDAi 99');
    const notice = page.locator('#moved-notice');
    await notice.waitFor({ state: 'visible' });
    await page.waitForTimeout(500);
    const b = await notice.boundingBox();
    await page.screenshot({ path: join(out, 'page-moved-notice.png'), clip: { x: b.x - 8, y: b.y - 8, width: b.width + 16, height: 300 } });
    console.log(`wrote ${join(out, 'page-moved-notice.png')}`);
    await context.close();
  }
  {
    // The history of word 7, the operand word fill-memory.ram's loop moves
    // along, after Run to end.
    const context = await browser.newContext({ viewport: { width: 1366, height: 768 } });
    const page = await context.newPage();
    await page.goto(pathToFileURL(resolve(page_)).href);
    await page.locator('.wren-address').first().waitFor();
    await page.selectOption('#examples', 'fill-memory.ram');
    await page.waitForFunction(() => document.getElementById('listing').textContent.includes('STAm 300'));
    await page.locator('#run-to-end').click();
    await page.waitForFunction(() => document.getElementById('machine-state').textContent.startsWith('The program ended'));
    await page.locator('[role=gridcell][data-address="7"]').click({ button: 'right' });
    await page.getByRole('menuitem', { name: /History/ }).click();
    await page.locator('#word-history[open]').waitFor();
    await page.waitForTimeout(300);
    await page.screenshot({ path: join(out, 'page-word-history.png') });
    console.log(`wrote ${join(out, 'page-word-history.png')}`);
    await context.close();
  }
  if (classReport) {
    const context = await browser.newContext({ viewport: { width: 1100, height: 1000 } });
    const page = await context.newPage();
    await page.goto(pathToFileURL(resolve(classReport)).href);
    await page.screenshot({ path: join(out, 'class-report.png') });
    console.log(`wrote ${join(out, 'class-report.png')}`);
    await context.close();
  }
} finally {
  await browser.close();
}
