" Checks the Vim runtime files from Vim itself: the filetype, the syntax
" group at chosen places, and :make's quickfix list against wren-trace
" --check. Writes one line per failure to $WREN_OUT; none when all hold.
let s:failures = []
function! s:Check(ok, what) abort
  if !a:ok
    call add(s:failures, a:what)
  endif
endfunction

filetype plugin on
syntax on
execute 'edit ' . fnameescape($WREN_PROGRAM)
call s:Check(&filetype ==# 'wrenram', 'filetype: ' . &filetype)
call s:Check(&commentstring ==# '{%s', 'commentstring: ' . &commentstring)

" line, column, highlight group (none for the skipped "ldai<tab>7")
for [l, c, group] in [[1, 1, 'wrenComment'], [1, 4, 'wrenComma'], [1, 6, 'wrenMnemonic'], [1, 11, 'wrenNumber'],
      \ [2, 1, 'wrenLabel'], [2, 6, 'wrenNumber'], [2, 8, 'wrenTrailing'], [2, 12, 'wrenOperandComment'],
      \ [3, 1, 'wrenQuote'], [3, 2, 'wrenMnemonic'], [3, 12, 'wrenDropped'],
      \ [4, 1, ''], [4, 9, 'wrenMnemonic'], [4, 14, 'wrenNumber']]
  let name = synIDattr(synID(l, c, 1), 'name')
  call s:Check(name ==# group, printf('%d:%d is %s, not %s', l, c, name, group))
endfor

silent make
let got = map(getqflist(), {_, e -> printf('%d:%d:%s', e.lnum, e.col, e.type)})
let want = readfile($WREN_EXPECTED)
call s:Check(got == want, 'quickfix: ' . string(got) . ' but wren-trace says ' . string(want))
call s:Check(len(want) >= 4, 'too few findings to compare: ' . string(want))

call writefile(s:failures, $WREN_OUT)
qall!
