// The page's state in one place, and the named events between its panes.
// A pane changes the state only by dispatching one of these events; the
// store applies it, then tells every pane that listens to that name. No pane
// reaches into another pane's DOM: what one needs of another goes through
// here.

/// Every event a pane may dispatch, with what it carries.
export const Events = Object.freeze({
  // The program.
  ReplaceProgram: 'replace-program', // {text, name, saved}: a file, an example, a link or Recent asks for the editor's text
  ProgramReplaced: 'program-replaced', // {text, name, saved}: the editor holds it now
  ProgramEdited: 'program-edited', // {text}: the student typed
  ProgramSaved: 'program-saved', // {name}: written to a file
  Kept: 'kept', // {ok}: the program written to this browser's Recent, or refused
  Diagnostics: 'diagnostics', // {errors, slips}: the language server's count
  // Breakpoints, by line (1-based).
  ToggleBreakpoint: 'toggle-breakpoint', // {line}
  BreakpointsChanged: 'breakpoints-changed', // {lines}
  // Memory words: a data breakpoint (break on write) toggled, the word the
  // grid has selected, and a question about a word's stores.
  ToggleDataBreakpoint: 'toggle-data-breakpoint', // {address}
  WordSelected: 'word-selected', // {address}
  WordAsked: 'word-asked', // {address, what: 'who-wrote' | 'history'}
  // The machine.
  Command: 'command', // {name: 'step' | 'step-back' | 'run-to-end' | 'stop' | 'reverse-continue' | 'break-on-write' | 'help'}
  MachineShown: 'machine-shown', // {pc, ran, touched, stop}: the lines to light for the state shown, and why it stopped
  Running: 'running', // {on, rate}: Run to end under way, and its rate
  Reference: 'reference', // {instructions}: the instruction reference, from the adapter
  // Grading.
  CasesOpened: 'cases-opened', // {path}: the case file the grader holds
  OpenCase: 'open-case', // {name, sets: [[address, value], ...]}: a failing case's inputs, to set in the machine
  // What the page says.
  Say: 'say', // {text}: announced to a screen reader
  Refuse: 'refuse', // {text}: announced, and shown under the toolbar
});

const known = new Set(Object.values(Events));

/// The state every pane may read: the program (its text, file name and
/// whether it was saved), the breakpoints (by line, and by memory word for
/// break on write), the memory word selected, whether a run is under way and
/// the machine's last stop ({reason, description}, null before any), the
/// grading session's case file.
function initialState(text, name, saved) {
  return {
    program: { text, name, saved },
    breakpoints: new Set(),
    dataBreakpoints: new Set(),
    selectedWord: 0,
    running: false,
    lastStop: null,
    casePath: null,
  };
}

// How each event changes the state; events that only tell leave it alone.
function reduce(state, event, detail) {
  switch (event) {
    case Events.ProgramReplaced:
      return { ...state, program: { text: detail.text, name: detail.name, saved: detail.saved ?? true } };
    case Events.ProgramEdited:
      return { ...state, program: { ...state.program, text: detail.text, saved: false } };
    case Events.ProgramSaved:
      return { ...state, program: { ...state.program, name: detail.name, saved: true } };
    case Events.ToggleBreakpoint: {
      const breakpoints = new Set(state.breakpoints);
      if (breakpoints.has(detail.line)) breakpoints.delete(detail.line);
      else breakpoints.add(detail.line);
      return { ...state, breakpoints };
    }
    case Events.ToggleDataBreakpoint: {
      const dataBreakpoints = new Set(state.dataBreakpoints);
      if (dataBreakpoints.has(detail.address)) dataBreakpoints.delete(detail.address);
      else dataBreakpoints.add(detail.address);
      return { ...state, dataBreakpoints };
    }
    case Events.WordSelected:
      return { ...state, selectedWord: detail.address };
    case Events.Running:
      return { ...state, running: detail.on };
    case Events.MachineShown:
      return { ...state, lastStop: detail.stop ?? state.lastStop };
    case Events.CasesOpened:
      return { ...state, casePath: detail.path };
    default:
      return state;
  }
}

/// The store: get() reads the state, dispatch(event, detail) changes it
/// and tells the listeners, on(event, listener) listens.
export function createStore(text, name = 'program.ram', saved = true) {
  let state = initialState(text, name, saved);
  const listeners = new Map();
  const store = {
    get: () => state,
    dispatch(event, detail = {}) {
      if (!known.has(event)) throw new Error(`no such event: ${event}`);
      state = reduce(state, event, detail);
      for (const listener of listeners.get(event) ?? []) listener(detail, state);
      // A toggled breakpoint is told as the set it leaves.
      if (event === Events.ToggleBreakpoint) store.dispatch(Events.BreakpointsChanged, { lines: [...state.breakpoints] });
    },
    on(event, listener) {
      if (!known.has(event)) throw new Error(`no such event: ${event}`);
      if (!listeners.has(event)) listeners.set(event, []);
      listeners.get(event).push(listener);
    },
  };
  return store;
}
