// wren-dap driven by the debug-adapter test client that VS Code's own
// adapters use, with wren-trace as the reference for registers and memory.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { DebugClient } from '@vscode/debugadapter-testsupport';

const adapter = process.env.WREN_DAP;
const trace = process.env.WREN_TRACE;
const examples = process.env.WREN_EXAMPLES;
const dir = mkdtempSync(join(tmpdir(), 'wren-dap-'));
after(() => rmSync(dir, { recursive: true, force: true }));

function program(name, text) {
  const path = join(dir, name);
  writeFileSync(path, text);
  return path;
}

const clients = [];
async function client() {
  // The client runs its first argument with the second as the only argument.
  const dc = new DebugClient('/usr/bin/env', adapter, 'wren-ram');
  dc.defaultTimeout = 10000;
  await dc.start();
  clients.push(dc);
  return dc;
}
after(async () => { for (const dc of clients) await dc.stop().catch(() => {}); });

async function launchStopped(dc, args) {
  await Promise.all([dc.configurationSequence(), dc.launch(args), dc.waitForEvent('stopped')]);
}

async function registers(dc) {
  const scopes = await dc.scopesRequest({ frameId: 1 });
  const vars = await dc.variablesRequest({ variablesReference: scopes.body.scopes[0].variablesReference });
  return Object.fromEntries(vars.body.variables.map((v) => [v.name, v.value]));
}

function traceJson(args) {
  let out;
  try { out = execFileSync(trace, ['--json', ...args], { encoding: 'utf8' }); } catch (e) { out = e.stdout; }
  return out.trim().split('\n').map((l) => JSON.parse(l));
}

const fill = () => join(examples, 'fill-memory.ram');

test('a breakpoint stops before its line runs, on the right line', async () => {
  const dc = await client();
  // Line 8 is the loop's STAm 200 (address 6).
  await dc.hitBreakpoint({ program: fill() }, { path: fill(), line: 8 });
  const regs = await registers(dc);
  assert.equal(regs.PC, '6');
  const frames = await dc.stackTraceRequest({ threadId: 1 });
  assert.equal(frames.body.stackFrames[0].name, '6   STAm 200');
  assert.equal(frames.body.stackFrames[0].instructionPointerReference, '6');
});

test('a breakpoint on a comment moves to the next record, and past the last is refused', async () => {
  const dc = await client();
  const initialized = dc.waitForEvent('initialized');
  await dc.launch({ program: fill(), stopOnEntry: true });
  await initialized;
  const set = await dc.setBreakpointsRequest({ source: { path: fill() }, breakpoints: [{ line: 6 }, { line: 1 }, { line: 30 }] });
  assert.deepEqual(set.body.breakpoints.map((b) => [b.verified, b.line]), [[true, 7], [true, 4], [false, 30]]);
  assert.match(set.body.breakpoints[2].message, /no instruction or data at or after line 30/);
});

test('the registers after N steps are wren-trace\'s at step N; stepBack undoes exactly one', async () => {
  const dc = await client();
  await launchStopped(dc, { program: fill(), stopOnEntry: true });
  const steps = traceJson(['--steps', '7', fill()]);
  for (let n = 1; n <= 7; n++) {
    await Promise.all([dc.nextRequest({ threadId: 1 }), dc.assertStoppedLocation('step', {})]);
    const regs = await registers(dc);
    const s = steps[n - 1];
    assert.deepEqual(regs, { A: String(s.a), PC: String(s.pc), V: s.v ? 'True' : 'False', Cycles: String(s.cycles) }, `step ${n}`);
  }
  // Step 7 was the STAm 7 that moved the loop's target to 201; back one step
  // and the word is 200 again.
  const word7 = async () => (await dc.evaluateRequest({ expression: 'M[7]' })).body.result;
  assert.equal(await word7(), '201');
  await Promise.all([dc.stepBackRequest({ threadId: 1 }), dc.assertStoppedLocation('step', {})]);
  assert.equal(await word7(), '200');
  assert.equal((await registers(dc)).PC, String(steps[5].pc));
});

test('next onto a breakpoint stops there once, as a step', async () => {
  const dc = await client();
  await launchStopped(dc, { program: fill(), stopOnEntry: true });
  await dc.setBreakpointsRequest({ source: { path: fill() }, breakpoints: [{ line: 5 }] }); // STAm 300 at 2
  await Promise.all([dc.nextRequest({ threadId: 1 }), dc.assertStoppedLocation('step', { line: 5 })]);
  await Promise.all([dc.nextRequest({ threadId: 1 }), dc.assertStoppedLocation('step', { line: 7 })]);
});

test('a data breakpoint stops after the step that writes its word', async () => {
  const dc = await client();
  await launchStopped(dc, { program: fill(), stopOnEntry: true });
  const info = await dc.dataBreakpointInfoRequest({ variablesReference: 2, name: '203' });
  assert.equal(info.body.dataId, '203');
  await dc.setDataBreakpointsRequest({ breakpoints: [{ dataId: info.body.dataId, accessType: 'write' }] });
  await Promise.all([dc.continueRequest({ threadId: 1 }), dc.assertStoppedLocation('data breakpoint', { line: 10 })]);
  assert.equal((await dc.evaluateRequest({ expression: '203', context: 'hover' })).body.result, '4');
});

test('the end stops, then continue exits 0', async () => {
  const dc = await client();
  const stopped = dc.waitForEvent('stopped');
  await Promise.all([dc.configurationSequence(), dc.launch({ program: join(examples, 'jump-table.ram') })]);
  const event = await stopped;
  assert.equal(event.body.reason, 'end');
  assert.equal(event.body.description, 'no instruction at address 40');
  assert.equal((await registers(dc)).A, '222');
  // PC holds no instruction: the frame shows the last line that ran.
  const frame = (await dc.stackTraceRequest({ threadId: 1 })).body.stackFrames[0];
  assert.equal(frame.source.path, join(examples, 'jump-table.ram'));
  assert.equal(frame.line, 29); // LDAm 302 at address 38, the last step
  assert.equal(frame.instructionPointerReference, '40');
  const exited = dc.waitForEvent('exited');
  const terminated = dc.waitForEvent('terminated');
  await dc.continueRequest({ threadId: 1 });
  assert.equal((await exited).body.exitCode, 0);
  await terminated;
});

test('a fault stops with its exception info and the registers it left, then exits 2', async () => {
  const dc = await client();
  const path = program('fault.ram', 'LDAi 9\nSTAm 65536\n');
  const stopped = dc.waitForEvent('stopped');
  await Promise.all([dc.configurationSequence(), dc.launch({ program: path })]);
  assert.equal((await stopped).body.reason, 'exception');
  const info = await dc.exceptionInfoRequest({ threadId: 1 });
  assert.equal(info.body.description, 'index out of range: STAm operand 65536 at address 2');
  assert.deepEqual(await registers(dc), { A: '9', PC: '4', V: 'False', Cycles: '3' });
  // PC moved past the STAm, but the fault is that line's.
  const frame = (await dc.stackTraceRequest({ threadId: 1 })).body.stackFrames[0];
  assert.deepEqual([frame.source.path, frame.line], [path, 2]);
  const exited = dc.waitForEvent('exited');
  await dc.nextRequest({ threadId: 1 });
  assert.equal((await exited).body.exitCode, 2);
});

test('pause stops a long run; an endless loop stops by itself and says so', async () => {
  let dc = await client();
  // Two counters, at 100 and 101: no state comes back before the cycle count runs out.
  const long = program('long.ram', 'LDAm 100\nADDi 1\nSTAm 100\nBVS 12\nLDAi 0\nSTApc 0\n' +
    'LDAm 101\nADDi 1\nSTAm 101\nLDAi 0\nSTApc 0\n');
  await Promise.all([dc.configurationSequence(), dc.launch({ program: long })]);
  await new Promise((r) => setTimeout(r, 200));
  let stopped = dc.waitForEvent('stopped', 2000);
  await dc.pauseRequest({ threadId: 1 });
  assert.equal((await stopped).body.reason, 'pause');
  assert.ok(Number((await registers(dc)).Cycles) > 3 * 1_000_000);

  dc = await client();
  stopped = dc.waitForEvent('stopped', 2000);
  const path = program('endless.ram', 'LDAi 65535\nADDi 1\nBVS 4\n');
  await Promise.all([dc.configurationSequence(), dc.launch({ program: path })]);
  const { body } = await stopped;
  assert.deepEqual([body.reason, body.description],
    ['endless loop', 'endless loop: every 1 step, PC, A, V and memory are as they were']);
  // Found on the fourth step, as wren-trace --detect-loops finds it; each
  // step can be undone.
  assert.deepEqual([(await registers(dc)).PC, (await registers(dc)).Cycles], ['4', '12']);
  await dc.customRequest('stepBack', { threadId: 1 });
  assert.deepEqual([(await registers(dc)).PC, (await registers(dc)).Cycles], ['4', '9']);
});

test('readMemory gives the bytes of wren-trace --dump, little-endian', async () => {
  const dc = await client();
  const stopped = dc.waitForEvent('stopped');
  await Promise.all([dc.configurationSequence(), dc.launch({ program: fill() })]);
  await stopped; // the end
  const dump = traceJson(['--quiet', '--dump', '200:209', fill()]).at(-1).dump[0].words;
  const read = await dc.customRequest('readMemory', { memoryReference: '200', count: 44 });
  const bytes = Buffer.from(read.body.data, 'base64');
  assert.equal(bytes.length, 44);
  assert.deepEqual(Array.from({ length: 10 }, (_, i) => bytes.readInt32LE(4 * i)), dump);
  const last = await dc.customRequest('readMemory', { memoryReference: '65535', count: 8 });
  assert.equal(last.body.unreadableBytes, 4);
});

test('setVariable on memory changes what the program computes', async () => {
  const dc = await client();
  const path = program('add.ram', 'LDAm 100\nADDm 101\nSTAm 102\n');
  await launchStopped(dc, { program: path, stopOnEntry: true, set: { 100: 7, 101: '&H10' } });
  await dc.setVariableRequest({ variablesReference: 2, name: '101', value: '&HFF' });
  const stopped = dc.waitForEvent('stopped');
  await dc.continueRequest({ threadId: 1 });
  assert.equal((await stopped).body.reason, 'end');
  assert.equal((await dc.evaluateRequest({ expression: 'M[102]' })).body.result, '262');
});

test('restart reads the edited file again and keeps the breakpoints', async () => {
  const dc = await client();
  const path = program('edit.ram', 'LDAi 1\nLDAi 2\nLDAi 3\n');
  await dc.hitBreakpoint({ program: path }, { path, line: 3 });
  assert.equal((await registers(dc)).A, '2');
  writeFileSync(path, 'LDAi 10\nLDAi 20\nLDAi 30\n');
  const stopped = dc.assertStoppedLocation('breakpoint', { line: 3 });
  await dc.customRequest('restart', {});
  await stopped;
  assert.equal((await registers(dc)).A, '20');
});

test('launch errors are answered, and the adapter goes on', async () => {
  const dc = await client();
  await dc.initializeRequest();
  const failures = [
    [{}, /'program' must name the program file/],
    [{ program: program('bad.ram', 'LDAi 1\nLDAi 9e9\n') }, /bad\.ram:2: operand "9e9" is outside the 32-bit range/],
    [{ program: join(dir, 'missing.ram') }, /missing\.ram: cannot open: No such file/],
    [{ program: fill(), set: { 70000: 1 } }, /'70000' is not an address/],
    [{ program: fill(), set: { 100: 'x' } }, /the value of 100, "x", is not a whole number/],
  ];
  for (const [args, message] of failures)
    await assert.rejects(dc.launchRequest(args), message);
  const output = dc.assertOutput('console', `${join(dir, 'slip.ram')}:1:1: warning: unknown mnemonic 'ldai' [-Wunknown-mnemonic]\n`);
  await dc.launchRequest({ program: program('slip.ram', 'ldai 5\n'), stopOnEntry: true });
  await output;
});
