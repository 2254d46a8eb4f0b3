// Help: the instruction reference, from the debug adapter, and the guided
// examples, each of which opens in the editor.
import { Events } from './store.js';

/* global WREN_EXAMPLES */
const $ = (id) => document.getElementById(id);

export function setUpHelp(store) {
  const open = () => { if (!$('help').open) $('help').showModal(); };
  $('help-button').addEventListener('click', open);
  store.on(Events.Command, ({ name }) => { if (name === 'help') open(); });
  store.on(Events.Reference, ({ instructions }) => {
    $('reference').tBodies[0].replaceChildren(...instructions.map((row) => {
      const tr = document.createElement('tr');
      const example = `${row.example.instruction} at ${row.example.at}: ${row.example.text}`;
      for (const [i, text] of [row.mnemonic, String(row.opcode), row.effect, String(row.cycles), example].entries()) {
        const cell = document.createElement(i === 0 ? 'th' : 'td');
        if (i === 0) cell.scope = 'row';
        cell.textContent = text;
        tr.append(cell);
      }
      return tr;
    }));
  });
  const guided = Object.keys(WREN_EXAMPLES).filter((name) => name.startsWith('guided-'));
  $('guided').replaceChildren(...guided.map((name) => {
    const item = document.createElement('li');
    const button = document.createElement('button');
    button.type = 'button';
    button.textContent = `Open ${name}`;
    button.addEventListener('click', () => {
      $('help').close();
      store.dispatch(Events.ReplaceProgram, { text: WREN_EXAMPLES[name], name });
    });
    item.append(button, ` ${WREN_EXAMPLES[name].split('\n')[0].replace(/^\{\s*/, '')}`);
    return item;
  }));
}
