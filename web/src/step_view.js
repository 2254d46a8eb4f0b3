// A step as the debug adapter describes it (the core's own description, in
// JSON): the words it lights in memory, its line in the "Last step" region,
// and the datapath picture. Nothing here knows what an instruction does; it
// draws the reads, writes and branch that the description lists.

/// Memory marks for a step: address -> 'pc' | 'read' | 'write', and the
/// branch target -> 'taken' | 'not-taken'.
export function accessMarks(step) {
  const access = new Map();
  const targets = new Map();
  if (!step) return { access, targets };
  if (inMemory(step.at)) access.set(step.at, 'pc');
  if (inMemory(step.at + 1) && inMemory(step.at)) access.set(step.at + 1, 'pc');
  for (const r of step.reads) if (r.what === 'M') access.set(r.address, 'read');
  for (const w of step.writes) if (w.what === 'M') access.set(w.address, 'write');
  if (step.branch) targets.set(step.branch.target, step.branch.taken ? 'taken' : 'not-taken');
  return { access, targets };
}

/// The editor lines a step touched: the instruction's, and those of the
/// records whose words it read or wrote.
export function touchedLines(step) {
  const lines = new Set();
  for (const list of [step?.reads ?? [], step?.writes ?? []])
    for (const a of list) if (a.line) lines.add(a.line);
  if (step?.line) lines.delete(step.line);
  return { ran: step?.line ?? null, touched: [...lines] };
}

const inMemory = (address) => address >= 0 && address < 65536;

/// "ADDm 100 at 8"; with PC outside memory no word was fetched, and the
/// processor's own words say so.
export function stepHead(step) {
  if (!inMemory(step.at)) return step.fault ?? `PC ${step.at} is outside memory`;
  return `${step.instruction} at ${step.at}`;
}

// An immediate operand's value, from the instruction as the listing names it
// ("ADDi 7").
const operandOf = (step) => Number(step.instruction.split(' ')[1]);

const svgNS = 'http://www.w3.org/2000/svg';
// About the width of a character of the datapath's 12 px monospace text.
const kCharWidth = 7.3;
/// Text that fits width: one longer (a word as wide as -2147483648) is
/// drawn narrower, whole, rather than run over a part's edge.
function fitted(attrs, text, width) {
  const node = el('text', attrs, text);
  if (text.length * kCharWidth > width) {
    node.setAttribute('textLength', String(width));
    node.setAttribute('lengthAdjust', 'spacingAndGlyphs');
  }
  return node;
}
function el(name, attrs, text) {
  const node = document.createElementNS(svgNS, name);
  for (const [k, v] of Object.entries(attrs)) node.setAttribute(k, String(v));
  if (text !== undefined) node.textContent = text;
  return node;
}

// The machine's parts, and the wires between them that a step can use.
const boxes = {
  memory: { x: 10, y: 20, w: 120, h: 210, label: 'Memory' },
  pc: { x: 220, y: 20, w: 110, h: 44, label: 'PC' },
  inc: { x: 390, y: 20, w: 60, h: 44, label: '+2' },
  a: { x: 220, y: 120, w: 110, h: 44, label: 'A' },
  adder: { x: 410, y: 110, w: 70, h: 64, label: 'adder' },
  v: { x: 220, y: 190, w: 110, h: 40, label: 'V' },
};
const wires = {
  fetch: 'M 220 42 L 130 42',               // PC addresses the instruction
  next: 'M 330 34 L 390 34',                // PC to the +2
  'next-back': 'M 420 20 L 420 8 L 275 8 L 275 20', // PC + 2 into PC
  'to-pc': 'M 130 60 L 250 60 L 250 64',    // n (or A) into PC: a jump
  'a-pc': 'M 240 120 L 240 64',             // A into PC (STApc)
  'mem-a': 'M 130 142 L 220 142',           // a word, or n, into A
  'a-mem': 'M 220 156 L 130 156',           // A into a word (STAm)
  'mem-adder': 'M 130 100 L 445 100 L 445 110', // a word, or n, into the adder
  'a-adder': 'M 330 132 L 410 132',         // A into the adder
  'pc-adder': 'M 450 64 L 450 110',         // PC + 2 into the adder
  'pc-a': 'M 400 64 L 400 150 L 330 150',   // PC + 2 into A (LDApc)
  'adder-a': 'M 445 174 L 445 182 L 300 182 L 300 164', // the sum into A
  'adder-v': 'M 480 142 L 520 142 L 520 210 L 330 210', // sum > 65535 into V
  'v-pc': 'M 230 190 L 230 64',             // V decides the branch
};

// Which wires the description says were used: from what it read and wrote.
function litWires(step) {
  const lit = new Map(); // wire -> value shown on it
  if (!step || step.outcome === 'no-instruction') return lit;
  const read = (what) => step.reads.find((r) => r.what === what);
  const wrote = (what) => step.writes.find((w) => w.what === what);
  const a = wrote('A');
  const v = wrote('V');
  const pc = wrote('PC');
  const m = step.reads.find((r) => r.what === 'M');
  const store = step.writes.find((w) => w.what === 'M');
  if (inMemory(step.at)) lit.set('fetch', null); // the memory box names the instruction
  const sums = v !== undefined; // only the three adds write V
  if (sums) {
    lit.set('a-adder', read('A')?.value);
    if (m) lit.set('mem-adder', m.value);
    else if (read('PC')) lit.set('pc-adder', step.at + 2);
    else lit.set('mem-adder', operandOf(step));
    if (a) lit.set('adder-a', a.new);
    if (v) lit.set('adder-v', v.new ? 'True' : 'False');
  } else if (a) {
    if (read('PC')) lit.set('pc-a', a.new);
    else lit.set('mem-a', a.new);
  }
  if (store) lit.set('a-mem', store.new);
  if (read('V')) lit.set('v-pc', read('V').value ? 'True' : 'False');
  if (pc) {
    if (step.branch?.taken) lit.set('to-pc', pc.new);
    else if (read('A') && !sums && !store && !a) lit.set('a-pc', pc.new);
    else { lit.set('next', step.at); lit.set('next-back', pc.new); }
  }
  return lit;
}

// Where each wire's value is written, and the room it has: on the short
// wires between two parts it is centred, so that it stays clear of both.
const valueAt = {
  fetch: [140, 37, 70], 'to-pc': [190, 56, 56], 'a-pc': [244, 100, 100], 'mem-a': [170, 137, 68, 'middle'],
  'a-mem': [170, 170, 68, 'middle'], 'mem-adder': [290, 95, 140], 'a-adder': [366, 127, 60, 'middle'],
  'pc-adder': [455, 90, 90], 'pc-a': [365, 146, 60, 'middle'], 'adder-a': [372, 196, 120],
  'adder-v': [490, 224, 60], 'v-pc': [196, 178, 30], next: [360, 28, 26], 'next-back': [340, 19, 70],
};

/// Draws the datapath with the wires and parts the step used lit, and the
/// values that moved on them; returns the names of the lit wires.
export function drawDatapath(svg, step, description) {
  const lit = litWires(step);
  const litParts = new Set();
  for (const r of step?.reads ?? []) litParts.add(r.what === 'M' ? 'memory' : r.what.toLowerCase());
  for (const w of step?.writes ?? []) if (w.what !== 'Cycles') litParts.add(w.what === 'M' ? 'memory' : w.what.toLowerCase());
  if (lit.has('adder-a') || lit.has('adder-v')) litParts.add('adder');
  if (lit.has('next')) litParts.add('inc');
  const desc = svg.querySelector('desc');
  svg.replaceChildren(desc);
  desc.textContent = description;
  const defs = el('defs', {});
  for (const [id, colour] of [['arrow', '--wire'], ['arrow-lit', '--lit']]) {
    const marker = el('marker', { id, viewBox: '0 0 10 10', refX: 8, refY: 5, markerWidth: 6, markerHeight: 6, orient: 'auto-start-reverse' });
    marker.append(el('path', { d: 'M 0 0 L 10 5 L 0 10 z', style: `fill: var(${colour})` }));
    defs.append(marker);
  }
  svg.append(defs);
  for (const [name, d] of Object.entries(wires))
    svg.append(el('path', { d, class: lit.has(name) ? 'wire lit' : 'wire', 'data-wire': name, ...(lit.has(name) ? { 'data-lit': '' } : {}) }));
  const regValue = (what) => {
    const w = step?.writes.find((x) => x.what === what);
    if (w) return `${w.old === true ? 'True' : w.old === false ? 'False' : w.old} → ${w.new === true ? 'True' : w.new === false ? 'False' : w.new}`;
    const r = step?.reads.find((x) => x.what === what);
    return r ? String(r.value === true ? 'True' : r.value === false ? 'False' : r.value) : '';
  };
  for (const [name, b] of Object.entries(boxes)) {
    const g = el('g', { 'data-part': name, ...(litParts.has(name) ? { 'data-lit': '' } : {}) });
    g.append(el('rect', { x: b.x, y: b.y, width: b.w, height: b.h, rx: 6, class: litParts.has(name) ? 'box lit' : 'box' }));
    g.append(el('text', { x: b.x + 8, y: b.y + 17, class: 'label' }, b.label));
    let value = '';
    if (name === 'pc' || name === 'a' || name === 'v') value = regValue(name.toUpperCase());
    if (name === 'memory') {
      const m = step?.writes.find((x) => x.what === 'M') ?? step?.reads.find((x) => x.what === 'M');
      if (m) value = m.new !== undefined ? `M[${m.address}] ← ${m.new}` : `M[${m.address}] = ${m.value}`;
      if (step && inMemory(step.at)) g.append(el('text', { x: b.x + 8, y: b.y + 60 }, `M[${step.at}]:`), fitted({ x: b.x + 8, y: b.y + 76 }, step.instruction, b.w - 14));
    }
    if (value) g.append(fitted({ x: b.x + 8, y: b.y + (name === 'memory' ? 110 : 35), class: 'value' }, value, b.w - 14));
    svg.append(g);
  }
  for (const [name, value] of lit) {
    if (value === undefined || value === null || !valueAt[name]) continue;
    const [x, y, width, anchor = 'start'] = valueAt[name];
    svg.append(fitted({ x, y, 'text-anchor': anchor, class: 'value', 'data-on': name }, String(value), width));
  }
  return [...lit.keys()];
}
