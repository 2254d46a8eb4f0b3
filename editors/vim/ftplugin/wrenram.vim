" Wren processor programs: { starts a comment, :make runs the checker.
if exists('b:did_ftplugin')
  finish
endif
let b:did_ftplugin = 1

setlocal commentstring={%s
setlocal comments=:{
compiler wren

let b:undo_ftplugin = 'setlocal commentstring< comments< makeprg< errorformat<'
