// The page's store: each event changes the state as its catalogue says and
// reaches the panes that listen to it, in the order they listen; a name not
// in the catalogue is refused, so that a misspelt event fails at once
// instead of reaching nobody.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { Events, createStore } from '../../web/src/store.js';

test('events change the state, in order, and tell their listeners', () => {
  const store = createStore('LDAi 1\n');
  const heard = [];
  for (const event of [Events.ProgramEdited, Events.ProgramReplaced, Events.ToggleBreakpoint, Events.BreakpointsChanged])
    store.on(event, (detail, state) => heard.push([event, JSON.stringify(detail), state.program.saved]));
  store.dispatch(Events.ProgramEdited, { text: 'LDAi 2\n' });
  assert.deepEqual(store.get().program, { text: 'LDAi 2\n', name: 'program.ram', saved: false });
  store.dispatch(Events.ProgramReplaced, { text: 'ADDi 3\n', name: 'add.ram' });
  assert.deepEqual(store.get().program, { text: 'ADDi 3\n', name: 'add.ram', saved: true });
  store.dispatch(Events.ToggleBreakpoint, { line: 4 });
  store.dispatch(Events.ToggleBreakpoint, { line: 2 });
  store.dispatch(Events.ToggleBreakpoint, { line: 4 });
  assert.deepEqual([...store.get().breakpoints], [2]);
  assert.deepEqual(heard.map(([e, d]) => `${e} ${d}`), [
    'program-edited {"text":"LDAi 2\\n"}',
    'program-replaced {"text":"ADDi 3\\n","name":"add.ram"}',
    'toggle-breakpoint {"line":4}', 'breakpoints-changed {"lines":[4]}',
    'toggle-breakpoint {"line":2}', 'breakpoints-changed {"lines":[4,2]}',
    'toggle-breakpoint {"line":4}', 'breakpoints-changed {"lines":[2]}',
  ]);
  store.dispatch(Events.ProgramSaved, { name: 'mine.ram' });
  assert.deepEqual(store.get().program, { text: 'ADDi 3\n', name: 'mine.ram', saved: true });
  store.dispatch(Events.MachineShown, { pc: 1, stop: { reason: 'pause', description: '' } });
  store.dispatch(Events.MachineShown, { pc: 2, stop: null });
  assert.deepEqual(store.get().lastStop, { reason: 'pause', description: '' });
  store.dispatch(Events.CasesOpened, { path: '/cases/c.toml' });
  assert.equal(store.get().casePath, '/cases/c.toml');
});

test('a name not in the catalogue is refused', () => {
  const store = createStore('');
  assert.throws(() => store.dispatch('program-edit', {}), /no such event: program-edit/);
  assert.throws(() => store.on('replace', () => {}), /no such event: replace/);
});
