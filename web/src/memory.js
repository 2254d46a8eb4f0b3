// The Memory grid: all 65,536 words, drawn only where they are seen, eight
// to a row where the pane has room for eight of the widest value shown so
// far, else four, two or one: a value is never cut off. A small program's
// words (up to six characters) keep eight a row on a wide screen; once a
// wider one has been shown, the rows keep room for it. Values come from the
// debug adapter's memory scope; an edit goes back through setVariable,
// which reads operand syntax (&H10 too). Each word has a menu (right
// click, or the menu key) and keys of its own: W who wrote this, H its
// history, B break on write.

const kWords = 65536;
const kRowHeight = 24;
const kFewestChars = 6; // -65535, 131072
const kMostChars = 11; // -2147483648
// Rows drawn beyond those in view, on each side: a scroll shows drawn rows.
const kMarginRows = 24;

/// The grid in container, with gotoInput for Go to address; adapter says
/// ({say}), and setAdapter adds how a word is set ({setWord}), what it is
/// asked ({ask(address, what)}: 'who-wrote', 'history' or 'watch') and who
/// hears of the word selected ({selected(address)}).
export function memoryGrid(container, gotoInput, adapter) {
  const scroller = document.createElement('div');
  scroller.className = 'memory-scroll';
  scroller.tabIndex = -1;
  // The grid holds its rows directly; the scroller around it only scrolls.
  const spacer = document.createElement('div');
  spacer.setAttribute('role', 'grid');
  spacer.setAttribute('aria-label', 'Memory');
  spacer.style.position = 'relative';
  scroller.append(spacer);
  container.append(scroller);

  let values = new Map(); // address -> value shown
  let changed = new Set();
  let marks = { access: new Map(), targets: new Map() }; // what the last step touched
  let focused = 0;
  let watched = new Set(); // words with Break on write
  let source = null; // () => Promise of {start, count} -> [{name, value}]
  // Renders overlap (a scroll, a step, Go to address); only the latest may
  // draw, or an older one would put back rows from before.
  let latestRender = 0;
  // The word being edited keeps its input across renders, so a step or a
  // scroll that lands during an edit does not lose what is typed.
  let editing = null; // {address, input}
  let redrawing = false;

  // Words a row: the most of 8, 4, 2 and 1 whose cells each hold the
  // widest value shown, measured in the grid's own font. Below one, the grid
  // scrolls sideways rather than cut a value.
  let perRow = 8;
  let rows = kWords / perRow;
  let widestChars = kFewestChars;
  function fit() {
    const probe = document.createElement('div');
    probe.className = 'memory-row';
    probe.style.visibility = 'hidden';
    probe.style.gridTemplateColumns = 'max-content max-content';
    const head = document.createElement('div');
    head.setAttribute('role', 'rowheader');
    head.textContent = '65528';
    const one = document.createElement('div');
    one.setAttribute('role', 'gridcell');
    one.textContent = '0'.repeat(widestChars);
    probe.append(head, one);
    spacer.append(probe);
    const headWidth = head.getBoundingClientRect().width;
    const cellWidth = one.getBoundingClientRect().width;
    probe.remove();
    const room = scroller.clientWidth - headWidth;
    let want = 8;
    while (want > 1 && want * cellWidth > room) want /= 2;
    spacer.style.setProperty('--cell', `${Math.ceil(cellWidth)}px`);
    spacer.style.setProperty('--head', `${Math.ceil(headWidth)}px`);
    if (want === perRow && spacer.style.height) return false;
    perRow = want;
    rows = kWords / perRow;
    spacer.dataset.perRow = String(perRow);
    spacer.setAttribute('aria-rowcount', String(rows));
    spacer.setAttribute('aria-colcount', String(perRow + 1));
    spacer.style.height = `${rows * kRowHeight}px`;
    return true;
  }
  // A value wider than any shown so far widens every cell.
  function widen() {
    let chars = widestChars;
    for (const value of values.values()) chars = Math.max(chars, String(value).length);
    if (chars <= widestChars) return false;
    widestChars = Math.min(kMostChars, chars);
    fit();
    return true;
  }

  async function fetchRows(first, last) {
    if (!source) return;
    const start = first * perRow;
    // While a run goes on the adapter answers no reads: the words shown stay.
    const words = await source(start, (last - first) * perRow).catch(() => []);
    for (const w of words) values.set(Number(w.name), w.value);
  }

  function cell(address) {
    const el = document.createElement('div');
    el.setAttribute('role', 'gridcell');
    el.dataset.address = String(address);
    el.tabIndex = address === focused ? 0 : -1;
    el.textContent = values.get(address) ?? '0';
    el.setAttribute('aria-label', `${address}: ${el.textContent}`);
    if (editing?.address === address) el.replaceChildren(editing.input);
    if (changed.has(address)) el.classList.add('changed');
    const access = marks.access.get(address);
    if (access) el.dataset.access = access;
    const target = marks.targets.get(address);
    if (target) el.dataset.target = target;
    const watch = watched.has(address);
    if (watch) el.dataset.watch = '';
    if (access || target || watch)
      el.setAttribute('aria-label', `${address}: ${el.textContent} (${[access === 'pc' ? 'the instruction' : access, target && `branch target, ${target}`, watch && 'break on write'].filter(Boolean).join(', ')})`);
    el.addEventListener('dblclick', () => edit(el));
    el.addEventListener('keydown', (e) => keydown(e, address, el));
    el.addEventListener('focus', () => select(address));
    el.addEventListener('contextmenu', (e) => {
      e.preventDefault();
      select(address);
      openMenu(el, address, e.clientX, e.clientY);
    });
    return el;
  }

  // The rows to draw: those in view, and a margin each side.
  function rowsInView() {
    const top = Math.floor(scroller.scrollTop / kRowHeight);
    return [Math.max(0, top - kMarginRows), Math.min(rows, top + Math.ceil(scroller.clientHeight / kRowHeight) + kMarginRows)];
  }

  /// Draws the rows in view; resolves true when this render is the one shown.
  async function render() {
    const ticket = ++latestRender;
    const [first, last] = rowsInView();
    await fetchRows(first, last);
    if (ticket !== latestRender) return false;
    // Fewer words a row now: the word at the top stays at the top, and the
    // rows are drawn again.
    const top = Math.floor(scroller.scrollTop / kRowHeight) * perRow;
    if (widen()) {
      scroller.scrollTop = Math.floor(top / perRow) * kRowHeight;
      return render();
    }
    const typing = editing && document.activeElement === editing.input;
    // Moving the edited word's input into its new cell blurs it; that blur
    // is not the user leaving the edit.
    redrawing = true;
    try {
      const rows = [];
      for (let r = first; r < last; ++r) {
        const row = document.createElement('div');
        row.setAttribute('role', 'row');
        row.setAttribute('aria-rowindex', String(r + 1));
        row.className = 'memory-row';
        row.style.top = `${r * kRowHeight}px`;
        row.style.gridTemplateColumns = `var(--head) repeat(${perRow}, minmax(var(--cell), 1fr))`;
        const head = document.createElement('div');
        head.setAttribute('role', 'rowheader');
        head.textContent = String(r * perRow);
        row.append(head);
        for (let c = 0; c < perRow; ++c) row.append(cell(r * perRow + c));
        rows.push(row);
      }
      spacer.replaceChildren(...rows);
    } finally {
      redrawing = false;
    }
    if (typing && editing.input.isConnected) editing.input.focus();
    return true;
  }

  function keepInView(address) {
    const row = Math.floor(address / perRow);
    if (row * kRowHeight < scroller.scrollTop || (row + 1) * kRowHeight > scroller.scrollTop + scroller.clientHeight)
      scroller.scrollTop = Math.max(0, row * kRowHeight - scroller.clientHeight / 2);
  }

  function focusAddress(address) {
    focused = Math.max(0, Math.min(kWords - 1, address));
    keepInView(focused);
    render().then((shown) => {
      if (shown && !editing) spacer.querySelector(`[data-address="${focused}"]`)?.focus();
    });
  }

  // The selected word is the focused one; the toolbar's Break on write acts on it.
  let told = -1;
  function select(address) {
    focused = address;
    if (told === address) return;
    told = address;
    adapter.selected?.(address);
  }

  // The word's menu, by the pointer or under the cell; arrows move in it,
  // Escape or a choice closes it and gives the cell its focus back.
  const menu = document.getElementById('word-menu');
  const items = [...menu.querySelectorAll('[role=menuitem]')];
  let menuFor = null; // {address, el}
  function openMenu(el, address, x, y) {
    menuFor = { address, el };
    menu.querySelector('.watch-label').textContent = watched.has(address) ? 'Remove break on write' : 'Break on write';
    menu.setAttribute('aria-label', `Memory word ${address}`);
    menu.hidden = false;
    const box = el.getBoundingClientRect();
    const left = x ?? box.left;
    const top = y ?? box.bottom;
    menu.style.left = `${Math.min(left, window.innerWidth - menu.offsetWidth - 4)}px`;
    menu.style.top = `${Math.min(top, window.innerHeight - menu.offsetHeight - 4)}px`;
    items[0].focus();
  }
  function closeMenu(refocus = true) {
    if (menu.hidden) return;
    menu.hidden = true;
    const el = menuFor?.el;
    menuFor = null;
    if (refocus && el?.isConnected) el.focus();
  }
  for (const item of items) {
    item.addEventListener('click', () => {
      const { address } = menuFor ?? {};
      closeMenu();
      if (address !== undefined) adapter.ask?.(address, item.dataset.what);
    });
  }
  menu.addEventListener('keydown', (e) => {
    const at = items.indexOf(document.activeElement);
    if (e.key === 'Escape' || e.key === 'Tab') { e.preventDefault(); closeMenu(); }
    else if (e.key === 'ArrowDown') { e.preventDefault(); items[(at + 1) % items.length].focus(); }
    else if (e.key === 'ArrowUp') { e.preventDefault(); items[(at + items.length - 1) % items.length].focus(); }
    else if (e.key === 'Home') { e.preventDefault(); items[0].focus(); }
    else if (e.key === 'End') { e.preventDefault(); items[items.length - 1].focus(); }
    else {
      const item = items.find((i) => i.querySelector('kbd').textContent.toLowerCase() === e.key.toLowerCase());
      if (item) { e.preventDefault(); item.click(); }
    }
  });
  document.addEventListener('pointerdown', (e) => { if (!menu.hidden && !menu.contains(e.target)) closeMenu(false); });

  function keydown(e, address, el) {
    const asks = { w: 'who-wrote', h: 'history', b: 'watch' };
    // Not while the word is edited: &H10 is a value, not History.
    const ask = e.target === el && !e.ctrlKey && !e.altKey && !e.metaKey && asks[e.key.toLowerCase()];
    if (ask) {
      e.preventDefault();
      adapter.ask?.(address, ask);
      return;
    }
    if (e.key === 'ContextMenu' && e.target === el) {
      e.preventDefault();
      openMenu(el, address);
      return;
    }
    const moves = { ArrowRight: 1, ArrowLeft: -1, ArrowDown: perRow, ArrowUp: -perRow,
      PageDown: perRow * 10, PageUp: -perRow * 10 };
    if (e.key in moves) {
      e.preventDefault();
      focusAddress(address + moves[e.key]);
    } else if (e.key === 'Enter' || e.key === 'F2') {
      e.preventDefault();
      edit(el);
    }
  }

  function edit(el) {
    if (editing) return;
    const address = Number(el.dataset.address);
    const input = document.createElement('input');
    input.value = values.get(address) ?? '0';
    input.setAttribute('aria-label', `Word ${address}`);
    input.size = 10;
    editing = { address, input };
    el.replaceChildren(input);
    input.focus();
    input.select();
    const finish = async (commit) => {
      input.onblur = null;
      input.onkeydown = null;
      if (commit) {
        try {
          await adapter.setWord(address, input.value.trim());
        } catch (error) {
          adapter.say(error.message);
        }
      }
      editing = null;
      focused = address;
      await refresh();
      focusAddress(address);
    };
    input.onkeydown = (e) => {
      if (e.key === 'Enter') { e.preventDefault(); finish(true); }
      if (e.key === 'Escape') { e.preventDefault(); finish(false); }
    };
    input.onblur = () => {
      if (!redrawing) finish(false);
    };
  }

  // wrote: the word the last step wrote, which the adapter knows; touched:
  // the marks of what the step shown read, wrote and ran (accessMarks).
  async function refresh(wrote = null, touched = null) {
    values = new Map();
    changed = new Set(wrote === null ? [] : [wrote]);
    marks = touched ?? { access: new Map(), targets: new Map() };
    await render();
  }

  scroller.addEventListener('scroll', () => render());
  // A pane resized, a phone turned, a font loaded: the words a row again,
  // keeping the focused word in view.
  new ResizeObserver(() => {
    if (!scroller.clientWidth || !fit()) return;
    keepInView(focused);
    render();
  }).observe(scroller);
  gotoInput.addEventListener('keydown', (e) => {
    if (e.key !== 'Enter') return;
    const text = gotoInput.value.trim();
    const address = /^&[Hh][0-9A-Fa-f]+$/.test(text) ? parseInt(text.slice(2), 16) : Number(text);
    if (!Number.isInteger(address) || address < 0 || address >= kWords) {
      adapter.say(`'${text}' is not an address 0..65535`);
      return;
    }
    focusAddress(address);
  });
  fit();
  render();

  return {
    /// The words with Break on write, marked in the grid.
    setWatched(addresses) { watched = new Set(addresses); render(); },
    /// Scrolls to address and focuses its cell.
    show(address) { focusAddress(address); },
    setSource(fn) { source = fn; },
    setAdapter(more) { adapter = { ...adapter, ...more }; },
    refresh,
  };
}
