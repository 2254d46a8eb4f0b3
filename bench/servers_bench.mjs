// The editor servers, native and WebAssembly, measured in one run under
// Node.js: start-up (spawn to the initialize answer), the diagnostics of a
// change to a 32,768-record program, and continue on a long program that
// ends, beside the native untraced run loop (wren-trace) on the same
// program; and how soon pause is answered.
//
//   node bench/servers_bench.mjs BIN_DIR WASM_BIN_DIR [native]
import { spawn, execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const [bin, wasmBin] = process.argv.slice(2);
if (!bin || !wasmBin) {
  console.error('usage: servers_bench.mjs BIN_DIR WASM_BIN_DIR');
  process.exit(64);
}
const dir = mkdtempSync(join(tmpdir(), 'wren-bench-'));
const loop = join(dir, 'count.ram');
// Two counters, at 100 and 101 (a carry from one to the other): no state
// comes back, so continue does not stop at an endless loop.
writeFileSync(loop,
  'LDAm 100\nADDi 1\nSTAm 100\nBVS 12\nLDAi 0\nSTApc 0\nLDAm 101\nADDi 1\nSTAm 101\nLDAi 0\nSTApc 0\n');
// The same with the second counter going up by 52: its overflow leaves the
// loop after 495,852,742 steps, within the cycle count's limit.
const ending = join(dir, 'ending.ram');
writeFileSync(ending,
  'LDAm 100\nADDi 1\nSTAm 100\nBVS 12\nLDAi 0\nSTApc 0\nLDAm 101\nADDi 52\nSTAm 101\nBVS 24\nLDAi 0\nSTApc 0\n');

// The same loop with 1,000 records after it that never run, the end behind
// them: line breakpoints on those records cost what they cost, never hit.
const kNeverRun = 1000;
const guarded = join(dir, 'guarded.ram');
writeFileSync(guarded,
  `LDAm 100\nADDi 1\nSTAm 100\nBVS 12\nLDAi 0\nSTApc 0\nLDAm 101\nADDi 52\nSTAm 101\nBVS ${24 + 2 * kNeverRun}\nLDAi 0\nSTApc 0\n` +
  'LDAi 0\n'.repeat(kNeverRun));
// The loop leaving for a record at 24 with a breakpoint: with word 101
// starting at 12,652, it gets there after about 400 million steps.
const hits = join(dir, 'hits.ram');
writeFileSync(hits,
  'LDAm 100\nADDi 1\nSTAm 100\nBVS 12\nLDAi 0\nSTApc 0\nLDAm 101\nADDi 52\nSTAm 101\nBVS 24\nLDAi 0\nSTApc 0\nLDAi 7\n');

// A framed-message peer for one server process.
function connect(program) {
  const child = spawn(program, [], { stdio: ['pipe', 'pipe', 'inherit'] });
  let pending = Buffer.alloc(0);
  const waiters = [];
  const inbox = [];
  child.stdout.on('data', (chunk) => {
    pending = Buffer.concat([pending, chunk]);
    for (;;) {
      const end = pending.indexOf('\r\n\r\n');
      if (end < 0) return;
      const length = Number(/Content-Length: (\d+)/i.exec(pending.subarray(0, end).toString())[1]);
      if (pending.length < end + 4 + length) return;
      inbox.push(JSON.parse(pending.subarray(end + 4, end + 4 + length).toString()));
      pending = pending.subarray(end + 4 + length);
      for (const w of waiters.splice(0)) w();
    }
  });
  return {
    child,
    send(message) {
      const body = Buffer.from(JSON.stringify(message));
      child.stdin.write(Buffer.concat([Buffer.from(`Content-Length: ${body.length}\r\n\r\n`), body]));
    },
    async next(match) {
      for (;;) {
        const at = inbox.findIndex(match);
        if (at >= 0) return inbox.splice(at, 1)[0];
        await new Promise((r) => waiters.push(r));
      }
    },
    async close() {
      child.stdin.end();
      await new Promise((r) => (child.exitCode !== null ? r() : child.on('exit', r)));
    },
  };
}

async function startUp(program) {
  const t0 = performance.now();
  const peer = connect(program);
  peer.send({ jsonrpc: '2.0', id: 1, method: 'initialize', params: { capabilities: {} } });
  await peer.next((m) => m.id === 1);
  const ms = performance.now() - t0;
  return { peer, ms };
}

async function diagnostics(program) {
  const { peer } = await startUp(program);
  // The largest program memory holds, as the language server's own benchmark
  // has it: 32,768 instruction records with comments between them.
  let text = '';
  for (let i = 0; i < 32768; ++i) {
    if (i % 8 === 0) text += `{ block ${i / 8}\n`;
    text += i % 3 === 0 ? 'LDAm 200\n' : i % 3 === 1 ? 'ADDi &H10\n' : 'STAm 201, ';
  }
  const uri = 'file:///bench/big.ram';
  peer.send({ jsonrpc: '2.0', method: 'textDocument/didOpen',
    params: { textDocument: { uri, languageId: 'wren-ram', version: 1, text } } });
  await peer.next((m) => m.params?.textDocument === undefined && m.params?.version === 1);
  let best = Infinity;
  // A keystroke in the middle, then taking it back, ten times.
  for (let version = 2; version < 22; ++version) {
    const add = version % 2 === 0;
    const at = { line: 20000, character: 5 };
    const t0 = performance.now();
    peer.send({ jsonrpc: '2.0', method: 'textDocument/didChange', params: {
      textDocument: { uri, version },
      contentChanges: [{ range: { start: at, end: add ? at : { line: 20000, character: 6 } }, text: add ? 'x' : '' }] } });
    await peer.next((m) => m.params?.version === version);
    best = Math.min(best, performance.now() - t0);
  }
  await peer.close();
  return best;
}

// Continue on a program that ends after 495,852,742 steps: its steps per
// second from continue to the end's stop. Then pause, 300 ms into a run of
// the loop that goes on: how soon it is answered.
async function session(program, file, launchArgs = {}) {
  const peer = connect(program);
  let seq = 0;
  const request = (command, args = {}) => {
    const s = ++seq;
    peer.send({ seq: s, type: 'request', command, arguments: args });
    return peer.next((m) => m.type === 'response' && m.request_seq === s);
  };
  await request('initialize', {});
  await request('launch', { program: file, stopOnEntry: true, ...launchArgs });
  await request('configurationDone');
  await peer.next((m) => m.event === 'stopped');
  return { peer, request };
}

// Continue to the end's stop: steps per second (every instruction of these
// programs takes 3 cycles).
async function rateToEnd(request, peer) {
  const t0 = performance.now();
  await request('continue', { threadId: 1 });
  const ended = await peer.next((m) => m.event === 'stopped');
  const seconds = (performance.now() - t0) / 1000;
  if (ended.body.reason !== 'end') throw new Error(`continue stopped at ${ended.body.reason}, not at the end`);
  const scopes = await request('scopes', { frameId: 1 });
  const vars = await request('variables', { variablesReference: scopes.body.scopes[0].variablesReference });
  return Number(vars.body.variables.find((v) => v.name === 'Cycles').value) / 3 / seconds;
}

async function continueRate(program) {
  let { peer, request } = await session(program, ending);
  const rate = await rateToEnd(request, peer);
  await peer.close();

  ({ peer, request } = await session(program, loop));
  await request('continue', { threadId: 1 });
  await new Promise((r) => setTimeout(r, 300));
  const asked = performance.now();
  await request('pause', { threadId: 1 });
  const paused = await peer.next((m) => m.event === 'stopped');
  if (paused.body.reason !== 'pause') throw new Error(`continue stopped at ${paused.body.reason}, not at pause`);
  const pausedMs = performance.now() - asked;
  await peer.close();
  return { rate, pausedMs };
}

// Continue with breakpoints that never hit: lines on the records that never
// run, or a watch on a word nothing writes; steps per second to the end.
async function breakpointRate(program, lines, watch) {
  const { peer, request } = await session(program, guarded);
  await request('setBreakpoints', { source: { path: guarded },
    breakpoints: Array.from({ length: lines }, (_, i) => ({ line: 13 + (i % kNeverRun) })) });
  if (watch) await request('setDataBreakpoints', { breakpoints: [{ dataId: '60000' }] });
  const rate = await rateToEnd(request, peer);
  await peer.close();
  return rate;
}

// A breakpoint hit after about 400 million steps: the registers and the two
// counters there must be those wren-trace shows after as many steps.
async function hitMatchesTrace(program) {
  const { peer, request } = await session(program, hits, { set: { 101: 12652 } });
  await request('setBreakpoints', { source: { path: hits }, breakpoints: [{ line: 13 }] });
  await request('continue', { threadId: 1 });
  const stopped = await peer.next((m) => m.event === 'stopped');
  if (stopped.body.reason !== 'breakpoint') throw new Error(`stopped at ${stopped.body.reason}, not at the breakpoint`);
  const scopes = await request('scopes', { frameId: 1 });
  const vars = await request('variables', { variablesReference: scopes.body.scopes[0].variablesReference });
  const v = Object.fromEntries(vars.body.variables.map((x) => [x.name, x.value]));
  const words = await request('variables', { variablesReference: 2, start: 100, count: 2 });
  await peer.close();
  const steps = Number(v.Cycles) / 3; // every instruction of this loop takes 3
  let trace;
  try {
    trace = execFileSync(join(bin, 'wren-trace'), ['-q', '--set', '101=12652', '--steps', String(steps), '--dump', '100:101', hits], { encoding: 'utf8' });
  } catch (e) {
    trace = e.stdout; // exit status 4: the step limit ended the run, as asked
  }
  const want = `end: step limit reached after ${steps} steps; A: ${v.A}  PC: ${v.PC}  V: ${v.V}  Cycles: ${v.Cycles}\n` +
    `100: ${words.body.variables[0].value}\n101: ${words.body.variables[1].value}\n`;
  if (trace !== want) throw new Error(`the breakpoint's state differs from wren-trace's:\n${trace}\n${want}`);
  return steps;
}

// wren-trace --quiet on the same file: the untraced run loop that continue
// is held to.
function runLoopRate(file = ending) {
  const t0 = performance.now();
  const end = execFileSync(join(bin, 'wren-trace'), ['-q', '--steps', '1000000000', file], { encoding: 'utf8' });
  return Number(/after (\d+) steps/.exec(end)[1]) / ((performance.now() - t0) / 1000);
}

const M = (x) => `${(x / 1e6).toFixed(0)} M steps/s`;
let servers = { native: { lsp: join(bin, 'wren-lsp'), dap: join(bin, 'wren-dap') },
  WebAssembly: { lsp: join(wasmBin, 'wren-lsp.mjs'), dap: join(wasmBin, 'wren-dap.mjs') } };
try {
  const runLoop = runLoopRate();
  console.log(`native untraced run loop (wren-trace):  ${M(runLoop)}`);
  // "native" as a third argument measures the native servers alone.
if (process.argv[4] === 'native') delete servers.WebAssembly;
for (const [name, s] of Object.entries(servers)) {
    const starts = [];
    for (let i = 0; i < 5; ++i) {
      const { peer, ms } = await startUp(s.lsp);
      starts.push(ms);
      await peer.close();
    }
    starts.sort((a, b) => a - b);
    const diag = await diagnostics(s.lsp);
    const cont = await continueRate(s.dap);
    console.log(`${name}:`);
    console.log(`  start-up to the initialize answer:   ${starts[2].toFixed(0)} ms (median of 5)`);
    console.log(`  diagnostics after a change, 32,768 records: ${diag.toFixed(1)} ms (best of 20)`);
    console.log(`  continue:                             ${M(cont.rate)} (${(cont.rate / runLoop).toFixed(2)} of wren-trace --quiet), pause answered in ${cont.pausedMs.toFixed(0)} ms`);
    // This machine's speed drifts by a third over a minute: each continue
    // is timed in turn with wren-trace --quiet on the same file, five times,
    // and the best of each side set beside the other.
    for (const [label, lines, watch] of [['0 breakpoints', 0, false], ['1 line breakpoint', 1, false],
      ['10 line breakpoints', 10, false], ['1,000 line breakpoints', 1000, false], ['1 data breakpoint', 0, true]]) {
      let native = 0, rate = 0;
      for (let i = 0; i < 5; ++i) {
        native = Math.max(native, runLoopRate(guarded));
        rate = Math.max(rate, await breakpointRate(s.dap, lines, watch));
      }
      console.log(`  continue, ${label.padEnd(24)} ${M(rate)} (${(rate / native).toFixed(2)} of wren-trace --quiet on the same file, ${M(native)})`);
    }
    const steps = await hitMatchesTrace(s.dap);
    console.log(`  a breakpoint hit after ${steps.toLocaleString('en')} steps: the state wren-trace shows there`);
  }
} finally {
  rmSync(dir, { recursive: true, force: true });
}
