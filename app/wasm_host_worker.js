// The host of a server module in a Web Worker: the page posts messages in
// ({arguments} first, for the module's main; then {message} for the
// protocol, or {file} to put a program into the module's file system), and
// each message the server sends is posted back as {message}. A continue runs in slices between them, so that the page's
// pause is answered at once. A failure inside the module is posted as
// {failed} in one line.
(() => {
  const queue = [];
  let server;
  let failed = false;
  const encoder = new TextEncoder();
  const decoder = new TextDecoder();

  const fail = (error) => {
    if (failed) return;
    failed = true;
    self.postMessage({ failed: String((error && error.message) || error).split('\n')[0] });
  };

  // What the server writes is framed: the page gets the JSON body alone.
  let pending = new Uint8Array(0);
  const received = (bytes) => {
    const joined = new Uint8Array(pending.length + bytes.length);
    joined.set(pending);
    joined.set(bytes, pending.length);
    pending = joined;
    for (;;) {
      const text = decoder.decode(pending.subarray(0, Math.min(pending.length, 64)));
      const end = text.indexOf('\r\n\r\n');
      if (end < 0) return;
      const length = Number(/Content-Length: (\d+)/.exec(text)[1]);
      const start = end + 4;
      if (pending.length < start + length) return;
      self.postMessage({ message: decoder.decode(pending.subarray(start, start + length)) });
      pending = pending.slice(start + length);
    }
  };

  let scheduled = false;
  const tick = new MessageChannel();
  tick.port1.onmessage = () => {
    scheduled = false;
    if (failed) return;
    try {
      server._wren_host_work();
    } catch (error) {
      fail(error);
    }
    schedule();
  };
  const schedule = () => {
    if (failed || scheduled || !server._wren_host_busy()) return;
    scheduled = true;
    tick.port2.postMessage(0);
  };

  const handle = (data) => {
    if (failed) return;
    try {
      if (data.arguments) {
        const status = server.callMain(data.arguments);
        if (!server._wren_host_serving()) self.postMessage({ exited: status });
      }
      if (data.file) {
        const folder = data.file.path.slice(0, data.file.path.lastIndexOf('/'));
        if (folder) server.FS.mkdirTree(folder);
        server.FS.writeFile(data.file.path, data.file.text);
      }
      if (data.message !== undefined) {
        const body = encoder.encode(typeof data.message === 'string' ? data.message : JSON.stringify(data.message));
        const framed = new Uint8Array([...encoder.encode(`Content-Length: ${body.length}\r\n\r\n`), ...body]);
        const at = server._malloc(framed.length);
        server.HEAPU8.set(framed, at);
        const status = server._wren_host_feed(at, framed.length);
        server._free(at);
        if (status >= 0) self.postMessage({ exited: status });
      }
      if (server._wren_host_serving()) schedule();
    } catch (error) {
      fail(error);
    }
  };

  self.onmessage = (event) => (server ? handle(event.data) : queue.push(event.data));

  WrenServer({
    noInitialRun: true,
    hostWrite: (bytes) => received(bytes.slice()),
    onAbort: fail,
    print: () => {},
    printErr: () => {},
  }).then((module) => {
    server = module;
    for (const data of queue.splice(0)) handle(data);
  }, fail);
})();
