" Vim compiler file
" Compiler:    wren-trace --check, the checker of Wren programs
if exists('current_compiler')
  finish
endif
let current_compiler = 'wren'

if exists(':CompilerSet') != 2
  command -nargs=* CompilerSet setlocal <args>
endif

CompilerSet makeprg=wren-trace\ --check\ %:S
" FILE:LINE:COL: warning|error|note: text, and an error without a line
" (FILE: error: cannot open ...).
CompilerSet errorformat=%f:%l:%c:\ %trror:\ %m,%f:%l:%c:\ %tarning:\ %m,%f:%l:%c:\ %tote:\ %m,%f:\ %trror:\ %m
