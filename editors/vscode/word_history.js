// Who wrote a memory word, and its history, while a Wren program is being
// debugged: the debug adapter's whoWrote, wordHistory and goToStep
// requests, from the command palette or a memory word's menu in the
// Variables view.
'use strict';

// A memory word in the Variables view is named by its address.
function addressFrom(arg) {
  const name = arg?.variable?.name;
  return name !== undefined && /^\d+$/.test(name) ? Number(name) : undefined;
}

async function askAddress(vscode, arg) {
  const known = addressFrom(arg);
  if (known !== undefined) return known;
  const text = await vscode.window.showInputBox({
    title: 'Memory word', prompt: 'Address of the word (0..65535, or &H hex)',
    validateInput: (t) => (/^(\d+|&[Hh][0-9A-Fa-f]+)$/.test(t.trim()) ? null : 'an address such as 100 or &H64'),
  });
  return text === undefined ? undefined : text.trim();
}

function session(vscode) {
  const current = vscode.debug.activeDebugSession;
  if (current?.type === 'wren-ram') return current;
  vscode.window.showInformationMessage('Wren: start debugging a program first.');
  return undefined;
}

const storeText = (address, w) =>
  `step ${w.step.toLocaleString('en')}${w.line ? ` (line ${w.line})` : ''}: STAm ${address} stored ${w.value} over ${w.old}`;

/// Goes back to the step that last stored to a word.
async function whoWrote(vscode, arg) {
  const debug = session(vscode);
  const address = debug && await askAddress(vscode, arg);
  if (address === undefined) return;
  try {
    const body = await debug.customRequest('whoWrote', { address });
    vscode.window.showInformationMessage(body.write
      ? `Word ${body.address} was last written by ${storeText(body.address, body.write)}.`
      : `Nothing has stored to word ${body.address} since ${body.since === 0 ? 'the program was loaded' : `step ${body.since}`}.`);
  } catch (error) {
    vscode.window.showErrorMessage(`Wren: ${error.message}`);
  }
}

/// Lists the stores to a word, newest first; the one picked is gone back to.
async function history(vscode, arg) {
  const debug = session(vscode);
  const address = debug && await askAddress(vscode, arg);
  if (address === undefined) return;
  try {
    const items = [];
    let before = 0;
    for (;;) {
      const body = await debug.customRequest('wordHistory', { address, count: 50, before });
      items.push(...body.writes.map((w) => ({
        label: `Step ${w.step.toLocaleString('en')}`,
        description: `${w.line ? `line ${w.line} · ` : ''}${w.instruction} · ${w.old} → ${w.value}`,
        step: w.step,
      })));
      const earlier = body.more && { label: 'Earlier stores…', earlier: true };
      const picked = await vscode.window.showQuickPick(earlier ? [...items, earlier] : items, {
        title: `History of word ${body.address}: ${items.length}${body.more ? ' newest' : ''} stores, newest first`,
        placeHolder: items.length ? 'Go back to just after the step' : `Nothing has stored to word ${body.address}`,
      });
      if (!picked) return;
      if (!picked.earlier) {
        await debug.customRequest('goToStep', { step: picked.step });
        return;
      }
      before = items.at(-1).step;
    }
  } catch (error) {
    vscode.window.showErrorMessage(`Wren: ${error.message}`);
  }
}

function registerWordCommands(vscode) {
  return [
    vscode.commands.registerCommand('wren.whoWrote', (arg) => whoWrote(vscode, arg)),
    vscode.commands.registerCommand('wren.wordHistory', (arg) => history(vscode, arg)),
  ];
}

module.exports = { registerWordCommands };
