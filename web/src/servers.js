// The page's two servers, each the project's own C++ built as WebAssembly and
// run in a Web Worker: a thin JSON-RPC (language server) and request/response
// (debug adapter) client over postMessage.

/* global WREN_WORKER_SOURCE */
const workerUrl = URL.createObjectURL(new Blob([WREN_WORKER_SOURCE], { type: 'text/javascript' }));

function startWorker(role, onMessage, onFailure) {
  // The module's main reads its role from its arguments.
  const worker = new Worker(workerUrl);
  worker.onmessage = (event) => {
    const data = event.data;
    if (data.message) onMessage(JSON.parse(data.message));
    else if (data.failed) onFailure(data.failed);
  };
  worker.onerror = (event) => onFailure(event.message);
  worker.postMessage({ arguments: [role] });
  return worker;
}

/// The language server: requests answer with promises, notifications go to onNotify.
export function languageServer(onNotify, onFailure) {
  let id = 0;
  const waiting = new Map();
  const worker = startWorker('lsp', (message) => {
    if (message.id !== undefined && waiting.has(message.id)) {
      const { resolve, reject } = waiting.get(message.id);
      waiting.delete(message.id);
      if (message.error) reject(new Error(message.error.message));
      else resolve(message.result);
    } else if (message.method) {
      onNotify(message.method, message.params);
    }
  }, onFailure);
  return {
    request(method, params) {
      const my = ++id;
      worker.postMessage({ message: JSON.stringify({ jsonrpc: '2.0', id: my, method, params }) });
      return new Promise((resolve, reject) => waiting.set(my, { resolve, reject }));
    },
    notify(method, params) {
      worker.postMessage({ message: JSON.stringify({ jsonrpc: '2.0', method, params }) });
    },
  };
}

/// The debug adapter: requests answer with promises of their responses;
/// events go to onEvent. writeFile puts a program where launch reads it.
export function debugAdapter(onEvent, onFailure) {
  let seq = 0;
  const waiting = new Map();
  const worker = startWorker('dap', (message) => {
    if (message.type === 'response' && waiting.has(message.request_seq)) {
      const { resolve, reject } = waiting.get(message.request_seq);
      waiting.delete(message.request_seq);
      if (message.success) resolve(message.body ?? {});
      else reject(new Error(message.message));
    } else if (message.type === 'event') {
      onEvent(message.event, message.body ?? {});
    }
  }, onFailure);
  return {
    request(command, args = {}) {
      const my = ++seq;
      worker.postMessage({ message: JSON.stringify({ seq: my, type: 'request', command, arguments: args }) });
      return new Promise((resolve, reject) => waiting.set(my, { resolve, reject }));
    },
    writeFile(path, text) {
      worker.postMessage({ file: { path, text } });
    },
  };
}

/// The grader: grade({cases, program, seed}, progress) answers with every
/// case's outcome (progress, when given, hears how many inputs of a long case
/// have run), grade({check: {cases, seed}}, progress) with the case file
/// checked by small changes of its model answer (progress hears how many
/// changes), grade({class: {cases, files, seed}}) with a class report (and
/// the listener given to onProgress hears how far it is); writeFile puts
/// files in place; cancel() stops what is under way, whose answer is then
/// {stopped: true}. One worker, which the grading and class panes share.
export function grader(onFailure) {
  const waiting = [];
  const files = new Map();
  let onProgress = () => {};
  let worker;
  function start() {
    worker = startWorker('grade', (message) => {
      // A request's own progress (inputs of a case, changes checked), or
      // the class's, which the class view hears.
      const own = message.inputs || message.changes;
      if (message.progress === undefined) waiting.shift()?.resolve(message);
      else if (own && waiting[0]?.progress) waiting[0].progress(message.progress, message.of);
      else if (!own) onProgress(message.progress, message.of);
    }, onFailure);
    // A new worker gets the files the last one had.
    for (const [path, text] of files) worker.postMessage({ file: { path, text } });
  }
  start();
  return {
    onProgress(listener) { onProgress = listener; },
    writeFile(path, text) {
      files.set(path, text);
      worker.postMessage({ file: { path, text } });
    },
    grade(request, progress = null) {
      worker.postMessage({ message: JSON.stringify(request) });
      return new Promise((resolve) => waiting.push({ resolve, progress }));
    },
    // The worker is busy in one long call: stopping it is ending it.
    cancel() {
      worker.terminate();
      for (const { resolve } of waiting.splice(0)) resolve({ stopped: true });
      start();
    },
  };
}
