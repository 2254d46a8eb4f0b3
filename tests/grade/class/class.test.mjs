// The class report on a class made by make_class.mjs with a fixed seed:
// exactly the planted copies are found, the figures equal the
// per-submission reports, the gradebook has a row each, and bad input is
// named without losing the rest. WREN_GRADE names wren-grade.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { copyFileSync, existsSync, mkdirSync, mkdtempSync, readdirSync, readFileSync, rmSync, symlinkSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const grade = process.env.WREN_GRADE;
const cases = join(here, 'cases.toml');
let dir;
let subs;
const run = (args) => spawnSync(grade, args, { encoding: 'utf8', cwd: dir });

before(() => {
  dir = mkdtempSync(join(tmpdir(), 'wren-class-'));
  subs = join(dir, 'subs');
  execFileSync(process.execPath, [join(here, 'make_class.mjs'), subs, '300', '7']);
});
after(() => rmSync(dir, { recursive: true, force: true }));

test('every planted copy is found, and no pair of independent programs', () => {
  const out = run(['--class-json', 'class.json', '--class-report', 'class.html', cases, subs]);
  assert.equal(out.status, 1, out.stderr); // some cases fail
  const figures = JSON.parse(readFileSync(join(dir, 'class.json'), 'utf8'));
  const planted = readFileSync(join(dir, 'planted.txt'), 'utf8').trim().split('\n');
  assert.equal(planted.length, 42);
  assert.deepEqual(figures.pairs.map((p) => `${p.a} ${p.b}`).sort(), planted);
  for (const p of figures.pairs) {
    assert.ok(p.similarity >= 0.6, `${p.a} ${p.b}`);
    assert.ok(p.ranges.length > 0 && p.ranges[0].a_text.length > 0, `${p.a} ${p.b} shows its lines`);
  }
  // With the bar at 0.45, still none but the copies: independent programs
  // stay well below.
  run(['--similar-threshold', '0.45', '--class-json', 'low.json', cases, subs]);
  const low = JSON.parse(readFileSync(join(dir, 'low.json'), 'utf8'));
  assert.deepEqual(low.pairs.map((p) => `${p.a} ${p.b}`).sort(), planted);
  // The text output ends with the class's summary.
  assert.match(out.stdout, /^class: 300 submissions$/m);
  assert.match(out.stdout, /^  similar pairs: 42$/m);
  assert.match(out.stdout, /^\d+ passed, \d+ failed$/m);
});

test("the figures are each submission's own report, case by case", () => {
  run(['--class-json', 'class.json', '--no-similar', cases, subs]);
  const figures = JSON.parse(readFileSync(join(dir, 'class.json'), 'utf8'));
  run(['--format', 'gradescope', '--out', 'reports', cases, subs]);
  assert.equal(figures.submissions.length, 300);
  const outcomes = Object.fromEntries(figures.cases.map((c) => [c.name, 0]));
  for (const s of figures.submissions) {
    const report = JSON.parse(readFileSync(join(dir, 'reports', `${s.name}.json`), 'utf8'));
    assert.equal(s.score, report.score, s.name);
    assert.deepEqual(s.outcomes.map((o) => o === 'passed'), report.tests.map((t) => t.score === t.max_score), s.name);
    s.outcomes.forEach((o, i) => { if (o === 'passed') outcomes[figures.cases[i].name] += 1; });
  }
  for (const c of figures.cases) {
    assert.equal(c.outcomes.passed, outcomes[c.name], c.name);
    assert.equal(Object.values(c.outcomes).reduce((a, b) => a + b, 0), 300, c.name);
    assert.equal(c.passing_steps.length, c.outcomes.passed);
    assert.equal(typeof c.reference_steps, 'number');
  }
  assert.equal(figures.similarity.looked_for, false);
});

test('the gradebook has a row a submission with its total and points per case', () => {
  const out = run(['--format', 'csv', cases, join(subs, 's0000.ram'), join(subs, 's0001.ram')]);
  const rows = out.stdout.split('\r\n');
  assert.equal(rows[0], 'Student,SIS Login ID,Total,small numbers,a factor of 0,random factors');
  assert.match(rows[1], /^s0000,s0000,\d+(\.\d+)?,\d,\d,\d$/);
  assert.equal(rows.length, 4); // two rows and the end of the last line
});

test('bad input is named in the report and the rest is graded; a failed run keeps the old report', () => {
  const bad = join(dir, 'bad');
  mkdirSync(join(bad, 'a'), { recursive: true });
  mkdirSync(join(bad, 'b'), { recursive: true });
  mkdirSync(join(bad, 'empty'), { recursive: true });
  copyFileSync(join(subs, 's0013.ram'), join(bad, 'a', 'hw.ram'));
  copyFileSync(join(subs, 's0014.ram'), join(bad, 'b', 'hw.ram'));
  writeFileSync(join(bad, 'a', 'binary.ram'), Buffer.from([0x4c, 0x00, 0x44, 0x00]));
  // A zip with one good entry and one whose path leaves the archive.
  execFileSync('python3', ['-c', `import zipfile
z = zipfile.ZipFile(${JSON.stringify(join(bad, 'class.zip'))}, 'w')
z.writestr('ok/zipped.ram', open(${JSON.stringify(join(subs, 's0015.ram'))}).read())
z.writestr('../escape.ram', 'LDAi 1\\n')
z.close()`]);
  const list = join(bad, 'list.txt');
  writeFileSync(list, '# one a line\ns0016.ram\n');
  copyFileSync(join(subs, 's0016.ram'), join(bad, 's0016.ram'));
  const out = run(['--class-json', 'bad.json', cases, join(bad, 'a'), join(bad, 'b'), join(bad, 'empty'), join(bad, 'class.zip'), `@${list}`]);
  const figures = JSON.parse(readFileSync(join(dir, 'bad.json'), 'utf8'));
  const names = figures.submissions.map((s) => s.name);
  assert.deepEqual(names.sort(), ['binary', 'a_hw', 'b_hw', 's0016', 'zipped'].sort());
  // The list's names are read from the list's own folder, not the working one.
  assert.equal(figures.submissions.find((s) => s.name === 's0016').not_graded, undefined);
  assert.equal(typeof figures.submissions.find((s) => s.name === 's0016').score, 'number');
  assert.match(figures.submissions.find((s) => s.name === 'binary').not_graded, /not a text file/);
  const problems = figures.problems.join('\n');
  assert.match(problems, /empty: the folder holds no \.ram file/);
  assert.match(problems, /entry '\.\.\/escape\.ram' names a path outside the archive: not read/);
  assert.match(problems, /binary\.ram: not a text file .*: not graded/);
  assert.match(problems, /2 submissions are named hw: reported as a_hw, b_hw/);
  assert.ok(!existsSync(join(dirname(dir), 'escape.ram')) && !existsSync(join(tmpdir(), 'escape.ram')));
  assert.match(out.stderr, /wren-grade: .*empty: the folder holds no \.ram file/);
  // A case file that fails: the class report from before is left alone.
  writeFileSync(join(dir, 'keep.html'), 'the old report');
  const broken = join(dir, 'broken.toml');
  writeFileSync(broken, '[[case]]\nname = 3\n');
  assert.equal(run(['--class-report', 'keep.html', broken, subs]).status, 65);
  assert.equal(readFileSync(join(dir, 'keep.html'), 'utf8'), 'the old report');
  // A report that cannot be written says so and leaves nothing half-written.
  const failed = run(['--class-json', join(dir, 'no', 'such', 'dir', 'x.json'), cases, join(subs, 's0000.ram')]);
  assert.equal(failed.status, 1);
  assert.match(failed.stderr, /cannot write .*x\.json/);
  assert.deepEqual(readdirSync(dir).filter((f) => f.includes('.partial-')), []);
});

test('links in a folder: one that points nowhere is named, one to a good file is graded under its own name', () => {
  const linked = join(dir, 'linked');
  mkdirSync(linked, { recursive: true });
  symlinkSync(join(dir, 'no-such-file.ram'), join(linked, 'gone.ram'));
  symlinkSync(join(subs, 's0017.ram'), join(linked, 'pointer.ram'));
  copyFileSync(join(subs, 's0018.ram'), join(linked, 'plain.ram'));
  run(['--class-json', 'linked.json', cases, linked]);
  const figures = JSON.parse(readFileSync(join(dir, 'linked.json'), 'utf8'));
  assert.deepEqual(figures.submissions.map((s) => s.name), ['gone', 'plain', 'pointer']);
  assert.equal(figures.submissions[0].not_graded, 'cannot be read');
  assert.equal(figures.submissions[2].not_graded, undefined);
  assert.match(figures.problems.join('\n'), /gone\.ram: cannot be read: not graded/);
});

test('a report that fails part-way through leaves the old one and no partial file', () => {
  writeFileSync(join(dir, 'kept.html'), 'the old report');
  // A file size limit of 8 KiB, its signal ignored: the write fails with EFBIG.
  const out = spawnSync('bash', ['-c', 'trap "" XFSZ; ulimit -f 8; exec "$@"', 'bash', grade,
    '--class-report', 'kept.html', cases, subs], { encoding: 'utf8', cwd: dir });
  assert.equal(out.status, 1, out.stderr);
  assert.match(out.stderr, /cannot write kept\.html/);
  assert.equal(readFileSync(join(dir, 'kept.html'), 'utf8'), 'the old report');
  assert.deepEqual(readdirSync(dir).filter((f) => f.includes('.partial-')), []);
});

test('a missing or empty submission fails every case, with why, in every format', () => {
  writeFileSync(join(dir, 'empty.ram'), '');
  for (const [file, why] of [['missing.ram', /missing\.ram: cannot be read/], ['empty.ram', /holds no instruction/]]) {
    const text = run([cases, file]);
    assert.equal(text.status, 1, text.stderr);
    assert.equal((text.stdout.match(why) ?? []).length >= 1, true, text.stdout);
    assert.match(text.stdout, /^0 passed, 3 failed$/m);
    const scope = run(['--format', 'gradescope', cases, file]);
    const tests = JSON.parse(scope.stdout.split('\n')[0]).tests;
    assert.equal(tests.length, 3, file);
    for (const t of tests) {
      assert.equal(t.status, 'failed', file);
      assert.match(t.output, why, file);
    }
    const junit = run(['--format', 'junit', cases, file]).stdout;
    assert.equal((junit.match(/<testcase /g) ?? []).length, 3, file);
    assert.equal((junit.match(/<failure /g) ?? []).length, 3, file);
    const csv = run(['--format', 'csv', cases, file]).stdout.split('\r\n');
    assert.equal(csv[1], `${file.replace('.ram', '')},${file.replace('.ram', '')},0,0,0,0`);
  }
});
