// Makes a class of submissions for the class report's tests, from a seed:
// independently written programs from three different correct solutions
// (each with its own scratch words, order of parts and harmless extra
// instructions), wrong, looping, faulting and unloadable ones, and copies
// of some of them disguised in the ways a student would: comments reworded
// or removed, blank lines moved, data words inserted (every address after
// them shifts), a mnemonic in another case, records joined and split with
// commas. Writes the programs into DIR and DIR/../planted.txt, one copied
// pair a line.
//   node make_class.mjs DIR [COUNT] [SEED]
import { mkdirSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';

const [dir, countArg = '200', seedArg = '7'] = process.argv.slice(2);
if (!dir) {
  console.error('usage: make_class.mjs DIR [COUNT] [SEED]');
  process.exit(64);
}
// A small fixed generator, the same everywhere (xorshift32).
let state = Number(seedArg) >>> 0 || 1;
const next = () => { state ^= state << 13; state >>>= 0; state ^= state >>> 17; state ^= state << 5; state >>>= 0; return state; };
const pick = (list) => list[next() % list.length];
const chance = (p) => next() % 1000 < p * 1000;
const between = (lo, hi) => lo + (next() % (hi - lo + 1));

// A program is a list of items: [mnemonic, operand] with operands that may
// name a label ('@loop'), or {label}; assemble() lays them out two words
// each and writes the text.
function assemble(items, { comments = true } = {}) {
  const at = new Map();
  let address = 0;
  for (const it of items) {
    if (it.label) at.set(it.label, address);
    else if (!it.comment) address += 2;
  }
  return items.map((it) => {
    if (it.label) return null;
    if (it.comment) return comments ? `{ ${it.comment}` : null;
    const [op, arg] = it;
    const value = typeof arg === 'string' && arg.startsWith('@') ? (arg === '@end' ? address : at.get(arg.slice(1))) : arg;
    if (value === undefined) throw new Error(`no label ${arg}`);
    return `${op} ${value}`;
  }).filter((l) => l !== null);
}

// The task: 102 = x * y, 103 = x + y, 104 = 3x, 105 = y, for x at 100 and
// y at 101. Each part is written in one of a few ways; s() gives a scratch
// word of this author's own.
function author(family) {
  const used = new Set([100, 101, 102, 103, 104, 105]);
  const s = () => { let a; do a = between(200, 4000); while (used.has(a)); used.add(a); return a; };
  const n = () => `${next() % 100000}`;
  const junk = () => (chance(0.5) ? [['LDAi', between(0, 999)], ['STAm', s()]] : [['ADDi', 0]]);
  const parts = [];
  // x * y, three ways.
  const count = s(), sum = s();
  if (family === 0) {
    parts.push([{ comment: 'multiply: count y down and add x each time' },
      ['LDAm', 101], ['STAm', count], ['LDAi', 0], ['STAm', 102],
      { label: `m${n()}` }]);
    const loop = parts[0][parts[0].length - 1].label;
    parts[0].push(['LDAm', count], ['ADDi', 65535], ['BVS', `@b${loop}`], ['LDAi', `@after${loop}`], ['STApc', 0],
      { label: `b${loop}` }, ['STAm', count], ['LDAm', 102], ['ADDm', 100], ['STAm', 102], ['LDAi', `@${loop}`], ['STApc', 0],
      { label: `after${loop}` });
  } else if (family === 1) {
    const loop = `k${n()}`;
    parts.push([{ comment: 'product: x times add y into a scratch word' },
      ['LDAi', 0], ['STAm', sum], ['LDAm', 100], ['STAm', count], { label: loop },
      ['LDAm', count], ['ADDi', 65535], ['BVS', `@go${loop}`], ['LDAm', sum], ['STAm', 102], ['LDAi', `@done${loop}`], ['STApc', 0],
      { label: `go${loop}` }, ['STAm', count], ['LDAm', sum], ['ADDm', 101], ['STAm', sum], ['LDAi', `@${loop}`], ['STApc', 0],
      { label: `done${loop}` }]);
  } else {
    // Tests at the bottom: adds first, then takes one off the count.
    const loop = `t${n()}`;
    parts.push([{ comment: 'x * y with the test at the end of the loop' },
      ['LDAi', 0], ['STAm', 102], ['LDAm', 101], ['ADDi', 65535], ['BVS', `@in${loop}`], ['LDAi', `@out${loop}`], ['STApc', 0],
      { label: `in${loop}` }, ['STAm', count], { label: loop },
      ['LDAm', 102], ['ADDm', 100], ['STAm', 102], ['LDAm', count], ['ADDi', 65535], ['BVS', `@more${loop}`], ['LDAi', `@out${loop}`], ['STApc', 0],
      { label: `more${loop}` }, ['STAm', count], ['LDAi', `@${loop}`], ['STApc', 0],
      { label: `out${loop}` }]);
  }
  parts.push(chance(0.5)
    ? [{ comment: 'the sum' }, ['LDAm', 100], ['ADDm', 101], ['STAm', 103]]
    : [{ comment: 'y plus x' }, ['LDAm', 101], ['ADDm', 100], ['STAm', 103]]);
  const t = s();
  parts.push(chance(0.5)
    ? [{ comment: 'three x' }, ['LDAm', 100], ['ADDm', 100], ['ADDm', 100], ['STAm', 104]]
    : [{ comment: 'x doubled plus x' }, ['LDAm', 100], ['ADDm', 100], ['STAm', t], ['ADDm', 100], ['STAm', 104]]);
  parts.push([{ comment: 'the copy' }, ['LDAm', 101], ['STAm', 105]]);
  // The product first; the other parts in this author's order, with extra
  // harmless instructions between.
  const rest = parts.slice(1).sort(() => (next() % 2 ? 1 : -1));
  const items = [];
  for (const part of [parts[0], ...rest]) {
    items.push(...part);
    for (let i = between(1, 3); i > 0; --i) items.push(...junk());
  }
  items.push({ comment: 'the end: PC runs past the program' });
  return items;
}

// What a student does to hide a copy.
const disguises = {
  comments: (items) => items.filter((it) => !it.comment).map((it) => it)
    .flatMap((it, i) => (i % 5 === 0 ? [{ comment: `step ${i} of my own solution` }, it] : [it])),
  data: (items) => {
    const out = [...items];
    for (let k = 0; k < 3; ++k) out.splice(between(2, out.length - 2), 0, ['DATA', between(0, 9)]);
    return out;
  },
  lowercase: (items) => items.map((it) => (Array.isArray(it) && it[0] === 'ADDi' && it[1] === 0 ? ['addi', 0] : it)),
  commas: null, // on the text: records joined and split
  everything: null,
};
function disguise(items, how) {
  if (how === 'commas' || how === 'everything') {
    const base = how === 'everything' ? disguises.lowercase(disguises.data(disguises.comments(items))) : items;
    const lines = assemble(base);
    const out = [];
    for (let i = 0; i < lines.length; ++i) {
      if (!lines[i].startsWith('{') && i + 1 < lines.length && !lines[i + 1].startsWith('{') && i % 3 === 0) {
        out.push(`${lines[i]}, ${lines[i + 1]}`);
        ++i;
      } else {
        out.push(lines[i], ...(i % 7 === 0 ? [''] : []));
      }
    }
    return out;
  }
  return assemble(disguises[how](items));
}

mkdirSync(dir, { recursive: true });
const count = Number(countArg);
const written = [];
const planted = [];
const ways = ['comments', 'data', 'lowercase', 'commas', 'everything'];
for (let i = 0; written.length < count; ++i) {
  const name = `s${String(i).padStart(4, '0')}`;
  const roll = next() % 100;
  let lines;
  if (roll < 6) lines = ['LDAi 0', 'STAm 102', 'LDAm 100', 'ADDm 101', 'STAm 103'];            // wrong: no product
  else if (roll < 9) lines = ['LDAi 0', 'STApc 0'];                                            // an endless loop
  else if (roll < 11) lines = ['LDAi 5', 'STAm 70000'];                                        // a fault
  else if (roll < 13) lines = ['LDAi 5', 'ADDi 3e9'];                                            // does not load
  else {
    const items = author(i % 3);
    lines = assemble(items);
    if (roll >= 85 && written.length + 2 <= count) {
      const copy = `${name}c`;
      writeFileSync(join(dir, `${copy}.ram`), `${disguise(items, ways[planted.length % ways.length]).join('\n')}\n`);
      written.push(copy);
      planted.push(`${name} ${copy}`);
    }
  }
  writeFileSync(join(dir, `${name}.ram`), `${lines.join('\n')}\n`);
  written.push(name);
}
writeFileSync(join(dirname(dir), 'planted.txt'), `${planted.sort().join('\n')}\n`);
console.log(`${written.length} programs, ${planted.length} planted copies`);
