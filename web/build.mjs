// Builds the page as one file: the bundle, the styles and the WebAssembly
// worker inlined, so that it works opened from disk with no request.
//   node web/build.mjs WORKER.js OUT.html
import { build } from 'esbuild';
import { mkdirSync, readdirSync, readFileSync, writeFileSync } from 'node:fs';
import { basename, dirname, join } from 'node:path';
import { createHash } from 'node:crypto';
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

// Served over HTTP(S), the page can be installed and used offline: a web
// manifest, an icon, and a service worker that keeps all three.
const page_ = basename(out);
const icon = '<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 96 96"><rect width="96" height="96" rx="18" fill="#1f4e79"/>' +
  '<text x="48" y="64" font-family="sans-serif" font-size="48" font-weight="bold" text-anchor="middle" fill="#fff">W</text></svg>';
writeFileSync(join(dirname(out), 'wren-simulator-icon.svg'), icon);
writeFileSync(join(dirname(out), 'wren-simulator.webmanifest'), JSON.stringify({
  name: 'Wren processor simulator', short_name: 'Wren', start_url: page_, scope: './', display: 'standalone',
  background_color: '#f6f7f9', theme_color: '#1f4e79',
  icons: [{ src: 'wren-simulator-icon.svg', sizes: 'any', type: 'image/svg+xml', purpose: 'any' }],
}, null, 2));
const version = createHash('sha256').update(page).digest('hex').slice(0, 12);
writeFileSync(join(dirname(out), 'wren-simulator-sw.js'), `// Keeps the page for use offline: cached on install, served from the cache
// first; a new build (a new cache name) replaces the old one. The files
// only: many hosts answer 404 or 403 for the folder itself, and one failed
// file fails the whole install.
const cache = 'wren-${version}';
const files = ['${page_}', 'wren-simulator.webmanifest', 'wren-simulator-icon.svg'];
self.addEventListener('install', (e) => e.waitUntil(caches.open(cache).then((c) => c.addAll(files)).then(() => self.skipWaiting())));
self.addEventListener('activate', (e) => e.waitUntil(caches.keys()
  .then((keys) => Promise.all(keys.filter((k) => k.startsWith('wren-') && k !== cache).map((k) => caches.delete(k))))
  .then(() => self.clients.claim())));
self.addEventListener('fetch', (e) => {
  if (e.request.method !== 'GET') return;
  // Offline, a visit to the folder (where the host serves the page as its
  // index) gets the page from the cache.
  e.respondWith(caches.match(e.request, { ignoreSearch: true }).then((hit) => hit ?? fetch(e.request).catch((error) => {
    if (e.request.mode === 'navigate' && new URL(e.request.url).pathname.endsWith('/')) return caches.match('${page_}');
    throw error;
  })));
});
`);
console.log(`built ${out} (${(page.length / 1024).toFixed(0)} KB)`);
