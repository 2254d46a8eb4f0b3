// The teacher's check of a case file: its model answer changed in small
// ways, each graded with all the cases by the same C++ in the grader's
// worker; the changes every case lets through are listed with what no case
// does that would catch them.
import { Events } from './store.js';

const $ = (id) => document.getElementById(id);

/// grading is the grader's worker bridge, shared with the grading pane.
export function setUpCaseCheck(store, grading) {
  const say = (text) => store.dispatch(Events.Say, { text });
  let answer = null;
  const ready = () => { $('check-cases').disabled = !store.get().casePath; };
  $('check-cases').addEventListener('click', async () => {
    const { casePath } = store.get();
    if (!casePath) return;
    $('check-cases').disabled = true;
    $('save-check').disabled = true;
    $('check-survivors').replaceChildren();
    $('check-state').textContent = 'Checking the cases…';
    $('stop-check').hidden = false;
    const got = await grading.grade({ check: { cases: casePath, seed: 1 } }, (done, of) => {
      $('check-state').textContent = `Checking change ${done + 1} of ${of}…`;
    });
    ready();
    $('stop-check').hidden = true;
    if (got.stopped) {
      $('check-state').textContent = 'Checking stopped.';
      return;
    }
    if (got.error) {
      $('check-state').textContent = got.error;
      say(got.error);
      return;
    }
    answer = got;
    const { check } = got;
    $('check-survivors').replaceChildren(...check.survivors.map((s) => {
      const item = document.createElement('li');
      const change = document.createElement('code');
      change.textContent = `${s.line}: ${s.before} -> ${s.after}`;
      item.append(change, `: ${s.hint}`);
      return item;
    }));
    const text = `${got.line[0].toUpperCase()}${got.line.slice(1)}` +
      (check.survivors.length ? `; every case lets ${check.survivors.length} through.` : '.');
    $('check-state').textContent = text;
    $('save-check').disabled = false;
    say(text);
  });
  $('stop-check').addEventListener('click', () => grading.cancel());
  $('save-check').addEventListener('click', () => {
    if (!answer) return;
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([JSON.stringify(answer.check)], { type: 'application/json' }));
    link.download = 'case-check.json';
    link.click();
    URL.revokeObjectURL(link.href);
  });
  store.on(Events.CasesOpened, ready);
}
