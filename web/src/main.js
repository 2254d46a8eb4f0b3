// The page: a CodeMirror editor that speaks to the language server, and a
// machine pane that speaks to the debug adapter. Everything the page shows
// comes from those servers; the page itself only renders and asks.
import { EditorState, StateEffect, StateField, RangeSet } from '@codemirror/state';
import { Decoration, EditorView, GutterMarker, gutter, hoverTooltip, keymap, lineNumbers } from '@codemirror/view';
import { HighlightStyle, StreamLanguage, syntaxHighlighting } from '@codemirror/language';
import { tags } from '@lezer/highlight';
import { defaultKeymap, history, historyKeymap } from '@codemirror/commands';
import { lintKeymap, setDiagnostics } from '@codemirror/lint';
import { memoryGrid } from './memory.js';
import { debugAdapter, grader, languageServer } from './servers.js';
import { accessMarks, drawDatapath, stepHead, touchedLines } from './step_view.js';
import { setUpLayout } from './layout.js';
import { unzipSync } from 'fflate';

const $ = (id) => document.getElementById(id);
const uri = 'file:///program.ram';
const programPath = '/program.ram';
const say = (text) => { $('announce').textContent = text; };
// A refusal is said, and shown where the eye is: under the toolbar's
// controls, until the next file, link or refusal.
const refuse = (text) => { say(text); $('refusal').textContent = text; $('refusal').hidden = false; };
const clearRefusal = () => { $('refusal').textContent = ''; $('refusal').hidden = true; };

// ---- Addresses: the language server's address hints, one marker a line.

const setAddresses = StateEffect.define();
const breakpoints = new Set(); // lines, 1-based
class AddressMarker extends GutterMarker {
  constructor(line, address) { super(); this.line = line; this.address = address; this.set = breakpoints.has(line); }
  eq(other) { return other.line === this.line && other.address === this.address && other.set === this.set; }
  toDOM() {
    const el = document.createElement('span');
    el.className = this.set ? 'wren-address wren-breakpoint' : 'wren-address';
    el.title = this.set ? 'Breakpoint: click to remove' : 'Click for a breakpoint';
    el.dataset.line = String(this.line);
    el.dataset.address = String(this.address);
    el.textContent = `${this.address}:`;
    return el;
  }
}
const addressField = StateField.define({
  create: () => RangeSet.empty,
  update(markers, tr) {
    for (const effect of tr.effects) if (effect.is(setAddresses)) return effect.value;
    return markers.map(tr.changes);
  },
});
function addressMarkers(doc, hints) {
  const first = new Map();
  for (const hint of hints) {
    const label = String(hint.label).replace(/\u2007/g, '');
    if (!label.endsWith(':')) continue;
    const line = hint.position.line + 1;
    if (!first.has(line) && line <= doc.lines) first.set(line, Number(label.slice(0, -1)));
  }
  return RangeSet.of([...first].sort((a, b) => a[0] - b[0])
    .map(([line, address]) => new AddressMarker(line, address).range(doc.line(line).from)));
}

// ---- The language server.

let version = 1;
let lspReady = false; // initialized, and the document opened
const lsp = languageServer((method, params) => {
  if (method === 'textDocument/publishDiagnostics' && params.version === version) showDiagnostics(params.diagnostics);
}, (why) => say(`The language server failed: ${why}`));

function position(doc, p) {
  const line = doc.line(Math.min(p.line + 1, doc.lines));
  return Math.min(line.from + p.character, line.to);
}

// The server's quick fixes for the whole text, each with the diagnostic it
// mends, as CodeMirror actions that apply the server's edits.
async function quickFixes(shownVersion) {
  const doc = view.state.doc;
  const actions = await lsp.request('textDocument/codeAction', {
    textDocument: { uri },
    range: { start: { line: 0, character: 0 }, end: { line: doc.lines, character: 0 } },
    context: { diagnostics: [] },
  }).catch(() => []);
  const byRange = new Map();
  for (const action of actions ?? []) {
    const key = JSON.stringify(action.diagnostics?.[0]?.range);
    if (!byRange.has(key)) byRange.set(key, []);
    byRange.get(key).push({
      name: action.title,
      apply(v) {
        if (version !== shownVersion) return; // the text moved on: ask again
        const changes = (action.edit?.changes?.[uri] ?? []).map((e) => ({
          from: position(v.state.doc, e.range.start), to: position(v.state.doc, e.range.end), insert: e.newText,
        }));
        v.dispatch({ changes });
        say(`Applied: ${action.title}`);
      },
    });
  }
  return byRange;
}

async function showDiagnostics(diagnostics) {
  const shownVersion = version;
  const fixes = await quickFixes(shownVersion);
  if (shownVersion !== version) return;
  const doc = view.state.doc;
  view.dispatch(setDiagnostics(view.state, diagnostics.map((d) => ({
    from: position(doc, d.range.start), to: Math.max(position(doc, d.range.end), position(doc, d.range.start)),
    severity: d.severity === 1 ? 'error' : 'warning',
    message: d.message,
    actions: fixes.get(JSON.stringify(d.range)) ?? [],
  }))));
  const list = $('problems-list');
  list.replaceChildren(...diagnostics.map((d) => {
    const item = document.createElement('li');
    const [message] = d.message.split('\n');
    const kind = d.severity === 1 ? 'error' : 'warning';
    item.textContent = `${d.range.start.line + 1}:${d.range.start.character + 1}: ${kind}: ${message}` +
      (d.code ? ` [-W${d.code}]` : '');
    return item;
  }));
  $('problems-count').textContent = String(diagnostics.length);
  $('problems-box').open = diagnostics.length > 0;
  const errors = diagnostics.filter((d) => d.severity === 1).length;
  const slips = diagnostics.length - errors;
  $('slips').textContent = [errors && `${errors} error${errors > 1 ? 's' : ''}`, slips && `${slips} slip${slips > 1 ? 's' : ''}`].filter(Boolean).join(', ') || 'no slips';
}

// The gutter draws only the lines in view, so only their addresses are
// asked for (with a margin for scrolling): a long program's keystroke costs
// no more than a short one's. Scrolling asks again.
let asked = 0;
const kMarginLines = 100;
async function refreshAddresses() {
  const mine = ++asked;
  const doc = view.state.doc;
  const first = Math.max(0, doc.lineAt(view.viewport.from).number - 1 - kMarginLines);
  const last = Math.min(doc.lines, doc.lineAt(view.viewport.to).number + kMarginLines);
  const hints = await lsp.request('textDocument/inlayHint', {
    textDocument: { uri }, range: { start: { line: first, character: 0 }, end: { line: last, character: 0 } },
  });
  if (mine !== asked) return;
  view.dispatch({ effects: setAddresses.of(addressMarkers(view.state.doc, hints ?? [])) });
}

// ---- PC's line highlighted, and the lines the step shown ran and touched.

const setPcLine = StateEffect.define(); // {pc, ran, touched}
const pcField = StateField.define({
  create: () => Decoration.none,
  update(deco, tr) {
    for (const effect of tr.effects) {
      if (!effect.is(setPcLine)) continue;
      const { pc, ran, touched } = effect.value;
      const doc = tr.state.doc;
      const marks = new Map();
      for (const line of touched ?? []) marks.set(line, 'wren-touched');
      if (ran) marks.set(ran, 'wren-ran');
      if (pc) marks.set(pc, 'wren-pc');
      const ranges = [...marks].filter(([line]) => line >= 1 && line <= doc.lines).sort((a, b) => a[0] - b[0])
        .map(([line, cls]) => Decoration.line({ class: cls }).range(doc.line(line).from));
      return Decoration.set(ranges);
    }
    return deco.map(tr.changes);
  },
  provide: (f) => EditorView.decorations.from(f),
});

// ---- Colours: the token classes of the editors' grammars. A record starts
// a line or follows a comma: a comment ({ to the next comma), a quoted
// record, or a mnemonic (one of the nine, or a data label) and its operand.

const nine = /^(ADDm|ADDi|ADDpc|BVS|LDAm|LDAi|LDApc|STAm|STApc)(?= )/;
const wrenLanguage = StreamLanguage.define({
  startState: () => ({ at: 'record' }),
  token(stream, state) {
    if (stream.sol()) state.at = 'record';
    if (stream.eatSpace()) return null;
    if (stream.eat(',')) { state.at = 'record'; return 'punctuation'; }
    if (state.at === 'record') {
      if (stream.peek() === '{') { stream.match(/^[^,]*/); return 'comment'; }
      if (stream.peek() === '"') { stream.next(); state.at = 'quoted'; return 'string'; }
      state.at = 'operand';
      if (stream.match(nine)) return 'keyword';
      stream.match(/^[^ \t,{"]+/);
      return 'labelName';
    }
    if (state.at === 'quoted') {
      if (stream.eat('"')) { state.at = 'dropped'; return 'string'; }
      if (stream.match(nine)) return 'keyword';
      if (stream.match(/^[-+]?(&[Hh][0-9A-Fa-f]+|&[Oo][0-7]+|\d+(\.\d*)?([Ee][-+]?\d+)?)/)) return 'number';
      stream.match(/^[^",]+?(?=[ "]|$)/) || stream.next();
      return null;
    }
    if (state.at === 'dropped') { stream.match(/^[^,]*/); return 'invalid'; }
    if (stream.peek() === '{') { stream.match(/^[^,]*/); return 'comment'; }
    if (stream.match(/^[-+]?(&[Hh][0-9A-Fa-f]+|&[Oo][0-7]+|(\d+(\.\d*)?|\.\d+)([Ee][-+]?\d+)?)/)) return 'number';
    stream.match(/^[^,{]+/);
    return 'invalid';
  },
});
const wrenColours = HighlightStyle.define([
  { tag: tags.keyword, color: 'var(--kw)', fontWeight: 'bold' },
  { tag: tags.labelName, color: 'var(--label)' },
  { tag: tags.number, color: 'var(--num)' },
  { tag: tags.comment, color: 'var(--comment)', fontStyle: 'italic' },
  { tag: tags.string, color: 'var(--string)' },
  { tag: tags.invalid, color: 'var(--invalid)', textDecoration: 'underline' },
]);

// ---- Hover and go to definition, from the language server.

const lspPosition = (doc, pos) => {
  const line = doc.lineAt(pos);
  return { line: line.number - 1, character: pos - line.from };
};
const hover = hoverTooltip(async (v, pos) => {
  const answer = await lsp.request('textDocument/hover', { textDocument: { uri }, position: lspPosition(v.state.doc, pos) });
  if (!answer) return null;
  const line = v.state.doc.lineAt(pos);
  const word = wordAt(line.text, pos - line.from);
  const row = reference.get(word);
  return {
    pos,
    create() {
      const dom = document.createElement('div');
      dom.className = 'wren-hover';
      dom.textContent = (answer.contents.value ?? String(answer.contents)).replace(/\*\*|`/g, '');
      if (row) {
        const ref = document.createElement('span');
        ref.className = 'reference';
        ref.textContent = `${row.effect} · ${row.cycles} cycles`;
        dom.append(ref);
      }
      return { dom };
    },
  };
});
function wordAt(text, at) {
  let from = at;
  let to = at;
  while (from > 0 && /\w/.test(text[from - 1])) --from;
  while (to < text.length && /\w/.test(text[to])) ++to;
  return text.slice(from, to);
}
// The instruction reference, from the debug adapter: mnemonic -> row.
const reference = new Map();
async function goToDefinition(v) {
  const pos = v.state.selection.main.head;
  const found = await lsp.request('textDocument/definition', { textDocument: { uri }, position: lspPosition(v.state.doc, pos) });
  const target = Array.isArray(found) ? found[0] : found;
  if (!target) { say('No record there to go to.'); return true; }
  const at = position(v.state.doc, target.range.start);
  v.dispatch({ selection: { anchor: at }, scrollIntoView: true });
  say(`Line ${v.state.doc.lineAt(at).number}`);
  return true;
}

// ---- The editor.

const saved = localStorage.getItem('wren-program');
const view = new EditorView({
  parent: $('editor'),
  state: EditorState.create({
    doc: saved ?? '{ Count upwards in A\nLDAi 0\nADDi 1\nLDAi 2\nSTApc 0\n',
    extensions: [
      lineNumbers(),
      addressField,
      gutter({
        class: 'wren-addresses',
        markers: (v) => v.state.field(addressField),
        domEventHandlers: {
          mousedown(v, block, event) {
            const marker = event.target.closest?.('.wren-address');
            if (!marker) return false;
            toggleBreakpoint(Number(marker.dataset.line));
            return true;
          },
        },
      }),
      pcField,
      history(),
      wrenLanguage,
      syntaxHighlighting(wrenColours),
      hover,
      keymap.of([
        { key: 'F12', run: (v) => { goToDefinition(v); return true; } },
        { key: 'F9', run: (v) => { toggleBreakpoint(v.state.doc.lineAt(v.state.selection.main.head).number); return true; } },
        ...lintKeymap, ...defaultKeymap, ...historyKeymap,
      ]),
      // Tabbable already; said so, so that checkers see the scrolling
      // editor's keyboard way in.
      EditorView.contentAttributes.of({ 'aria-label': 'Program', tabindex: '0' }),
      EditorView.updateListener.of((update) => {
        if (update.viewportChanged && !update.docChanged && lspReady) refreshAddresses();
        if (!update.docChanged) return;
        const text = update.state.doc.toString();
        localStorage.setItem('wren-program', text);
        fileChanged();
        lsp.notify('textDocument/didChange', { textDocument: { uri, version: ++version }, contentChanges: [{ text }] });
        // Asked at once, not after the diagnostics: the server answers in
        // order, so the hints are for this text.
        refreshAddresses();
        machineOutOfDate();
      }),
      EditorView.domEventHandlers({
        keydown(e) { return machineKeys(e); },
      }),
    ],
  }),
});

lsp.request('initialize', { capabilities: {} }).then(() => {
  lspReady = true;
  lsp.notify('initialized', {});
  lsp.notify('textDocument/didOpen', { textDocument: { uri, languageId: 'wren-ram', version, text: view.state.doc.toString() } });
  refreshAddresses();
});

// ---- Files: open, save, the examples, and a link that carries the program.

/* global WREN_EXAMPLES */
// A program opened goes into the machine at once.
function replaceText(text, where) {
  view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: text } });
  fileName = where;
  clearRefusal();
  fileSaved(`opened ${where}`);
  say(`Opened ${where}`);
  launch();
}

// Program files are plain text; anything else is refused with a reason, and
// the editor keeps what it has.
const kMaxProgramBytes = 4 * 1024 * 1024;
async function openFile(file) {
  if (file.size > kMaxProgramBytes) {
    refuse(`${file.name} is ${(file.size / 1048576).toFixed(1)} MB: the page opens program files of up to 4 MB.`);
    return;
  }
  const bytes = new Uint8Array(await file.arrayBuffer());
  if (bytes.includes(0)) {
    refuse(`${file.name} is not a text file (it holds NUL bytes: binary, or UTF-16).`);
    return;
  }
  replaceText(new TextDecoder().decode(bytes), file.name);
}
$('open-program').addEventListener('change', (e) => { if (e.target.files[0]) openFile(e.target.files[0]); e.target.value = ''; });
document.addEventListener('dragover', (e) => e.preventDefault());
document.addEventListener('drop', (e) => {
  e.preventDefault();
  if (e.dataTransfer.files[0]) openFile(e.dataTransfer.files[0]);
});
$('save').addEventListener('click', () => {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([view.state.doc.toString()], { type: 'text/plain' }));
  link.download = fileName.endsWith('.ram') ? fileName : 'program.ram';
  link.click();
  URL.revokeObjectURL(link.href);
  fileSaved('saved');
});
for (const [name, text] of Object.entries(WREN_EXAMPLES)) {
  const option = document.createElement('option');
  option.value = name;
  option.textContent = name;
  $('examples').append(option);
}
$('examples').addEventListener('change', (e) => {
  if (e.target.value) replaceText(WREN_EXAMPLES[e.target.value], e.target.value);
});

// The program travels in the fragment, which no server ever sees.
const kMaxLink = 32000;
$('share').addEventListener('click', () => {
  const bytes = new TextEncoder().encode(view.state.doc.toString());
  let binary = '';
  for (const b of bytes) binary += String.fromCharCode(b);
  const url = new URL(location.href);
  url.hash = `program=${btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '')}`;
  // Browsers refuse to open links much past 32,000 characters: say so now,
  // not when someone else opens it.
  if (url.href.length > kMaxLink) {
    $('share-link').value = '';
    refuse(`The program is too long to share as a link (${url.href.length.toLocaleString('en')} characters; a browser opens up to ${kMaxLink.toLocaleString('en')}): use Save and send the file.`);
    return;
  }
  clearRefusal();
  $('share-link').value = url.href;
  $('share-link').select();
  say('The share link holds the program: copy it.');
});
function sharedProgram() {
  const match = /^#program=([A-Za-z0-9_-]*)$/.exec(location.hash);
  if (!location.hash) return null;
  try {
    if (!match) throw new Error('not a program link');
    const binary = atob(match[1].replace(/-/g, '+').replace(/_/g, '/'));
    return new TextDecoder('utf-8', { fatal: true }).decode(Uint8Array.from(binary, (c) => c.charCodeAt(0)));
  } catch {
    refuse('The link does not hold a program: the editor keeps its text.');
    return null;
  }
}
function openShared() {
  const shared = sharedProgram();
  if (shared !== null) replaceText(shared, 'the shared program');
  return shared !== null;
}
window.addEventListener('hashchange', openShared); // a link pasted into this tab

// ---- The machine: the debug adapter on the editor's text.

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
    reloadTimer = setTimeout(() => { if (!touched && !running) launch(); }, 300);
    return;
  }
  if (outOfDate) return;
  outOfDate = true;
  $('machine-state').textContent = 'The program changed: Reset loads it.';
}

// Loads the editor's text into the machine; false, with the reason said,
// when it does not load. Loads overlap when the text changes quickly: the
// last one wins.
let initialized = false;
let loading = Promise.resolve(true);
function launch() {
  loading = loading.then(async () => {
    dap.writeFile(programPath, view.state.doc.toString());
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
    dap.request('instructions').then(showReference).catch(() => {});
  }
  const entered = nextEntry();
  if (!launched) {
    await dap.request('launch', { program: programPath, stopOnEntry: true });
    await sendBreakpoints();
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
  source: { path: programPath }, breakpoints: [...breakpoints].map((line) => ({ line })),
});

function toggleBreakpoint(line) {
  if (breakpoints.has(line)) breakpoints.delete(line);
  else breakpoints.add(line);
  // The markers are drawn again with the new state.
  const markers = view.state.field(addressField);
  const again = [];
  for (let it = markers.iter(); it.value; it.next()) again.push(new AddressMarker(it.value.line, it.value.address).range(it.from));
  view.dispatch({ effects: setAddresses.of(RangeSet.of(again)) });
  if (launched) sendBreakpoints();
  say(breakpoints.has(line) ? `Breakpoint on line ${line}` : `No breakpoint on line ${line}`);
}

// Memory words, read from the adapter's memory scope.
const memory = memoryGrid($('memory'), $('goto'), {
  async setWord(address, value) {
    if (!launched && !(await launch())) return;
    touched = true;
    await dap.request('setVariable', { variablesReference: 2, name: String(address), value });
  },
  say,
});
memory.setSource(async (start, count) => {
  if (!launched) return [];
  return (await dap.request('variables', { variablesReference: 2, start, count })).variables;
});

let running = false;
let stopping = false; // Stop was asked for; the adapter has not stopped yet
function setRunning(on) {
  running = on;
  stopping = false;
  $('stop').textContent = 'Stop';
  $('stop').disabled = !on;
  for (const id of ['step', 'run-to-end', 'step-back', 'reset']) $(id).disabled = on;
  if (!on) { $('progress').textContent = ''; $('rate').textContent = ''; }
}

// Why Run to end stopped, in the Status under the registers.
function stopLine(stopped) {
  const capital = (text) => text.charAt(0).toUpperCase() + text.slice(1);
  switch (stopped.reason) {
    case 'end': return `The program ended: ${stopped.description}.`;
    case 'endless loop': return `${capital(stopped.description)}: the program would never end.`;
    case 'exception': return `Machine fault: ${stopped.description}.`;
    case 'pause': return 'Stopped.';
    case 'breakpoint': case 'instruction breakpoint': return 'Stopped at a breakpoint.';
    case 'data breakpoint': return 'Stopped: a watched word changed.';
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
  $('rate').textContent = rate;
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
  if (stale()) return;
  $('listing').textContent = text;
  const ahead = !stopped || stopped.reason === 'entry' || command === 'stepBack';
  const step = ahead ? next : stopped.step ?? last;
  const kind = ahead ? (command === 'stepBack' ? 'Next step (after Step back)' : 'Next step') : 'Last step';
  const marks = showStep(step, kind);
  await memory.refresh(stopped?.reason === 'step' && !ahead ? wrote : null, marks);
  const { stackFrames } = await dap.request('stackTrace', { threadId: 1 });
  if (stale()) return;
  const lines = kind === 'Last step' ? touchedLines(step) : { ran: null, touched: [] };
  view.dispatch({ effects: setPcLine.of({ pc: stackFrames[0]?.line ?? 0, ...lines }) });
  if (stopped?.reason === 'exception') {
    $('fault').textContent = stopped.description ?? 'machine fault';
    $('fault').hidden = false;
  }
  const line = stopped ? stopLine(stopped) : '';
  if (!outOfDate) $('machine-state').textContent = line;
  // Held Run's and Animate's steps are not announced one by one; their end and faults are.
  if (stopped && stopped.reason !== 'entry' && (line || (!holding && !animating)))
    say(`${line || (stopped.reason === 'step' ? `Stepped: ${step?.text ?? ''}` : 'At the start.')} ${$('status-pc').textContent}`);
}

async function step(command) {
  await loading; // a load under way (the page's first, say) finishes first
  if ((!launched || ended) && !(await launch())) return;
  touched = true;
  lastCommand = command;
  await dap.request(command, { threadId: 1 }).catch((e) => say(e.message));
}
async function runToEnd() {
  if (running) return;
  await loading; // a load under way (the page's first, say) finishes first
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
$('run-to-end').addEventListener('click', runToEnd);
$('stop').addEventListener('click', stopRun);

// The machine's keys, in the editor and everywhere else.
function machineKeys(e) {
  const keys = {
    F10: () => step(e.shiftKey ? 'stepBack' : 'next'),
    F5: () => (e.shiftKey ? stopRun() : runToEnd()),
    F1: () => openHelp(),
  };
  if (!(e.key in keys) || e.ctrlKey || e.altKey || e.metaKey) return false;
  e.preventDefault();
  keys[e.key]();
  return true;
}
document.addEventListener('keydown', (e) => { if (!e.defaultPrevented && !e.target.closest?.('.cm-editor')) machineKeys(e); });

// Run, held: one instruction every 20 ms while the button is down, as in
// the window; its caption says how to stop.
let holding = null;
async function hold() {
  if (holding || running) return;
  await loading;
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
  await loading; // a load under way (the page's first, say) finishes first
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
$('reset').addEventListener('click', async () => {
  stopAnimation();
  $('fault').hidden = true;
  if (!launched || ended || outOfDate) {
    await launch();
    return;
  }
  const scopes = await dap.request('scopes', { frameId: 1 });
  const registers = scopes.scopes[0].variablesReference;
  for (const [name, value] of [['A', '0'], ['PC', '0'], ['V', 'False'], ['Cycles', '0']])
    await dap.request('setVariable', { variablesReference: registers, name, value });
  await showState(null);
  say('Reset: A, PC, V and Cycles are 0; memory is as the program left it.');
});

// ---- The status line: the file, whether it changed, the slips.

let fileName = 'program.ram';
function fileSaved(how) {
  $('file-name').textContent = fileName;
  $('file-state').textContent = how;
  fileClean = true;
}
let fileClean = true;
function fileChanged() {
  if (!fileClean) return;
  queueMicrotask(() => {
    if (fileClean) return;
    $('file-state').textContent = 'changed (kept in this browser)';
  });
  fileClean = false;
}

// ---- Help: the instruction reference, from the adapter, and the guided examples.

function showReference(answer) {
  const body = $('reference').tBodies[0];
  body.replaceChildren(...answer.instructions.map((row) => {
    reference.set(row.mnemonic, row);
    const tr = document.createElement('tr');
    const example = `${row.example.instruction} at ${row.example.at}: ${row.example.text}`;
    for (const [i, text] of [row.mnemonic, String(row.opcode), row.effect, String(row.cycles), example].entries()) {
      const cell = document.createElement(i === 0 ? 'th' : 'td');
      if (i === 0) cell.scope = 'row';
      cell.textContent = text;
      tr.append(cell);
    }
    return tr;
  }));
}
function openHelp() {
  if (!$('help').open) $('help').showModal();
}
$('help-button').addEventListener('click', openHelp);
const guided = Object.keys(WREN_EXAMPLES).filter((name) => name.startsWith('guided-'));
$('guided').replaceChildren(...guided.map((name) => {
  const item = document.createElement('li');
  const open = document.createElement('button');
  open.type = 'button';
  open.textContent = `Open ${name}`;
  open.addEventListener('click', () => { $('help').close(); replaceText(WREN_EXAMPLES[name], name); });
  item.append(open, ` ${WREN_EXAMPLES[name].split('\n')[0].replace(/^\{\s*/, '')}`);
  return item;
}));

setUpLayout({ say });

// The program is in the machine from the start: the shared one if the link
// holds one, else the editor's.
if (!openShared()) launch();

// ---- Grading: the project's grader on the editor's program, seed 1.

const grading = grader((why) => say(`The grader failed: ${why}`), (done, of) => {
  $('class-state').textContent = `Graded ${done} of ${of} submissions…`;
});
let casePath = null;
$('open-cases').addEventListener('change', async (e) => {
  const files = [...e.target.files];
  e.target.value = '';
  const toml = files.find((f) => f.name.endsWith('.toml'));
  if (!toml) {
    $('cases-state').textContent = 'No case file (.toml) among the files picked.';
    return;
  }
  for (const file of files) grading.writeFile(`/cases/${file.name}`, await file.text());
  casePath = `/cases/${toml.name}`;
  $('grade').disabled = false;
  classReady();
  $('cases-state').textContent = `Cases: ${toml.name}` +
    (files.length > 1 ? `, with ${files.filter((f) => f !== toml).map((f) => f.name).join(', ')}` : '');
});

$('grade').addEventListener('click', async () => {
  if (!casePath) return;
  grading.writeFile('/submission.ram', view.state.doc.toString());
  const answer = await grading.grade({ cases: casePath, program: '/submission.ram', seed: 1 });
  const body = $('results').tBodies[0];
  if (answer.error) {
    body.replaceChildren();
    $('cases-state').textContent = answer.error;
    say(answer.error);
    return;
  }
  body.replaceChildren(...answer.results.map((r) => {
    const row = document.createElement('tr');
    for (const text of [r.name, r.outcome, `${r.score}/${r.points}`]) {
      const cell = document.createElement('td');
      cell.textContent = text;
      row.append(cell);
    }
    // A hidden case shows its name, points and outcome only; a visible one
    // says why it failed when asked.
    if (!r.hidden && r.outcome !== 'passed') row.title = r.output;
    return row;
  }));
  const passed = answer.results.filter((r) => r.outcome === 'passed').length;
  say(`Graded: ${answer.score}/${answer.maxScore} points, ${passed} of ${answer.results.length} cases passed.`);
});

// ---- The teacher's view: a whole class, graded by the same C++ in the
// grader's worker; the report stays on this computer until it is saved.

let classFiles = []; // {path, file}
let classProblems = []; // what a zip held that is not read
let classAnswer = null;
function classReady() {
  $('grade-class').disabled = !(casePath && classFiles.length);
}
function takeClass(files, problems = []) {
  classProblems = problems;
  // In the order wren-grade takes a folder's: by path, byte by byte.
  classFiles = files.filter(({ path }) => /\.ram$/i.test(path)).sort((a, b) => (a.path < b.path ? -1 : a.path > b.path ? 1 : 0));
  $('class-state').textContent = classFiles.length
    ? `Class: ${classFiles.length} submissions${casePath ? '' : ': now open the case file above'}.`
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
