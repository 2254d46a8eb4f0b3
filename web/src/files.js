// Files: open (a file picked or dropped), Save, the examples, and a link
// that carries the program; the program kept in this browser between visits.
import { Events } from './store.js';

/* global WREN_EXAMPLES */
const $ = (id) => document.getElementById(id);
const kKept = 'wren-program';
const kFirstProgram = '{ Count upwards in A\nLDAi 0\nADDi 1\nLDAi 2\nSTApc 0\n';

/// The program this browser kept, or the first one a visitor sees.
export function keptProgram() {
  return localStorage.getItem(kKept) ?? kFirstProgram;
}

/// Wires the file controls; returns openShared(), true when the page's
/// link held a program (which then replaced the editor's).
export function setUpFiles(store) {
  const say = (text) => store.dispatch(Events.Say, { text });
  const refuse = (text) => store.dispatch(Events.Refuse, { text });
  const replace = (text, name) => store.dispatch(Events.ReplaceProgram, { text, name });
  store.on(Events.ProgramEdited, ({ text }) => localStorage.setItem(kKept, text));

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
    if (shared.sets || shared.name) store.dispatch(Events.OpenCase, { name: shared.name ?? 'from the link', sets: shared.sets ?? [] });
    return true;
  }
  window.addEventListener('hashchange', openShared); // a link pasted into this tab
  return { openShared };
}
