// The Memory grid: all 65,536 words, eight to a row, drawn only where they
// are seen. Values come from the debug adapter's memory scope; an edit goes
// back through setVariable, which reads operand syntax (&H10 too).

const kWords = 65536;
const kPerRow = 8;
const kRows = kWords / kPerRow;
const kRowHeight = 24;

export function memoryGrid(container, gotoInput, adapter) {
  const scroller = document.createElement('div');
  scroller.className = 'memory-scroll';
  scroller.tabIndex = -1;
  // The grid holds its rows directly; the scroller around it only scrolls.
  const spacer = document.createElement('div');
  spacer.setAttribute('role', 'grid');
  spacer.setAttribute('aria-label', 'Memory');
  spacer.setAttribute('aria-rowcount', String(kRows));
  spacer.style.height = `${kRows * kRowHeight}px`;
  spacer.style.position = 'relative';
  scroller.append(spacer);
  container.append(scroller);

  let values = new Map(); // address -> value shown
  let changed = new Set();
  let marks = { access: new Map(), targets: new Map() }; // what the last step touched
  let focused = 0;
  let source = null; // () => Promise of {start, count} -> [{name, value}]
  // Renders overlap (a scroll, a step, Go to address); only the latest may
  // draw, or an older one would put back rows from before.
  let latestRender = 0;
  // The word being edited keeps its input across renders, so a step or a
  // scroll that lands during an edit does not lose what is typed.
  let editing = null; // {address, input}
  let redrawing = false;

  async function fetchRows(first, last) {
    if (!source) return;
    const start = first * kPerRow;
    const words = await source(start, (last - first) * kPerRow);
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
    if (access || target)
      el.setAttribute('aria-label', `${address}: ${el.textContent} (${[access === 'pc' ? 'the instruction' : access, target && `branch target, ${target}`].filter(Boolean).join(', ')})`);
    el.addEventListener('dblclick', () => edit(el));
    el.addEventListener('keydown', (e) => keydown(e, address, el));
    return el;
  }

  /// Draws the rows in view; resolves true when this render is the one shown.
  async function render() {
    const ticket = ++latestRender;
    const first = Math.max(0, Math.floor(scroller.scrollTop / kRowHeight) - 2);
    const last = Math.min(kRows, first + Math.ceil(scroller.clientHeight / kRowHeight) + 4);
    await fetchRows(first, last);
    if (ticket !== latestRender) return false;
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
        const head = document.createElement('div');
        head.setAttribute('role', 'rowheader');
        head.textContent = String(r * kPerRow);
        row.append(head);
        for (let c = 0; c < kPerRow; ++c) row.append(cell(r * kPerRow + c));
        rows.push(row);
      }
      spacer.replaceChildren(...rows);
    } finally {
      redrawing = false;
    }
    if (typing && editing.input.isConnected) editing.input.focus();
    return true;
  }

  function focusAddress(address) {
    focused = Math.max(0, Math.min(kWords - 1, address));
    const row = Math.floor(focused / kPerRow);
    if (row * kRowHeight < scroller.scrollTop || (row + 1) * kRowHeight > scroller.scrollTop + scroller.clientHeight)
      scroller.scrollTop = Math.max(0, row * kRowHeight - scroller.clientHeight / 2);
    render().then((shown) => {
      if (shown && !editing) spacer.querySelector(`[data-address="${focused}"]`)?.focus();
    });
  }

  function keydown(e, address, el) {
    const moves = { ArrowRight: 1, ArrowLeft: -1, ArrowDown: kPerRow, ArrowUp: -kPerRow,
      PageDown: kPerRow * 10, PageUp: -kPerRow * 10 };
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
  render();

  return {
    setSource(fn) { source = fn; },
    refresh,
  };
}
