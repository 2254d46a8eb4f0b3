" Wren processor programs: { starts a comment, :make runs the checker, and
" each record's address shows after its line (text properties, Vim 9), from
" wren-trace --listing run as a job, so that typing never waits.
if exists('b:did_ftplugin')
  finish
endif
let b:did_ftplugin = 1

setlocal commentstring={%s
setlocal comments=:{
compiler wren

let b:undo_ftplugin = 'setlocal commentstring< comments< makeprg< errorformat<'

" Neovim draws the language server's addresses itself (ftplugin/wrenram.lua).
if has('nvim') || !has('textprop') || !exists('*job_start') || !executable('wren-trace')
  finish
endif

if empty(prop_type_get('wrenAddress'))
  call prop_type_add('wrenAddress', {'highlight': 'Comment'})
endif

" The buffer as it is now, saved or not, listed by wren-trace.
function! s:Refresh(buf) abort
  if !bufloaded(a:buf)
    return
  endif
  let file = tempname() . '.ram'
  call writefile(getbufline(a:buf, 1, '$'), file)
  let lines = []
  call job_start(['wren-trace', '--listing', '--json', file], {
        \ 'out_mode': 'nl', 'err_io': 'null', 'in_io': 'null',
        \ 'out_cb': {_, line -> add(lines, line)},
        \ 'close_cb': {_ -> s:Show(a:buf, lines, file)}})
endfunction

" "0:  2:" after each line that holds records.
function! s:Show(buf, lines, file) abort
  call delete(a:file)
  if !bufloaded(a:buf)
    return
  endif
  let byLine = {}
  for text in a:lines
    try
      let row = json_decode(text)
    catch
      continue
    endtry
    if type(row) == v:t_dict && type(get(row, 'address', v:null)) == v:t_number
      let byLine[row.line] = get(byLine, row.line, []) + [row.address . ':']
    endif
  endfor
  call prop_remove({'type': 'wrenAddress', 'bufnr': a:buf, 'all': 1})
  let last = len(getbufline(a:buf, 1, '$'))
  " What is shown, for a status line or a check: line number to text.
  let shown = {}
  for [line, labels] in items(byLine)
    if str2nr(line) <= last
      let shown[line] = join(labels, '  ')
      call prop_add(str2nr(line), 0, {'type': 'wrenAddress', 'bufnr': a:buf,
            \ 'text': '  ' . shown[line], 'text_align': 'after'})
    endif
  endfor
  call setbufvar(a:buf, 'wren_addresses', shown)
endfunction

" A pause in typing, then one refresh.
function! s:Later(buf) abort
  let timer = getbufvar(a:buf, 'wren_address_timer', -1)
  if timer >= 0
    call timer_stop(timer)
  endif
  call setbufvar(a:buf, 'wren_address_timer', timer_start(200, {_ -> s:Refresh(a:buf)}))
endfunction

command! -buffer WrenAddresses call s:Refresh(bufnr('%'))
augroup wren_addresses
  autocmd! * <buffer>
  autocmd TextChanged,TextChangedI,BufWritePost <buffer> call s:Later(str2nr(expand('<abuf>')))
augroup END
let b:undo_ftplugin .= ' | execute "autocmd! wren_addresses * <buffer>" | delcommand WrenAddresses'
call s:Refresh(bufnr('%'))
