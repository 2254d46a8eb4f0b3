// The machine's keys, in the editor and everywhere else: F10 Step,
// Shift+F10 Step back, F5 Run to end, Shift+F5 Stop, Shift+F6 Reverse
// continue, Shift+F9 Break on write (the selected memory word), F1 help.
// The editor's own keys (F9, F12) are the editor's.
import { Events } from './store.js';

export function setUpKeys(store) {
  document.addEventListener('keydown', (e) => {
    if (e.defaultPrevented || e.ctrlKey || e.altKey || e.metaKey) return;
    const name = {
      F10: e.shiftKey ? 'step-back' : 'step',
      F5: e.shiftKey ? 'stop' : 'run-to-end',
      F6: e.shiftKey ? 'reverse-continue' : null,
      F9: e.shiftKey ? 'break-on-write' : null,
      F1: 'help',
    }[e.key];
    if (!name) return;
    e.preventDefault();
    store.dispatch(Events.Command, { name });
  });
}
