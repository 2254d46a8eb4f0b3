" Wren processor programs.
autocmd BufNewFile,BufRead *.ram setfiletype wrenram
