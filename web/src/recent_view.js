// Recent: the programs this browser keeps, newest first, each reopened with
// its text or deleted from the list.
const $ = (id) => document.getElementById(id);

const when = (ms) => new Date(ms).toLocaleString('en-GB', { day: 'numeric', month: 'short', hour: '2-digit', minute: '2-digit' });

/// kept is the keeper; open(entry) replaces the editor's program with it.
export function setUpRecent(kept, open, say) {
  const dialog = $('recent-dialog');
  function fill() {
    const entries = kept.list();
    $('recent-empty').hidden = entries.length > 0;
    $('recent-list').replaceChildren(...entries.map((entry) => {
      const item = document.createElement('li');
      const reopen = document.createElement('button');
      reopen.type = 'button';
      reopen.textContent = entry.name;
      reopen.addEventListener('click', () => {
        dialog.close();
        open(entry);
        say(`Opened ${entry.name} from Recent.`);
      });
      const changed = document.createElement('span');
      changed.textContent = ` changed ${when(entry.changed)}${entry.saved ? '' : ', not saved to a file'} `;
      const first = document.createElement('code');
      first.textContent = entry.text.split('\n').find((l) => l.trim()) ?? '';
      const remove = document.createElement('button');
      remove.type = 'button';
      remove.textContent = 'Delete';
      remove.setAttribute('aria-label', `Delete ${entry.name} from Recent`);
      remove.addEventListener('click', () => { kept.remove(entry.id); fill(); say(`${entry.name} deleted from Recent.`); });
      item.append(reopen, changed, first, ' ', remove);
      return item;
    }));
  }
  $('recent').addEventListener('click', () => { fill(); dialog.showModal(); });
  $('recent-close').addEventListener('click', () => dialog.close());
}
