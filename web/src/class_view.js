// The teacher's view: a whole class (a folder, picked or dropped, or a
// zip), graded by the same C++ in the grader's worker; the report stays on
// this computer until it is saved.
import { unzipSync } from 'fflate';
import { Events } from './store.js';

const $ = (id) => document.getElementById(id);

/// grading is the grader's worker bridge, shared with the grading pane.
export function setUpClassView(store, grading) {
  const say = (text) => store.dispatch(Events.Say, { text });
  grading.onProgress((done, of) => {
    $('class-state').textContent = `Graded ${done} of ${of} submissions…`;
  });
  let classFiles = []; // {path, file}
  let classProblems = []; // what a zip held that is not read
  let classAnswer = null;
  function classReady() {
    $('grade-class').disabled = !(store.get().casePath && classFiles.length);
  }
  function takeClass(files, problems = []) {
    classProblems = problems;
    // In the order wren-grade takes a folder's: by path, byte by byte.
    classFiles = files.filter(({ path }) => /\.ram$/i.test(path)).sort((a, b) => (a.path < b.path ? -1 : a.path > b.path ? 1 : 0));
    $('class-state').textContent = classFiles.length
      ? `Class: ${classFiles.length} submissions${store.get().casePath ? '' : ': now open the case file above'}.`
      : 'No .ram file in what was picked.';
    classReady();
  }
  $('open-class').addEventListener('change', (e) => {
    takeClass([...e.target.files].map((file) => ({ path: file.webkitRelativePath || file.name, file })));
    e.target.value = '';
  });
  // A folder dropped on the class controls: its files, folders and all.
  async function entries(entry, prefix = '') {
    if (entry.isFile) return [{ path: prefix + entry.name, file: await new Promise((ok, no) => entry.file(ok, no)) }];
    const reader = entry.createReader();
    const out = [];
    for (;;) {
      const batch = await new Promise((ok, no) => reader.readEntries(ok, no));
      if (!batch.length) return out;
      for (const child of batch) out.push(...(await entries(child, `${prefix}${entry.name}/`)));
    }
  }
  // A zip of submissions: its .ram entries, as wren-grade takes them (under
  // a folder named after the archive); an entry whose path would leave the
  // archive is named and not read.
  async function takeZip(zip) {
    let entries;
    try {
      entries = unzipSync(new Uint8Array(await zip.arrayBuffer()));
    } catch (error) {
      $('class-state').textContent = `${zip.name}: cannot open the archive: ${error.message}`;
      return;
    }
    const stem = zip.name.replace(/\.zip$/i, '');
    const files = [];
    const problems = [];
    for (const [name, bytes] of Object.entries(entries)) {
      if (name.endsWith('/') || name.startsWith('__MACOSX/')) continue;
      if (name.startsWith('/') || /[\\:]/.test(name) || name.split('/').includes('..')) {
        problems.push(`${zip.name}: entry '${name}' names a path outside the archive: not read`);
        continue;
      }
      files.push({ path: `${stem}/${name}`, file: new File([bytes], name.split('/').pop()) });
    }
    if (!files.some(({ path }) => /\.ram$/i.test(path))) problems.push(`${zip.name}: the archive holds no .ram file`);
    takeClass(files, problems);
  }
  $('open-class-zip').addEventListener('change', (e) => {
    if (e.target.files[0]) takeZip(e.target.files[0]);
    e.target.value = '';
  });
  $('class-drop').addEventListener('drop', async (e) => {
    e.preventDefault();
    e.stopPropagation();
    const zip = [...e.dataTransfer.files].find((f) => /\.zip$/i.test(f.name));
    if (zip) { takeZip(zip); return; }
    const items = [...e.dataTransfer.items].map((i) => i.webkitGetAsEntry?.()).filter(Boolean);
    const found = [];
    for (const entry of items) found.push(...(await entries(entry)));
    takeClass(found);
  });
  $('grade-class').addEventListener('click', async () => {
    const { casePath } = store.get();
    if (!casePath || !classFiles.length) return;
    $('grade-class').disabled = true;
    $('class-state').textContent = 'Grading the class…';
    const paths = [];
    for (const { path, file } of classFiles) {
      const where = `/class/${path.replace(/^\/+/, '')}`;
      grading.writeFile(where, await file.text());
      paths.push(where);
    }
    classAnswer = await grading.grade({ class: { cases: casePath, files: paths, seed: 1, problems: classProblems } });
    $('grade-class').disabled = false;
    if (classAnswer.error) {
      $('class-state').textContent = classAnswer.error;
      say(classAnswer.error);
      return;
    }
    const f = classAnswer.figures;
    const body = $('class-results').tBodies[0];
    body.replaceChildren(...f.cases.map((c) => {
      const row = document.createElement('tr');
      for (const text of [c.name, c.outcomes.passed, c.outcomes['wrong-result'], c.outcomes['endless-loop'],
        c.outcomes['did-not-stop'], c.outcomes.fault, c.outcomes['load-error'] + c.outcomes.empty]) {
        const cell = document.createElement('td');
        cell.textContent = String(text);
        row.append(cell);
      }
      return row;
    }));
    $('class-results').hidden = false;
    $('class-pairs').replaceChildren(...f.pairs.map((p) => {
      const item = document.createElement('li');
      item.textContent = `${Math.round(p.similarity * 100)} %: ${p.a} and ${p.b}`;
      return item;
    }));
    for (const id of ['save-class-report', 'save-class-json']) $(id).disabled = false;
    const text = `Graded ${f.submissions_count} submissions; ${f.pairs.length} similar pair${f.pairs.length === 1 ? '' : 's'}` +
      (f.problems.length ? `; ${f.problems.length} problem${f.problems.length === 1 ? '' : 's'}: ${f.problems.join('; ')}` : '') + '.';
    $('class-state').textContent = text;
    say(text);
  });
  function download(name, text, type) {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([text], { type }));
    link.download = name;
    link.click();
    URL.revokeObjectURL(link.href);
  }
  $('save-class-report').addEventListener('click', () => classAnswer && download('class-report.html', classAnswer.html, 'text/html'));
  $('save-class-json').addEventListener('click', () => classAnswer && download('class-report.json', JSON.stringify(classAnswer.figures, null, 1), 'application/json'));
  store.on(Events.CasesOpened, classReady);
}
