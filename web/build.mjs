// Builds the page as one file: the bundle, the styles and the WebAssembly
// worker inlined, so that it works opened from disk with no request.
//   node web/build.mjs WORKER.js OUT.html
import { build } from 'esbuild';
import { mkdirSync, readdirSync, readFileSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const [worker, out] = process.argv.slice(2);
if (!worker || !out) {
  console.error('usage: build.mjs WORKER.js OUT.html');
  process.exit(64);
}
// The shipped examples, for the examples menu.
const examplesDir = join(here, '../examples');
const examples = Object.fromEntries(readdirSync(examplesDir).filter((f) => f.endsWith('.ram')).sort()
  .map((f) => [f, readFileSync(join(examplesDir, f), 'utf8')]));
const result = await build({
  entryPoints: [join(here, 'src/main.js')],
  bundle: true,
  minify: true,
  format: 'iife',
  target: 'es2020',
  write: false,
  define: {
    WREN_WORKER_SOURCE: JSON.stringify(readFileSync(worker, 'utf8')),
    WREN_EXAMPLES: JSON.stringify(examples),
  },
  logLevel: 'warning',
});
// Inside a script element, "</script" would end it early.
const script = result.outputFiles[0].text.replace(/<\/script/gi, '<\\/script');
const page = readFileSync(join(here, 'index.html'), 'utf8').replace('/*WREN_SCRIPT*/', () => script);
mkdirSync(dirname(out), { recursive: true });
writeFileSync(out, page);
console.log(`built ${out} (${(page.length / 1024).toFixed(0)} KB)`);
