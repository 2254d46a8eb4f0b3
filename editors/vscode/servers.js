// Which language server and debug adapter the extension starts: the native
// programs where they are installed, and otherwise the WebAssembly builds it
// carries, run by VS Code's own Node.js, so that nothing else is needed on
// Windows, macOS or a machine without the Debian package.
'use strict';

const fs = require('node:fs');
const path = require('node:path');

/// The full path of command (a name on PATH, or a path), or undefined when
/// no such program is there.
function findProgram(command, env = process.env, platform = process.platform) {
  if (!command) return undefined;
  const isFile = (p) => {
    try {
      return fs.statSync(p).isFile();
    } catch {
      return false;
    }
  };
  const suffixes = platform === 'win32'
    ? ['', ...(env.PATHEXT || '.EXE;.CMD;.BAT;.COM').split(';').filter(Boolean)]
    : [''];
  const candidates = (base) => suffixes.map((s) => base + s);
  if (command.includes('/') || command.includes('\\') || path.isAbsolute(command))
    return candidates(command).find(isFile);
  for (const dir of (env.PATH || '').split(path.delimiter).filter(Boolean)) {
    const found = candidates(path.join(dir, command)).find(isFile);
    if (found) return found;
  }
  return undefined;
}

/// What to start for one server: { kind: 'native', command } or
/// { kind: 'webassembly', script }. choice is the wren.server setting.
function chooseServer(choice, configured, script, find = findProgram) {
  if (choice !== 'webassembly') {
    const command = find(configured);
    if (command || choice === 'native') return { kind: 'native', command: command || configured };
  }
  return { kind: 'webassembly', script };
}

/// One line for the Output channel that says which server runs.
function describe(role, server) {
  return server.kind === 'native'
    ? `${role}: ${server.command} (native)`
    : `${role}: ${server.script} (WebAssembly, in VS Code's Node.js)`;
}

module.exports = { findProgram, chooseServer, describe };
