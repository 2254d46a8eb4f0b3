// The README and the guide in docs/ hold together: every relative link and
// picture names a file that is there (and a heading, where it names one),
// and every command-line option a man page lists is told of in the guide.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { existsSync, readdirSync, readFileSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
const pages = ['README.md', ...readdirSync(join(root, 'docs')).filter((f) => f.endsWith('.md')).map((f) => `docs/${f}`)];
const text = (page) => readFileSync(join(root, page), 'utf8');

// GitHub's anchors: lower case, punctuation dropped, spaces to hyphens.
const anchor = (heading) => heading.trim().toLowerCase().replace(/[^\w\- ]/g, '').replace(/ /g, '-');
const anchors = (page) => new Set(text(page).split('\n').filter((l) => /^#{1,6} /.test(l)).map((l) => anchor(l.replace(/^#+ /, ''))));

test('every relative link and picture in the README and the guide resolves', () => {
  const broken = [];
  let seen = 0;
  for (const page of pages) {
    for (const [, target] of text(page).matchAll(/\]\(([^)\s]+)\)/g)) {
      if (/^[a-z]+:/i.test(target)) continue;
      ++seen;
      const [path, hash] = target.split('#');
      const file = path ? join(dirname(join(root, page)), path) : join(root, page);
      if (!existsSync(file)) broken.push(`${page}: ${target}: no such file`);
      else if (hash && file.endsWith('.md') && !anchors(file.slice(root.length + 1)).has(hash)) broken.push(`${page}: ${target}: no such heading`);
    }
  }
  assert.deepEqual(broken, []);
  assert.ok(seen > 20, `only ${seen} links`);
});

test('every page of the guide is reachable from the README', () => {
  const reached = new Set(['README.md']);
  for (let grew = true; grew;) {
    grew = false;
    for (const page of [...reached]) {
      for (const [, target] of text(page).matchAll(/\]\(([^)#\s]+\.md)(#[^)]*)?\)/g)) {
        const to = join(dirname(page), target).replace(/\\/g, '/');
        if (!reached.has(to) && existsSync(join(root, to))) { reached.add(to); grew = true; }
      }
    }
  }
  assert.deepEqual(pages.filter((p) => !reached.has(p)), []);
});

test('every option the man pages list is told of in the guide', () => {
  const guide = pages.map(text).join('\n');
  const missing = [];
  const manDir = join(root, 'packaging/man');
  for (const man of readdirSync(manDir)) {
    const options = new Set([...readFileSync(join(manDir, man), 'utf8').matchAll(/\\-\\-([A-Za-z0-9]+(?:\\-[A-Za-z0-9]+)*)/g)]
      .map((m) => `--${m[1].replace(/\\-/g, '-')}`));
    for (const option of options) if (!guide.includes(option)) missing.push(`${man}: ${option}`);
  }
  assert.deepEqual(missing, []);
});
