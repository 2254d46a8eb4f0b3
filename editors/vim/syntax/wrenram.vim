" Vim syntax file
" Language:    Wren processor program (.ram)
" The token classes of the VS Code grammar: a record starts a line or follows
" a comma; it is a comment ({ to the next comma), a quoted record, or a
" mnemonic (one of the nine, or a data label) with its operand.

if exists('b:current_syntax')
  finish
endif

" Where a record may start: the line start or a comma, then blanks.
let s:start = '\%(\%(^\|,\)[ \t]*\)\@<='
let s:nine = '\%(ADDm\|ADDi\|ADDpc\|BVS\|LDAm\|LDAi\|LDApc\|STAm\|STApc\)'

syn match wrenComma /,/
execute 'syn match wrenComment /' . s:start . '{[^,]*/'

" The operand: numbers, text glued to a number that the loader ignores, and
" a comment after it.
syn match wrenNumber /\%([ \t]\)\@<=\%(&[Hh]\x\+\|&[Oo]\o\+\|[-+]\=\%(\d\+\%(\.\d*\)\=\|\.\d\+\)\%([Ee][-+]\=\d\+\)\=\)/ contained
syn match wrenTrailing /\%([0-9A-Fa-f.]\)\@<=[^ \t,{"][^,{"]*/ contained
syn match wrenOperandComment /{[^,"]*/ contained
syn cluster wrenOperand contains=wrenNumber,wrenTrailing,wrenOperandComment

" Data labels first: a mnemonic of the nine, defined later, wins.
execute 'syn region wrenData matchgroup=wrenLabel start=/' . s:start . '[^ \t,{"]\+ \@=/ end=/,\@=\|$/ contains=@wrenOperand'
execute 'syn region wrenInstruction matchgroup=wrenMnemonic start=/' . s:start . s:nine . ' \@=/ end=/,\@=\|$/ contains=@wrenOperand'

" A quoted record runs to the next quote on its line, commas included; the
" loader drops what follows the closing quote up to the next comma.
syn region wrenQData matchgroup=wrenLabel start=/\%("\)\@<=[^ \t"]\+ \@=/ end=/"\@=\|$/ contained contains=@wrenOperand
execute 'syn region wrenQInstruction matchgroup=wrenMnemonic start=/\%("\)\@<=' . s:nine . ' \@=/ end=/"\@=\|$/ contained contains=@wrenOperand'
execute 'syn region wrenQuoted matchgroup=wrenQuote start=/' . s:start . '"/ end=/"/ end=/$/ contains=wrenQData,wrenQInstruction nextgroup=wrenDropped'
syn match wrenDropped /[^,]\+/ contained

hi def link wrenComment        Comment
hi def link wrenOperandComment Comment
hi def link wrenComma          Delimiter
hi def link wrenQuote          Delimiter
hi def link wrenMnemonic       Keyword
" A data label is no instruction: it must not look like one (Label shows as
" Statement, as Keyword does, in the default colours).
hi def link wrenLabel          Identifier
hi def link wrenNumber         Number
hi def link wrenTrailing       Error
hi def link wrenDropped        Error

let b:current_syntax = 'wrenram'
