// The editor pane: CodeMirror on the program, and everything it asks the
// language server (addresses in the gutter, problems and their quick fixes,
// hover, go to definition). It lights the lines of the machine's state, sets
// breakpoints from the gutter and F9, and tells the other panes of every
// edit through the store.
import { EditorState, StateEffect, StateField, RangeSet } from '@codemirror/state';
import { Decoration, EditorView, GutterMarker, gutter, hoverTooltip, keymap, lineNumbers } from '@codemirror/view';
import { defaultKeymap, history, historyKeymap, isolateHistory } from '@codemirror/commands';
import { lintKeymap, setDiagnostics } from '@codemirror/lint';
import { languageServer } from './servers.js';
import { wrenLanguage } from './wren_language.js';
import { Events } from './store.js';
import { movedNotice } from './moved_notice.js';

const $ = (id) => document.getElementById(id);
const uri = 'file:///program.ram';

/// Puts the editor in #editor, with the store's program in it.
export function createEditor(store) {
  const say = (text) => store.dispatch(Events.Say, { text });
  let breakpoints = store.get().breakpoints;

  // ---- Addresses: the language server's address hints, one marker a line.

  const setAddresses = StateEffect.define();
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
  let opened; // resolves once the server has the document
  const documentOpened = new Promise((resolve) => { opened = resolve; });
  const lsp = languageServer((method, params) => {
    if (method === 'textDocument/publishDiagnostics' && params.version === version) showDiagnostics(params.diagnostics);
  }, (why) => say(`The language server failed: ${why}`));

  function position(doc, p) {
    const line = doc.line(Math.min(p.line + 1, doc.lines));
    return Math.min(line.from + p.character, line.to);
  }
  
  // Every action the server offers on the whole text.
  async function allActions() {
    const actions = await lsp.request('textDocument/codeAction', {
      textDocument: { uri },
      range: { start: { line: 0, character: 0 }, end: { line: view.state.doc.lines, character: 0 } },
      context: { diagnostics: [] },
    }).catch(() => []);
    return actions ?? [];
  }
  // An action's edits as one CodeMirror change.
  const changesOf = (action, doc) => (action.edit?.changes?.[uri] ?? []).map((e) => ({
    from: position(doc, e.range.start), to: position(doc, e.range.end), insert: e.newText,
  }));

  // The server's quick fixes for the whole text, each with the diagnostic it
  // mends, as CodeMirror actions that apply the server's edits.
  async function quickFixes(shownVersion) {
    const byRange = new Map();
    for (const action of await allActions()) {
      const key = JSON.stringify(action.diagnostics?.[0]?.range);
      if (!byRange.has(key)) byRange.set(key, []);
      byRange.get(key).push({
        name: action.title,
        apply(v) {
          if (version !== shownVersion) return; // the text moved on: ask again
          v.dispatch({ changes: changesOf(action, v.state.doc) });
          say(`Applied: ${action.title}`);
        },
      });
    }
    return byRange;
  }
  
  // Operands that name where a moved record was: the fix-all that updates
  // them all, applied as one change.
  async function updateMoved() {
    const shownVersion = version;
    const all = (await allActions()).find((a) => a.title.startsWith('Update'));
    if (!all || version !== shownVersion) return;
    view.dispatch({ changes: changesOf(all, view.state.doc) });
    say(`Applied: ${all.title}. Ctrl+Z takes it back.`);
  }
  const notice = movedNotice(updateMoved);
  const kinds = { 1: 'error', 2: 'warning', 3: 'info', 4: 'hint' };

  async function showDiagnostics(diagnostics) {
    const shownVersion = version;
    const fixes = await quickFixes(shownVersion);
    if (shownVersion !== version) return;
    notice.show(diagnostics.filter((d) => d.code === 'moved-record').length);
    const doc = view.state.doc;
    view.dispatch(setDiagnostics(view.state, diagnostics.map((d) => ({
      from: position(doc, d.range.start), to: Math.max(position(doc, d.range.end), position(doc, d.range.start)),
      severity: d.severity === 1 ? 'error' : d.severity >= 3 ? 'info' : 'warning',
      message: d.message,
      actions: fixes.get(JSON.stringify(d.range)) ?? [],
    }))));
    const list = $('problems-list');
    list.replaceChildren(...diagnostics.map((d) => {
      const item = document.createElement('li');
      const [message] = d.message.split('\n');
      const kind = kinds[d.severity] ?? 'warning';
      item.textContent = `${d.range.start.line + 1}:${d.range.start.character + 1}: ${kind}: ${message}` +
        (d.code ? ` [-W${d.code}]` : '');
      return item;
    }));
    $('problems-count').textContent = String(diagnostics.length);
    $('problems-box').open = diagnostics.length > 0;
    // Hints (records that moved) are neither errors nor slips.
    const errors = diagnostics.filter((d) => d.severity === 1).length;
    const slips = diagnostics.filter((d) => d.severity === 2).length;
    store.dispatch(Events.Diagnostics, { errors, slips });
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

  // ---- Hover and go to definition, from the language server.

  const lspPosition = (doc, pos) => {
    const line = doc.lineAt(pos);
    return { line: line.number - 1, character: pos - line.from };
  };
  // A hover that comes before the server has the document, or before the
  // reference has come, waits for them rather than showing nothing: the mouse
  // may not move again.
  const hover = hoverTooltip(async (v, pos) => {
    await documentOpened;
    await Promise.race([referenceCame, new Promise((r) => setTimeout(r, 10000))]);
    if (v.state.doc.length < pos) return null;
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
  let referenceArrived;
  const referenceCame = new Promise((resolve) => { referenceArrived = resolve; });
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

  const view = new EditorView({
    parent: $('editor'),
    state: EditorState.create({
      doc: store.get().program.text,
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
              store.dispatch(Events.ToggleBreakpoint, { line: Number(marker.dataset.line) });
              return true;
            },
          },
        }),
        pcField,
        history(),
        wrenLanguage,
        hover,
        keymap.of([
          { key: 'F12', run: (v) => { goToDefinition(v); return true; } },
          { key: 'F9', run: (v) => { store.dispatch(Events.ToggleBreakpoint, { line: v.state.doc.lineAt(v.state.selection.main.head).number }); return true; } },
          ...lintKeymap, ...defaultKeymap, ...historyKeymap,
        ]),
        // Tabbable already; said so, so that checkers see the scrolling
        // editor's keyboard way in.
        EditorView.contentAttributes.of({ 'aria-label': 'Program', tabindex: '0' }),
        EditorView.updateListener.of((update) => {
          if (update.viewportChanged && !update.docChanged && lspReady) refreshAddresses();
          if (!update.docChanged) return;
          const text = update.state.doc.toString();
          lsp.notify('textDocument/didChange', { textDocument: { uri, version: ++version }, contentChanges: [{ text }] });
          // Asked at once, not after the diagnostics: the server answers in
          // order, so the hints are for this text.
          refreshAddresses();
          store.dispatch(Events.ProgramEdited, { text });
        }),
      ],
    }),
  });

  lsp.request('initialize', { capabilities: {} }).then(() => {
    lspReady = true;
    lsp.notify('initialized', {});
    lsp.notify('textDocument/didOpen', { textDocument: { uri, languageId: 'wren-ram', version, text: view.state.doc.toString() } });
    refreshAddresses();
    opened();
  });

  // ---- What the other panes ask of the editor.

  // A program opened, chosen or shared replaces the text as one change.
  // Its own step of the history, however soon after typing: Ctrl+Z takes
  // back the replacement and nothing else.
  store.on(Events.ReplaceProgram, ({ text, name, saved }) => {
    view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: text }, annotations: isolateHistory.of('full') });
    store.dispatch(Events.ProgramReplaced, { text, name, saved });
  });
  store.on(Events.ToggleBreakpoint, ({ line }, state) => {
    say(state.breakpoints.has(line) ? `Breakpoint on line ${line}` : `No breakpoint on line ${line}`);
  });
  // The markers are drawn again with the new set.
  store.on(Events.BreakpointsChanged, (detail, state) => {
    breakpoints = state.breakpoints;
    const markers = view.state.field(addressField);
    const again = [];
    for (let it = markers.iter(); it.value; it.next()) again.push(new AddressMarker(it.value.line, it.value.address).range(it.from));
    view.dispatch({ effects: setAddresses.of(RangeSet.of(again)) });
  });
  store.on(Events.MachineShown, ({ pc, ran, touched }) => view.dispatch({ effects: setPcLine.of({ pc, ran, touched }) }));
  store.on(Events.Reference, ({ instructions }) => {
    for (const row of instructions) reference.set(row.mnemonic, row);
    referenceArrived();
  });
}
