;; The Wren processor simulator's Emacs mode: .ram files open in wren-mode,
;; which also registers wren-lsp with eglot.
(let ((dir "/usr/share/emacs/site-lisp/wren-simulator"))
  (when (file-directory-p dir)
    (add-to-list 'load-path dir)))
(autoload 'wren-mode "wren-mode" "Major mode for Wren processor programs." t)
(add-to-list 'auto-mode-alist '("\\.ram\\'" . wren-mode))
