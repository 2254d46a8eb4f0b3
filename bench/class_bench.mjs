// The class report at scale: classes of 1,000 and 10,000 submissions made by
// tests/grade/class/make_class.mjs, graded on six cases with similar
// submissions looked for, in one run; wall time and peak memory of each.
//   node bench/class_bench.mjs WREN_GRADE
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const [grade] = process.argv.slice(2);
if (!grade) {
  console.error('usage: class_bench.mjs WREN_GRADE');
  process.exit(64);
}
const dir = mkdtempSync(join(tmpdir(), 'wren-class-bench-'));
try {
  for (const count of [1000, 10000]) {
    const subs = join(dir, `class-${count}`);
    execFileSync(process.execPath, [join(here, '../tests/grade/class/make_class.mjs'), subs, String(count), '11']);
    const t0 = performance.now();
    // GNU time gives the peak resident memory.
    const run = spawnSync('/usr/bin/time', ['-f', '%M', grade, '--class-report', join(dir, `${count}.html`),
      '--class-json', join(dir, `${count}.json`), '--summary', join(dir, `${count}.tsv`), join(here, 'class_cases.toml'), subs],
    { encoding: 'utf8', maxBuffer: 1 << 30 });
    const seconds = (performance.now() - t0) / 1000;
    const peak = Number(run.stderr.trim().split('\n').at(-1));
    const figures = JSON.parse(readFileSync(join(dir, `${count}.json`), 'utf8'));
    console.log(`${String(count).padStart(6)} submissions, 6 cases: ${seconds.toFixed(1)} s, peak ${(peak / 1024).toFixed(0)} MiB, ` +
      `${figures.pairs.length} similar pairs`);
  }
} finally {
  rmSync(dir, { recursive: true, force: true });
}
