// The grading pane: a case file (with the files it names) put into the
// grader's worker, and the editor's program graded by the project's own
// grader, seed 1, case by case.
import { Events } from './store.js';

const $ = (id) => document.getElementById(id);

/// grading is the grader's worker bridge, which the class view shares.
export function setUpGrading(store, grading) {
  const say = (text) => store.dispatch(Events.Say, { text });
  $('open-cases').addEventListener('change', async (e) => {
    const files = [...e.target.files];
    e.target.value = '';
    const toml = files.find((f) => f.name.endsWith('.toml'));
    if (!toml) {
      $('cases-state').textContent = 'No case file (.toml) among the files picked.';
      return;
    }
    for (const file of files) grading.writeFile(`/cases/${file.name}`, await file.text());
    $('grade').disabled = false;
    store.dispatch(Events.CasesOpened, { path: `/cases/${toml.name}` });
    $('cases-state').textContent = `Cases: ${toml.name}` +
      (files.length > 1 ? `, with ${files.filter((f) => f !== toml).map((f) => f.name).join(', ')}` : '');
  });

  $('stop-grading').addEventListener('click', () => grading.cancel());
  $('grade').addEventListener('click', async () => {
    const { casePath, program } = store.get();
    if (!casePath) return;
    grading.writeFile('/submission.ram', program.text);
    // A case of a million inputs takes a while: how far it is, and Stop.
    $('grade').disabled = true;
    $('stop-grading').hidden = false;
    $('grade-progress').hidden = false;
    $('grade-progress').textContent = 'Grading…';
    let shown = 0;
    const answer = await grading.grade({ cases: casePath, program: '/submission.ram', seed: 1 }, (done, of) => {
      if (performance.now() - shown < 250) return;
      shown = performance.now();
      $('grade-progress').textContent = `Grading: ${done.toLocaleString('en')} of ${of.toLocaleString('en')} inputs of a case run`;
    });
    $('grade').disabled = false;
    $('stop-grading').hidden = true;
    $('grade-progress').hidden = !answer.stopped;
    const body = $('results').tBodies[0];
    if (answer.stopped) {
      body.replaceChildren();
      $('grade-progress').textContent = 'Grading stopped: nothing was scored. Grade starts again.';
      say('Grading stopped.');
      return;
    }
    if (answer.error) {
      body.replaceChildren();
      $('cases-state').textContent = answer.error;
      say(answer.error);
      return;
    }
    body.replaceChildren(...answer.results.flatMap((r) => {
      const row = document.createElement('tr');
      for (const text of [r.name, r.outcome, `${r.score}/${r.points}`]) {
        const cell = document.createElement('td');
        cell.textContent = text;
        row.append(cell);
      }
      // A hidden case shows its name, points and outcome only; a visible one
      // that failed opens in the machine with its inputs set, ready to step.
      const open = document.createElement('td');
      if (!r.hidden && r.outcome !== 'passed') row.title = r.output;
      if (r.sets) {
        const button = document.createElement('button');
        button.type = 'button';
        button.textContent = 'Open in the machine';
        button.setAttribute('aria-label', `Open ${r.name} in the machine`);
        button.addEventListener('click', () => store.dispatch(Events.OpenCase, { name: r.name, sets: r.sets }));
        open.append(button);
      }
      row.append(open);
      if (!r.found.trim()) return [row];
      // What the case found over its inputs, on a row of its own beneath.
      const found = document.createElement('tr');
      found.className = 'found';
      const cell = document.createElement('td');
      cell.colSpan = 4;
      cell.textContent = r.found.trim();
      found.append(cell);
      return [row, found];
    }));
    const passed = answer.results.filter((r) => r.outcome === 'passed').length;
    say(`Graded: ${answer.score}/${answer.maxScore} points, ${passed} of ${answer.results.length} cases passed.`);
  });
}
