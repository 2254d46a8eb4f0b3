// What the page tells: the status line (the file, whether it changed, the
// slips, Run to end's rate), the announcements a screen reader hears, and
// refusals, which are also shown under the toolbar until the next file, link
// or refusal.
import { Events } from './store.js';

const $ = (id) => document.getElementById(id);

export function setUpStatusLine(store) {
  const say = (text) => { $('announce').textContent = text; };
  store.on(Events.Say, ({ text }) => say(text));
  // An empty refusal takes the one shown away.
  store.on(Events.Refuse, ({ text }) => {
    if (text) say(text);
    $('refusal').textContent = text;
    $('refusal').hidden = !text;
  });

  const fileSaved = (name, how) => {
    $('file-name').textContent = name;
    $('file-state').textContent = how;
  };
  store.on(Events.ProgramReplaced, ({ name }) => {
    store.dispatch(Events.Refuse, { text: '' });
    fileSaved(name, `opened ${name}`);
    say(`Opened ${name}`);
  });
  store.on(Events.ProgramSaved, ({ name }) => fileSaved(name, 'saved'));
  // Told after the program was written to Recent (or was not): a copy in
  // the browser is not a file, and the words say so.
  let toldNothingKept = false;
  store.on(Events.Kept, ({ ok }) => {
    if (store.get().program.saved) return;
    $('file-state').textContent = ok ? 'changed, not saved to a file (a copy is in Recent)'
      : 'changed, not saved to a file: this browser keeps nothing, so use Save';
    if (!ok && !toldNothingKept) {
      toldNothingKept = true;
      say('This browser will not keep your program (its storage is full or switched off): use Save to keep it in a file.');
    }
  });
  store.on(Events.Diagnostics, ({ errors, slips }) => {
    $('slips').textContent = [errors && `${errors} error${errors > 1 ? 's' : ''}`, slips && `${slips} slip${slips > 1 ? 's' : ''}`].filter(Boolean).join(', ') || 'no slips';
  });
  store.on(Events.Running, ({ rate }) => { $('rate').textContent = rate; });
  return say;
}
