// The host of a server module under Node.js: standard input in, standard
// output out, and a continue's slices between reads, on one thread. It
// behaves as the native program does: the same arguments, messages and exit
// statuses. A trap or an out-of-memory inside the module ends the process
// with one line on standard error and status 1.
{
  const name = require('node:path').basename(process.argv[1] ?? 'wren', '.mjs');
  let finished = false;

  const fail = (error) => {
    if (finished) return;
    finished = true;
    const text = String(error?.message ?? error).split('\n')[0];
    process.stderr.write(`${name}: the WebAssembly module failed: ${text}\n`);
    process.exit(1);
  };

  // Exits once what was written has reached the reader.
  const finish = (status) => {
    if (finished) return;
    finished = true;
    process.stdin.pause();
    process.exitCode = status;
    process.stdout.write('', () => process.exit(status));
  };

  let server;
  try {
    server = await Module({
      noInitialRun: true,
      hostWrite: (bytes) => process.stdout.write(Buffer.from(bytes)),
      onAbort: fail,
      // The runtime's own messages are about failures, which fail reports in
      // one line. The program's standard error goes straight to descriptor 2.
      printErr: () => {},
    });
  } catch (error) {
    fail(error);
  }

  // Between reads, one slice of a continue at a time, so that pause and new
  // requests are read and answered while it runs.
  let scheduled = false;
  const schedule = () => {
    if (finished || scheduled || !server._wren_host_busy()) return;
    scheduled = true;
    setImmediate(() => {
      scheduled = false;
      if (finished) return;
      try {
        server._wren_host_work();
      } catch (error) {
        fail(error);
      }
      schedule();
    });
  };

  const settle = (status) => (status >= 0 ? finish(status) : schedule());

  if (server && !finished) {
    try {
      const status = server.callMain(process.argv.slice(2));
      if (!server._wren_host_serving()) {
        finish(status);
      } else {
        process.stdout.on('error', () => finish(1)); // the reader went away
        process.stdin.on('data', (chunk) => {
          if (finished) return;
          try {
            const at = server._malloc(chunk.length);
            server.HEAPU8.set(chunk, at);
            const fed = server._wren_host_feed(at, chunk.length);
            server._free(at);
            settle(fed);
          } catch (error) {
            fail(error);
          }
        });
        process.stdin.on('end', () => {
          if (finished) return;
          try {
            settle(server._wren_host_end());
          } catch (error) {
            fail(error);
          }
        });
      }
    } catch (error) {
      fail(error);
    }
  }
}
