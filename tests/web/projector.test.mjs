// The page on a projector (1280x720 at 150 %: about 853x480) and on a small
// laptop (1024x768): the toolbar in one row, the editor and the machine side
// by side and both in view, no horizontal scroll, and axe-core passes.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { axePath, startBrowser } from './helpers.mjs';

const examples = join(import.meta.dirname ?? new URL('.', import.meta.url).pathname, '../../examples');
let session;
before(async () => { session = await startBrowser(); });
after(async () => { await session?.close(); });

for (const [width, height, scale] of [[853, 480, 1.5], [1024, 768, 1]]) {
  test(`at ${width}x${height} the editor and the machine stand side by side under one row of tools`, async () => {
    const { page, close } = await session.open(readFileSync(join(examples, 'guided-2-loop-on-bvs.ram'), 'utf8'),
      { viewport: { width, height }, deviceScaleFactor: scale });
    await page.locator('.wren-address').first().waitFor();
    const box = (selector) => page.locator(selector).first().boundingBox();
    const layout = await page.evaluate(() => ({
      scrollWidth: document.documentElement.scrollWidth,
      clientWidth: document.documentElement.clientWidth,
      // The top of every control of the toolbar.
      tops: [...document.querySelectorAll('.app-bar button, .app-bar select, .app-bar .file-button, .app-bar input[type=range]')]
        .filter((e) => e.getClientRects().length > 0).map((e) => Math.round(e.getBoundingClientRect().top)),
    }));
    assert.equal(layout.scrollWidth, layout.clientWidth, 'no horizontal scroll');
    assert.ok(Math.max(...layout.tops) - Math.min(...layout.tops) <= 6, `one row: ${layout.tops}`);
    const editor = await box('#editor');
    const registers = await box('#status');
    const lastStep = await box('.last-step');
    // Side by side: the machine to the right of the editor, at the same height.
    assert.ok(registers.x >= editor.x + editor.width, `machine at ${registers.x}, editor ends at ${editor.x + editor.width}`);
    for (const [name, b] of [['editor', editor], ['registers', registers], ['Last step', lastStep]])
      assert.ok(b.y >= 0 && b.y + Math.min(b.height, 40) <= height && b.x + b.width <= width, `${name} in view: ${JSON.stringify(b)}`);
    await page.addScriptTag({ path: axePath });
    const axe = await page.evaluate(() => window.axe.run(document));
    assert.deepEqual(axe.violations.filter((v) => v.impact === 'serious' || v.impact === 'critical').map((v) => v.id), []);
    await close();
  });
}
