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

" A data label must not look like a mnemonic in the default colours.
call s:Check(synIDattr(synIDtrans(synID(2, 1, 1)), 'name') !=# synIDattr(synIDtrans(synID(1, 6, 1)), 'name'),
      \ 'a data label and a mnemonic look alike: ' . synIDattr(synIDtrans(synID(2, 1, 1)), 'name'))

" Each record's address after its line, as wren-trace --listing has it; and
" again after an edit.
function! s:Addresses() abort
  let shown = []
  let texts = get(b:, 'wren_addresses', {})
  for l in range(1, line('$'))
    let props = filter(prop_list(l), {_, p -> get(p, 'type', '') ==# 'wrenAddress'})
    if !empty(props)
      call add(shown, l . '=' . get(texts, l, '?') . (len(props) > 1 ? '(twice)' : ''))
    endif
  endfor
  return join(shown, ' ')
endfunction
function! s:WaitFor(want) abort
  for i in range(100)
    if s:Addresses() ==# a:want
      return
    endif
    sleep 50m
  endfor
  call s:Check(0, 'addresses: ' . s:Addresses() . ', not ' . a:want)
endfunction
try
  call s:WaitFor('1=0: 2=2: 3=4: 4=6:')
  call append(0, 'LDAi 1, LDAi 2')
  WrenAddresses
  call s:WaitFor('1=0:  2: 2=4: 3=6: 4=8: 5=10:')
  silent undo
catch
  call s:Check(0, 'addresses: ' . v:exception)
endtry

silent make
let got = map(getqflist(), {_, e -> printf('%d:%d:%s', e.lnum, e.col, e.type)})
let want = readfile($WREN_EXPECTED)
call s:Check(got == want, 'quickfix: ' . string(got) . ' but wren-trace says ' . string(want))
call s:Check(len(want) >= 4, 'too few findings to compare: ' . string(want))

call writefile(s:failures, $WREN_OUT)
qall!
