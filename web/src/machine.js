// The machine pane: the debug adapter on the program, and what the page
// shows of it: the registers and why a run stopped, the Last step region
// and the datapath, the listing, a fault, Run to end's progress; the
// commands Step, Run (held), Run to end, Stop, Step back, Reverse continue,
// Animate and Reset; the memory grid's words, read from the adapter, with
// their data breakpoints (Break on write), and who wrote a word: the step
// that last stored to it, or all of them.
import { debugAdapter } from './servers.js';
import { accessMarks, drawDatapath, stepHead, touchedLines } from './step_view.js';
import { Events } from './store.js';

const $ = (id) => document.getElementById(id);
const programPath = '/program.ram';

/// Wires the machine pane to the store; memory is the memory grid it feeds.
/// Returns launch(), which loads the program into the machine.
export function createMachine(store, memory) {
  const say = (text) => store.dispatch(Events.Say, { text });

  let launched = false;
  let outOfDate = false;
  let ended = false;
  let touched = false; // anything ran or changed since the program was loaded
  let lastCommand = null; // the step command whose stop is awaited
  // A load is over when its entry stop has come (after the response, for a
  // restart): until then a run must not start, or that stop would be taken
  // for the run's.
  let entryWaiters = [];
  const nextEntry = () => new Promise((resolve) => entryWaiters.push(resolve));
  const dap = debugAdapter((event, body) => {
    if (event === 'stopped' && body.reason === 'entry') for (const resolve of entryWaiters.splice(0)) resolve();
    if (event === 'stopped') showState(body);
    else if (event === 'progressStart' || event === 'progressUpdate') showProgress(body);
    else if (event === 'progressEnd') $('progress').textContent = '';
    else if (event === 'exited') {
      ended = true;
      setRunning(false);
      say(`The program is over (exit status ${body.exitCode}): Reset loads it again.`);
    }
    else if (event === 'output' && body.category === 'stderr') say(body.output.trim());
  }, (why) => say(`The debug adapter failed: ${why}`));

  // An edit to a program nobody has run yet goes into the machine at once;
  // one that has run keeps its state until Reset, as in the window.
  let reloadTimer = null;
  function machineOutOfDate() {
    if (!launched) return;
    if (!touched && !running) {
      clearTimeout(reloadTimer);
      reloadTimer = setTimeout(() => { reloadTimer = null; if (!touched && !running) launch(); }, 300);
      return;
    }
    if (outOfDate) return;
    outOfDate = true;
    $('machine-state').textContent = 'The program changed: Reset loads it.';
  }

  // What a command waits for: a load under way, and one an edit has asked
  // for but not yet started (a click straight after typing runs the text as
  // typed, not the one before it).
  function loaded() {
    if (reloadTimer !== null) {
      clearTimeout(reloadTimer);
      reloadTimer = null;
      if (!touched && !running) launch();
    }
    return loading;
  }

  // Loads the editor's text into the machine; false, with the reason said,
  // when it does not load. Loads overlap when the text changes quickly: the
  // last one wins.
  let initialized = false;
  let loading = Promise.resolve(true);
  function launch() {
    loading = loading.then(async () => {
      dap.writeFile(programPath, store.get().program.text);
      try {
        await load();
        return true;
      } catch (error) {
        launched = false;
        say(`The program does not load: ${error.message.replace(`${programPath}:`, 'line ')}`);
        $('machine-state').textContent = 'The program does not load: the Problems list says why.';
        return false;
      }
    });
    return loading;
  }

  async function load() {
    if (!initialized) {
      // ?progress=off is for the page's benchmark: Run to end without its updates.
      const progress = new URLSearchParams(location.search).get('progress') !== 'off';
      await dap.request('initialize', { adapterID: 'wren-ram', linesStartAt1: true, supportsProgressReporting: progress });
      initialized = true;
      dap.request('instructions').then(({ instructions }) => store.dispatch(Events.Reference, { instructions })).catch(() => {});
    }
    const entered = nextEntry();
    if (!launched) {
      await dap.request('launch', { program: programPath, stopOnEntry: true });
      await sendBreakpoints();
      await sendDataBreakpoints();
      await dap.request('configurationDone');
      launched = true;
    } else {
      await dap.request('restart');
    }
    await entered;
    outOfDate = false;
    ended = false;
    touched = false;
    $('fault').hidden = true;
    $('machine-state').textContent = '';
  }

  const sendBreakpoints = () => dap.request('setBreakpoints', {
    source: { path: programPath }, breakpoints: [...store.get().breakpoints].map((line) => ({ line })),
  });


  const sendDataBreakpoints = () => dap.request('setDataBreakpoints', {
    breakpoints: [...store.get().dataBreakpoints].map((address) => ({ dataId: String(address), accessType: 'write' })),
  });

  let running = false;
  let stopping = false; // Stop was asked for; the adapter has not stopped yet
  function setRunning(on) {
    running = on;
    stopping = false;
    $('stop').textContent = 'Stop';
    $('stop').disabled = !on;
    for (const id of ['step', 'run-to-end', 'step-back', 'reverse-continue', 'reset']) $(id).disabled = on;
    if (!on) $('progress').textContent = '';
    store.dispatch(Events.Running, { on, rate: '' });
  }

  // Why Run to end stopped, in the Status under the registers.
  function stopLine(stopped, command) {
    if (command === 'reverseContinue' && stopped.reason === 'step') return 'Back at the oldest step kept: no breakpoint or Break on write before it.';
    const capital = (text) => text.charAt(0).toUpperCase() + text.slice(1);
    switch (stopped.reason) {
      case 'end': return `The program ended: ${stopped.description}.`;
      case 'endless loop': return `${capital(stopped.description)}: the program would never end.`;
      case 'exception': return `Machine fault: ${stopped.description}.`;
      case 'pause': return 'Stopped.';
      case 'breakpoint': case 'instruction breakpoint': return 'Stopped at a breakpoint.';
      case 'data breakpoint': return command === 'reverseContinue' ? 'Back at the last store to a word with Break on write.' : 'Stopped: a watched word changed.';
      default: return '';
    }
  }

  function showRegisters(value) {
    $('status-pc').textContent = `PC: ${value.PC}`;
    $('status-a').textContent = `A: ${value.A}`;
    $('status-v').textContent = `V: ${value.V}`;
    $('status-cycles').textContent = `Cycles: ${value.Cycles}`;
  }

  // While Run to end goes on: the registers, the steps and their rate.
  let rateFrom = null;
  function showProgress(body) {
    if (!running || stopping) return;
    const now = performance.now();
    const r = body.registers;
    showRegisters({ PC: r.PC, A: r.A, V: r.V ? 'True' : 'False', Cycles: r.Cycles });
    let rate = '';
    if (rateFrom && now > rateFrom.at) rate = `${((body.steps - rateFrom.steps) / ((now - rateFrom.at) / 1000) / 1e6).toFixed(1)} M steps/s`;
    rateFrom = { at: now, steps: body.steps };
    $('progress').textContent = `Running to the end: ${body.steps.toLocaleString('en')} steps${rate ? ` · ${rate}` : ''} · Stop (Shift+F5) to pause`;
    store.dispatch(Events.Running, { on: true, rate });
  }

  // The step the machine pane explains: the one that just ran, or after Step
  // back, Reset or a load, the one that comes next.
  function showStep(step, kind) {
    const head = $('last-step-head');
    const text = $('last-step-text');
    const marks = accessMarks(step);
    for (const id of ['status-pc', 'status-a', 'status-v', 'status-cycles']) delete $(id).dataset.access;
    if (!step) {
      head.textContent = 'Last step';
      text.textContent = 'Nothing has run yet.';
    } else {
      head.textContent = `${kind}: ${stepHead(step)}`;
      text.textContent = step.text;
      if (kind === 'Last step') {
        const reg = { A: 'status-a', PC: 'status-pc', V: 'status-v', Cycles: 'status-cycles' };
        for (const r of step.reads) if (reg[r.what]) $(reg[r.what]).dataset.access = 'read';
        for (const w of step.writes) if (reg[w.what]) $(reg[w.what]).dataset.access = 'write';
      }
    }
    const wires = drawDatapath($('datapath'), kind === 'Last step' ? step : null,
      step ? `${kind}: ${stepHead(step)}. ${step.text}` : 'Nothing has run yet.');
    $('datapath').dataset.lit = wires.join(' ');
    return marks;
  }

  // A state being drawn when a run starts is dropped: the run's own stop
  // draws the state it leaves. Its requests may then be refused (the machine
  // is running), which is no failure.
  let shownTicket = 0;
  async function showState(stopped) {
    const ticket = ++shownTicket;
    try {
      await drawState(stopped, ticket);
    } catch (error) {
      if (ticket === shownTicket && !running) say(error.message);
    }
  }
  async function drawState(stopped, ticket) {
    setRunning(false);
    const command = lastCommand;
    lastCommand = null;
    const stale = () => ticket !== shownTicket;
    const scopes = await dap.request('scopes', { frameId: 1 });
    const { variables } = await dap.request('variables', { variablesReference: scopes.scopes[0].variablesReference });
    if (stale()) return;
    showRegisters(Object.fromEntries(variables.map((v) => [v.name, v.value])));
    const { text, wrote, last, next } = await dap.request('listing');
    // A stop at a step gone back to says which store it was.
    const told = stopped?.reason === 'goto' ? await gotoTold : '';
    if (stale()) return;
    $('listing').textContent = text;
    const ahead = !stopped || stopped.reason === 'entry' || command === 'stepBack';
    const step = ahead ? next : stopped.step ?? last;
    const kind = ahead ? (command === 'stepBack' ? 'Next step (after Step back)' : 'Next step') : 'Last step';
    const marks = showStep(step, kind);
    await memory.refresh((stopped?.reason === 'step' || stopped?.reason === 'goto') && !ahead ? wrote : null, marks);
    const { stackFrames } = await dap.request('stackTrace', { threadId: 1 });
    if (stale()) return;
    const lines = kind === 'Last step' ? touchedLines(step) : { ran: null, touched: [] };
    store.dispatch(Events.MachineShown, {
      pc: stackFrames[0]?.line ?? 0, ...lines,
      stop: stopped ? { reason: stopped.reason, description: stopped.description ?? '' } : null,
    });
    if (stopped?.reason === 'exception') {
      $('fault').textContent = stopped.description ?? 'machine fault';
      $('fault').hidden = false;
    }
    const line = told || (stopped ? stopLine(stopped, command) : '');
    if (!outOfDate) $('machine-state').textContent = line;
    // Held Run's and Animate's steps are not announced one by one; their end and faults are.
    // A step is said in words (the registers' line would repeat its PC);
    // any other stop with the line under the registers and PC.
    if (stopped && stopped.reason !== 'entry' && (line || (!holding && !animating)))
      say(!line && stopped.reason === 'step' && step?.spoken ? `${step.instruction}: ${step.spoken}`
        : `${line || (stopped.reason === 'step' ? `Stepped: ${step?.text ?? ''}` : 'At the start.')} ${$('status-pc').textContent}`);
  }

  async function step(command) {
    await loaded(); // a load under way (the page's first, say) finishes first
    if ((!launched || ended) && !(await launch())) return;
    touched = true;
    lastCommand = command;
    await dap.request(command, { threadId: 1 }).catch((e) => say(e.message));
  }
  async function runToEnd() {
    if (running) return;
    await loaded(); // a load under way (the page's first, say) finishes first
    if ((!launched || ended) && !(await launch())) return;
    touched = true;
    rateFrom = null;
    ++shownTicket;
    setRunning(true);
    $('progress').textContent = 'Running to the end… Stop (Shift+F5) to pause';
    await dap.request('continue', { threadId: 1 }).catch((e) => { setRunning(false); say(e.message); });
  }
  // The run is shown stopped only when the adapter says it has stopped (its
  // stopped event); until then the page says it is stopping, and no progress
  // from before the stop is drawn over the state it stopped in.
  function stopRun() {
    if (!running || stopping) return;
    stopping = true;
    $('stop').disabled = true;
    $('stop').textContent = 'Stopping…';
    $('progress').textContent = 'Stopping…';
    dap.request('pause', { threadId: 1 }).catch(() => {});
  }
  $('step').addEventListener('click', () => step('next'));
  $('step-back').addEventListener('click', () => step('stepBack'));
  $('reverse-continue').addEventListener('click', () => step('reverseContinue'));
  $('run-to-end').addEventListener('click', runToEnd);
  $('stop').addEventListener('click', stopRun);


  // Run, held: one instruction every 20 ms while the button is down, as in
  // the window; its caption says how to stop.
  let holding = null;
  async function hold() {
    if (holding || running) return;
    await loaded();
    if (!launched && !(await launch())) return;
    touched = true;
    $('run').textContent = 'Release to stop';
    let busy = false;
    holding = setInterval(async () => {
      if (busy) return;
      busy = true;
      await dap.request('next', { threadId: 1 }).catch(() => {});
      busy = false;
    }, 20);
  }
  function release() {
    if (!holding) return;
    clearInterval(holding);
    holding = null;
    $('run').textContent = 'Run';
    say(`Released: ${$('status-pc').textContent}`);
  }
  $('run').addEventListener('pointerdown', hold);
  $('run').addEventListener('keydown', (e) => { if (!e.repeat && (e.key === ' ' || e.key === 'Enter')) { e.preventDefault(); hold(); } });
  for (const type of ['pointerup', 'pointerleave', 'pointercancel', 'keyup', 'blur']) $('run').addEventListener(type, release);

  // Animate: steps on their own at the speed chosen, each one explained; a
  // step that ends the program, faults or hits a breakpoint ends it.
  let animating = null;
  const speed = () => Number($('speed').value);
  $('speed').addEventListener('input', () => {
    $('speed-value').textContent = `${speed()}/s`;
    if (animating) { stopAnimation(); animate(); }
  });
  async function animate() {
    if (animating || running) return;
    await loaded(); // a load under way (the page's first, say) finishes first
    if ((!launched || ended) && !(await launch())) return;
    touched = true;
    $('animate').setAttribute('aria-pressed', 'true');
    $('animate').textContent = 'Stop animation';
    let busy = false;
    const started = performance.now();
    let done = 0;
    const tick = async () => {
      if (!animating || busy) return;
      // Steps keep to the clock, not to the timer, which may lag.
      const due = Math.floor(((performance.now() - started) / 1000) * speed()) + 1;
      if (done >= due) return;
      busy = true;
      ++done;
      const answer = await dap.request('next', { threadId: 1 }).catch(() => null);
      busy = false;
      if (answer === null || ended) stopAnimation();
    };
    animating = setInterval(tick, Math.min(20, 1000 / speed()));
    tick();
  }
  function stopAnimation() {
    if (!animating) return;
    clearInterval(animating);
    animating = null;
    $('animate').setAttribute('aria-pressed', 'false');
    $('animate').textContent = 'Animate';
  }
  $('animate').addEventListener('click', () => (animating ? stopAnimation() : animate()));

  // Reset, as in the window, clears A, PC, V and the cycles and keeps memory;
  // a changed program, or one that is over, is loaded again instead.
  // A command that comes while Reset is under way waits for it, as for a load.
  $('reset').addEventListener('click', async () => {
    stopAnimation();
    $('fault').hidden = true;
    await loaded();
    if (!launched || ended || outOfDate) {
      await launch();
      return;
    }
    loading = loading.then(async () => {
      const scopes = await dap.request('scopes', { frameId: 1 });
      const registers = scopes.scopes[0].variablesReference;
      for (const [name, value] of [['A', '0'], ['PC', '0'], ['V', 'False'], ['Cycles', '0']])
        await dap.request('setVariable', { variablesReference: registers, name, value });
      await showState(null);
      say('Reset: A, PC, V and Cycles are 0; memory is as the program left it.');
      return true;
    }).catch((error) => { say(error.message); return false; });
  });

  // Memory words, read from the adapter's memory scope.
  memory.setAdapter({
    async setWord(address, value) {
      if (!launched && !(await launch())) return;
      touched = true;
      await dap.request('setVariable', { variablesReference: 2, name: String(address), value });
    },
  });
  memory.setSource(async (start, count) => {
    if (!launched) return [];
    return (await dap.request('variables', { variablesReference: 2, start, count })).variables;
  });


  // ---- A word's stores, and Break on write.

  // What the stop at a step gone back to says, once the request that went
  // there has answered: set before the request, since its stop may come
  // before the answer is read.
  let gotoTold = Promise.resolve('');
  const since = (step) => (step === 0 ? 'the program was loaded' : `step ${step.toLocaleString('en')}, when the machine was last changed by hand`);
  const storeText = (address, w) => `step ${w.step.toLocaleString('en')}${w.line ? ` (line ${w.line})` : ''}: STAm ${address} stored ${w.value} over ${w.old}`;

  // The machine at rest, loaded: what a word's questions need.
  async function atRest() {
    await loaded();
    if (!launched && !(await launch())) return false;
    if (running) {
      store.dispatch(Events.Refuse, { text: 'The program is running: Stop it first.' });
      return false;
    }
    return true;
  }

  async function whoWrote(address) {
    if (!(await atRest())) return;
    let answered;
    gotoTold = new Promise((resolve) => { answered = resolve; });
    lastCommand = 'goto';
    const body = await dap.request('whoWrote', { address }).catch((error) => { say(error.message); return null; });
    if (!body?.write) {
      answered('');
      lastCommand = null;
      if (body) {
        const text = `Nothing has stored to word ${address} since ${since(body.since)}: it holds ${body.since === 0 ? 'what the program gave it' : 'what it was given'}.`;
        $('machine-state').textContent = text;
        say(text);
      }
      return;
    }
    touched = true;
    answered(`Word ${address} was last written by ${storeText(address, body.write)}. The machine is back just after it.`);
  }

  /// A page of a word's stores, newest first, before step `before` (0: all).
  async function wordHistory(address, before = 0) {
    if (!(await atRest())) return null;
    return dap.request('wordHistory', { address, count: 50, before });
  }

  /// Back to just after the store write (an entry of wordHistory's) to address.
  async function goToStore(address, write) {
    if (!(await atRest())) return;
    gotoTold = Promise.resolve(`Back at ${storeText(address, write)}.`);
    lastCommand = 'goto';
    touched = true;
    await dap.request('goToStep', { step: write.step }).catch((error) => say(error.message));
  }

  function toggleWatch(address) {
    store.dispatch(Events.ToggleDataBreakpoint, { address });
    const on = store.get().dataBreakpoints.has(address);
    say(on ? `Break on write on word ${address}: Run to end stops after a step stores to it.` : `No break on write on word ${address}.`);
  }
  const showWatchButton = () => {
    const { dataBreakpoints, selectedWord } = store.get();
    $('break-on-write').setAttribute('aria-pressed', String(dataBreakpoints.has(selectedWord)));
    $('break-on-write').title = `Break on write (Shift+F9): Run to end stops after a step stores to word ${selectedWord}, the selected memory word`;
  };
  $('break-on-write').addEventListener('click', () => toggleWatch(store.get().selectedWord));
  store.on(Events.ToggleDataBreakpoint, () => {
    memory.setWatched(store.get().dataBreakpoints);
    showWatchButton();
    loaded().then(() => { if (launched) sendDataBreakpoints(); });
  });
  store.on(Events.WordSelected, showWatchButton);
  store.on(Events.WordAsked, ({ address, what }) => {
    if (what === 'who-wrote') whoWrote(address);
    else if (what === 'watch') toggleWatch(address);
  });
  memory.setAdapter({
    ask: (address, what) => store.dispatch(Events.WordAsked, { address, what }),
    selected: (address) => store.dispatch(Events.WordSelected, { address }),
  });

  // ---- What the other panes ask of the machine.

  store.on(Events.ProgramEdited, machineOutOfDate);
  // A program opened, chosen or shared goes into the machine at once.
  store.on(Events.ProgramReplaced, () => launch());
  // A breakpoint set while a load is under way goes to the adapter once it
  // is done (the load's own setBreakpoints may have gone before the click),
  // and before any command that waits for the same load.
  store.on(Events.BreakpointsChanged, () => { loaded().then(() => { if (launched) sendBreakpoints(); }); });
  const commands = {
    step: () => step('next'),
    'step-back': () => step('stepBack'),
    'run-to-end': runToEnd,
    stop: stopRun,
    'reverse-continue': () => step('reverseContinue'),
    'break-on-write': () => toggleWatch(store.get().selectedWord),
  };
  store.on(Events.Command, ({ name }) => commands[name]?.());
  // A failing case: the program loaded afresh, its inputs written, ready to
  // step; after a load asked for just before (a link's program), not before.
  store.on(Events.OpenCase, async ({ name, sets }) => {
    stopAnimation();
    if (!(await launch())) return;
    loading = loading.then(async () => {
      for (const [address, value] of sets)
        await dap.request('setVariable', { variablesReference: 2, name: String(address), value: String(value) });
      touched = true;
      await showState(null);
      const words = sets.map(([address, value]) => `${address}=${value}`).join(' ');
      $('machine-state').textContent = `Case "${name}": ${words || 'no input words'}. Step, or Run to end, to see its run.`;
      say(`Opened the case ${name} in the machine${words ? ` with ${words}` : ''}.`);
      return true;
    }).catch((error) => { say(error.message); return false; });
  });
  return { launch, wordHistory, goToStore };
}
