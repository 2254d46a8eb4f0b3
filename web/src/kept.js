// What the page keeps of a student's work in this browser: Recent, the last
// programs (each under its name, with its text and when it last changed),
// and for each tab the one it holds, so that a reload brings it back and
// two tabs never write over each other. A browser that keeps nothing (its
// storage full, or switched off) is said so once, and the page goes on.

const kRecent = 'wren-recent';
const kTab = 'wren-tab-program'; // in sessionStorage: each tab its own
const kLegacy = 'wren-program'; // the one program kept before Recent
const kFirstProgram = '{ Count upwards in A\nLDAi 0\nADDi 1\nLDAi 2\nSTApc 0\n';
/// How many programs Recent keeps.
export const kRecentSize = 20;
// Typing is kept once it pauses this long (or the page is left): Recent is
// read, parsed and written whole, too much for every keystroke.
const kTypingPause = 250;

const clock = (ms) => new Date(ms).toLocaleTimeString('en-GB', { hour: '2-digit', minute: '2-digit' });
const newId = () => `${Date.now().toString(36)}-${Math.random().toString(36).slice(2, 8)}`;

function read(storage, key) {
  try { return storage.getItem(key); } catch { return null; }
}
function readRecent() {
  try {
    const list = JSON.parse(read(localStorage, kRecent) ?? '[]');
    return Array.isArray(list) ? list.filter((e) => e && typeof e.text === 'string' && e.id) : [];
  } catch {
    return [];
  }
}

/// The tab's program when the page opens: {id, name, text, saved}.
export function openingProgram() {
  const recent = readRecent();
  const id = read(sessionStorage, kTab);
  const mine = id && recent.find((e) => e.id === id);
  if (mine) return { ...mine };
  const untitled = `untitled ${clock(Date.now())}`;
  const legacy = read(localStorage, kLegacy);
  if (legacy !== null) return { id: id ?? newId(), name: untitled, text: legacy, saved: true };
  // A new tab starts from the newest program, as a copy of its own (the
  // original stays in Recent, so nothing in the copy is unkept work yet).
  if (recent.length) return { ...recent[0], id: newId(), saved: true };
  return { id: newId(), name: untitled, text: kFirstProgram, saved: true };
}

/// Keeps programs; onKept(ok) hears whether each write took.
export function keeper(opening, onKept) {
  let current = { id: opening.id, name: opening.name };
  let refused = false;
  const write = (storage, key, value) => {
    try {
      storage.setItem(key, value);
      return true;
    } catch {
      refused = true;
      return false;
    }
  };
  write(sessionStorage, kTab, current.id);
  let typed = null; // {text, saved, timer}: typing not yet kept
  function flush() {
    if (!typed) return;
    clearTimeout(typed.timer);
    const { text, saved } = typed;
    typed = null;
    keeper.keep(text, saved);
  }
  window.addEventListener('pagehide', flush);
  document.addEventListener('visibilitychange', () => { if (document.visibilityState === 'hidden') flush(); });
  const keeper = {
    /// The tab's program changed: it goes to the front of Recent.
    keep(text, saved) {
      if (typed) {
        clearTimeout(typed.timer);
        typed = null;
      }
      const recent = readRecent().filter((e) => e.id !== current.id);
      recent.unshift({ id: current.id, name: current.name, text, saved, changed: Date.now() });
      const ok = write(localStorage, kRecent, JSON.stringify(recent.slice(0, kRecentSize)));
      if (ok) {
        try { localStorage.removeItem(kLegacy); } catch { /* kept in Recent all the same */ }
      }
      onKept(ok);
      return ok;
    },
    /// keep, once typing pauses.
    keepSoon(text, saved) {
      if (typed) clearTimeout(typed.timer);
      typed = { text, saved, timer: setTimeout(flush, kTypingPause) };
    },
    /// The tab now holds another program: a new one named name, or the
    /// Recent entry id.
    switchTo(name, id = null) {
      flush(); // what was typed belongs to the program it was typed in
      current = { id: id ?? newId(), name };
      write(sessionStorage, kTab, current.id);
      return current.id;
    },
    current: () => ({ ...current }),
    list() {
      flush();
      return readRecent();
    },
    remove(id) {
      flush();
      const ok = write(localStorage, kRecent, JSON.stringify(readRecent().filter((e) => e.id !== id)));
      onKept(ok);
    },
    /// Whether a write was ever refused.
    refused: () => refused,
  };
  return keeper;
}
