// Files: open (a file picked or dropped), Save, the examples, a link that
// carries the program, and Recent. Every replacement keeps what it replaces:
// it stays in Recent, Ctrl+Z takes the replacement back, and unsaved work
// gets a notice with Undo that stays until dismissed.
import { Events } from './store.js';
import { keeper } from './kept.js';
import { setUpRecent } from './recent_view.js';

/* global WREN_EXAMPLES */
const $ = (id) => document.getElementById(id);

/// Wires the file controls for the tab's opening program; returns
/// openShared(), true when the page's link held a program (which then
/// replaced the editor's).
export function setUpFiles(store, opening) {
  const say = (text) => store.dispatch(Events.Say, { text });
  const refuse = (text) => store.dispatch(Events.Refuse, { text });
  const kept = keeper(opening, (ok) => store.dispatch(Events.Kept, { ok }));
  // The program replaced, for the notice's Undo.
  let undo = null;
  store.on(Events.ProgramEdited, ({ text }) => {
    // Ctrl+Z took a replacement back: the tab holds the program it replaced.
    if (undo && text === undo.text) {
      kept.switchTo(undo.name, undo.id);
      $('replaced-notice').hidden = true;
      undo = null;
    }
    kept.keepSoon(text, false);
  });
  function replace(text, name, { id = null, saved = true } = {}) {
    const before = { ...store.get().program, id: kept.current().id };
    const unsaved = !before.saved && before.text !== text && before.text.trim() !== '';
    kept.switchTo(name, id);
    store.dispatch(Events.ReplaceProgram, { text, name, saved });
    // The edit the replacement made wrote the new program as changed.
    kept.keep(text, saved);
    if (unsaved) {
      undo = before;
      $('replaced-text').textContent = `Your changes to ${before.name} were replaced by ${name}.` +
        (kept.refused() ? ' Undo brings them back.' : ' They are in Recent.');
      $('replaced-notice').hidden = false;
    } else {
      $('replaced-notice').hidden = true;
    }
  }
  $('replaced-undo').addEventListener('click', () => {
    $('replaced-notice').hidden = true;
    if (!undo) return;
    const { text, name, id, saved } = undo;
    undo = null;
    replace(text, name, { id, saved });
    say(`Back to ${name} as it was.`);
  });
  $('replaced-dismiss').addEventListener('click', () => { $('replaced-notice').hidden = true; undo = null; });
  store.on(Events.ProgramSaved, ({ name }) => {
    kept.switchTo(name, kept.current().id);
    kept.keep(store.get().program.text, true);
  });
  setUpRecent(kept, (entry) => replace(entry.text, entry.name, { id: entry.id, saved: entry.saved }), say);

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
    replace(new TextDecoder().decode(bytes), file.name);
  }
  $('open-program').addEventListener('change', (e) => { if (e.target.files[0]) openFile(e.target.files[0]); e.target.value = ''; });
  document.addEventListener('dragover', (e) => e.preventDefault());
  document.addEventListener('drop', (e) => {
    e.preventDefault();
    if (e.dataTransfer.files[0]) openFile(e.dataTransfer.files[0]);
  });
  $('save').addEventListener('click', () => {
    const link = document.createElement('a');
    const { text, name } = store.get().program;
    link.href = URL.createObjectURL(new Blob([text], { type: 'text/plain' }));
    link.download = name.endsWith('.ram') ? name : 'program.ram';
    link.click();
    URL.revokeObjectURL(link.href);
    store.dispatch(Events.ProgramSaved, { name: link.download });
  });
  for (const [name, text] of Object.entries(WREN_EXAMPLES)) {
    const option = document.createElement('option');
    option.value = name;
    option.textContent = name;
    $('examples').append(option);
  }
  $('examples').addEventListener('change', (e) => {
    if (e.target.value) replace(WREN_EXAMPLES[e.target.value], e.target.value);
  });

  // The program travels in the fragment, which no server ever sees.
  const kMaxLink = 32000;
  $('share').addEventListener('click', () => {
    const bytes = new TextEncoder().encode(store.get().program.text);
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
    refuse('');
    $('share-link').value = url.href;
    $('share-link').select();
    say('The share link holds the program: copy it.');
  });
  // #program=TEXT, and for a failing case from the grader also
  // &set=ADDRESS:VALUE,... and &case=NAME: the words to set after loading.
  function sharedProgram() {
    if (!location.hash) return null;
    const match = /^#program=([A-Za-z0-9_-]*)(?:&set=((?:-?\d+:-?\d+)(?:,-?\d+:-?\d+)*)?)?(?:&case=([^&]*))?$/.exec(location.hash);
    try {
      if (!match) throw new Error('not a program link');
      const binary = atob(match[1].replace(/-/g, '+').replace(/_/g, '/'));
      const text = new TextDecoder('utf-8', { fatal: true }).decode(Uint8Array.from(binary, (c) => c.charCodeAt(0)));
      const sets = match[2] ? match[2].split(',').map((pair) => pair.split(':').map(Number)) : null;
      const name = match[3] !== undefined ? decodeURIComponent(match[3]) : null;
      return { text, sets, name };
    } catch {
      refuse('The link does not hold a program: the editor keeps its text.');
      return null;
    }
  }
  function openShared() {
    const shared = sharedProgram();
    if (shared === null) return false;
    replace(shared.text, shared.name ? `the case ${shared.name}` : 'the shared program');
    // The tab holds it now: a reload keeps what is typed after, not the link's.
    history.replaceState(null, '', location.pathname + location.search);
    if (shared.sets || shared.name) store.dispatch(Events.OpenCase, { name: shared.name ?? 'from the link', sets: shared.sets ?? [] });
    return true;
  }
  window.addEventListener('hashchange', openShared); // a link pasted into this tab
  return { openShared };
}
