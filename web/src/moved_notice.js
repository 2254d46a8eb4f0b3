// The notice over the editor after an edit that moved records: how many
// operands still name where a record was, Update (the language server's
// fix-all, as one change that Ctrl+Z takes back) and Keep.
const $ = (id) => document.getElementById(id);

/// update() applies the fix-all; the notice shows after each count of marks.
export function movedNotice(update) {
  let kept = 0; // the count Keep dismissed: shown again only when it grows
  let count = 0;
  $('moved-update').addEventListener('click', () => { $('moved-notice').hidden = true; update(); });
  $('moved-keep').addEventListener('click', () => { kept = count; $('moved-notice').hidden = true; });
  return {
    /// n: the operands now marked as naming where a record was.
    show(n) {
      count = n;
      if (n <= kept) { kept = Math.min(kept, n); $('moved-notice').hidden = true; return; }
      kept = 0;
      $('moved-text').textContent = n === 1 ? '1 operand named a record that moved.' : `${n} operands named records that moved.`;
      $('moved-notice').hidden = false;
    },
  };
}
