// Every input of the multiplication example's ranges, graded in the page's
// worker (headless Chromium, from disk) and by native wren-grade on one
// thread, in the same run: the model answer's runs and the program's.
//
//   node bench/grade_page_bench.mjs PAGE.html WREN_GRADE
// playwright-core comes from tests/web (scripts/setup.sh installs it).
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, join } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const require = createRequire(join(here, '../tests/web/package.json'));
const { chromium } = require('playwright-core');
const [pagePath, grade] = process.argv.slice(2);
if (!pagePath || !grade) {
  console.error('usage: grade_page_bench.mjs PAGE.html WREN_GRADE');
  process.exit(64);
}
const example = join(here, '../examples/grading/multiply');
const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox', '--disable-gpu'] });
const context = await browser.newContext();
await context.addInitScript((t) => localStorage.setItem('wren-program', t), readFileSync(join(example, 'submissions/correct.ram'), 'utf8'));
const page = await context.newPage();
await page.goto(pathToFileURL(pagePath).href);
await page.locator('.wren-address').first().waitFor();
await page.getByLabel('Open cases').setInputFiles([join(example, 'every.toml'), join(example, 'model.ram')]);

// Each side three times, alternately; the best of each counts.
let inPage = Infinity;
let native = Infinity;
for (let i = 0; i < 3; ++i) {
  await page.evaluate(() => document.getElementById('results').tBodies[0].replaceChildren());
  const t0 = performance.now();
  await page.getByRole('button', { name: 'Grade', exact: true }).click();
  await page.locator('#results tr.found').waitFor();
  inPage = Math.min(inPage, performance.now() - t0);
  const t1 = performance.now();
  execFileSync(grade, ['-j', '1', join(example, 'every.toml'), join(example, 'submissions/correct.ram')]);
  native = Math.min(native, performance.now() - t1);
}
console.log(`every input of [0, 200] x [1, 200], model answer and program: page ${inPage.toFixed(0)} ms, native ${native.toFixed(0)} ms, ratio ${(inPage / native).toFixed(2)}`);
await browser.close();
