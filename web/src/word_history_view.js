// A memory word's history: every store to it in this run, newest first,
// each with its step, line, instruction and old → new value, fifty at a
// time; each entry takes the machine back to just after its step.
import { Events } from './store.js';

const $ = (id) => document.getElementById(id);

/// machine gives wordHistory(address, before) and goToStore(address, write).
export function setUpWordHistory(store, machine) {
  const say = (text) => store.dispatch(Events.Say, { text });
  const dialog = $('word-history');
  const list = $('word-history-list');
  let shown = null; // {address, oldest step listed, count}

  function entry(address, write) {
    const item = document.createElement('li');
    const go = document.createElement('button');
    go.type = 'button';
    go.textContent = `Step ${write.step.toLocaleString('en')}`;
    go.setAttribute('aria-label', `Go to step ${write.step.toLocaleString('en')}: ${write.line ? `line ${write.line}, ` : ''}STAm ${address}, ${write.old} to ${write.value}`);
    go.addEventListener('click', () => {
      dialog.close();
      machine.goToStore(address, write);
    });
    const where = document.createElement('span');
    where.textContent = write.line ? ` line ${write.line} · ` : ` address ${write.address} · `;
    const what = document.createElement('code');
    what.textContent = write.instruction;
    const change = document.createElement('span');
    change.textContent = ` · ${write.old} → ${write.value}`;
    item.append(go, where, what, change);
    return item;
  }

  async function page(address, before) {
    const body = await machine.wordHistory(address, before);
    if (!body) return false;
    if (before === 0) {
      list.replaceChildren();
      shown = { address, count: 0 };
    }
    list.append(...body.writes.map((write) => entry(address, write)));
    shown.count += body.writes.length;
    shown.oldest = body.writes.at(-1)?.step ?? shown.oldest;
    const start = body.since === 0 ? 'the program was loaded' : `step ${body.since.toLocaleString('en')}, when the machine was last changed by hand`;
    $('word-history-title').textContent = `History of word ${address}`;
    $('word-history-note').textContent = shown.count === 0
      ? `Nothing has stored to word ${address} since ${start}.`
      : `${shown.count.toLocaleString('en')}${body.more ? ' newest' : ''} store${shown.count === 1 ? '' : 's'} since ${start}, newest first, up to step ${body.now.toLocaleString('en')}. Choose a step to go back to just after it.`;
    $('word-history-earlier').hidden = !body.more;
    return true;
  }

  store.on(Events.WordAsked, async ({ address, what }) => {
    if (what !== 'history') return;
    if (!(await page(address, 0))) return;
    dialog.showModal();
    (list.querySelector('button') ?? $('word-history-close')).focus();
    say($('word-history-note').textContent);
  });
  $('word-history-earlier').addEventListener('click', async () => {
    const from = list.children.length;
    if (!(await page(shown.address, shown.oldest))) return;
    (list.children[from]?.querySelector('button') ?? $('word-history-close')).focus();
  });
  $('word-history-close').addEventListener('click', () => dialog.close());
}
