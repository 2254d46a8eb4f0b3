;;; wren-mode.el --- Wren processor programs  -*- lexical-binding: t; -*-

;; A major mode for the program files of the Wren processor simulator
;; (.ram): the grammar's colours, `{' comments that a comma or the line end
;; ends, `M-x compile' running the checker (wren-trace --check), each
;; record's address beside its line, and wren-lsp for eglot.

;;; Code:

(require 'json)

(defgroup wren nil
  "Wren processor programs."
  :group 'languages)

(defcustom wren-trace-program "wren-trace"
  "The program that checks and lists Wren programs."
  :type 'string)

(defcustom wren-lsp-program "wren-lsp"
  "The language server for Wren programs, for eglot."
  :type 'string)

(defface wren-address-face '((t :inherit shadow))
  "The addresses shown beside each line.")

(defconst wren-mnemonics
  '("ADDm" "ADDi" "ADDpc" "BVS" "LDAm" "LDAi" "LDApc" "STAm" "STApc")
  "The nine instructions.")

(defconst wren--record-start "\\(?:^\\|,\\)[ \t]*"
  "Where a record may start: the line start or a comma, then blanks.")

(defconst wren-font-lock-keywords
  (let ((start wren--record-start)
        (nine (regexp-opt wren-mnemonics)))
    `(;; A mnemonic of the nine, case and all, followed by its space.
      (,(concat start "\"?\\(" nine "\\) ") 1 font-lock-keyword-face)
      ;; Anything else in that place is a data label: no instruction.
      (,(concat start "\"?\\([^ \t,{\"\n]+\\) ") 1 font-lock-variable-name-face)
      ;; Numbers: &H and &O words, decimals with a point or an exponent.
      ("[ \t]\\(&[Hh][[:xdigit:]]+\\|&[Oo][0-7]+\\|[-+]?\\(?:[0-9]+\\(?:\\.[0-9]*\\)?\\|\\.[0-9]+\\)\\(?:[Ee][-+]?[0-9]+\\)?\\)"
       1 font-lock-constant-face)))
  "What `wren-mode' colours; the syntax table does the comments.")

(defvar wren-mode-syntax-table
  (let ((table (make-syntax-table)))
    ;; A comment runs from { to the next comma or the line end: the loader
    ;; splits records at commas, in comments too.
    (modify-syntax-entry ?{ "<" table)
    (modify-syntax-entry ?, ">" table)
    (modify-syntax-entry ?\n ">" table)
    (modify-syntax-entry ?} "." table)
    (modify-syntax-entry ?\" "\"" table)
    (modify-syntax-entry ?& "_" table)
    table)
  "Syntax table of `wren-mode'.")

;;; Addresses

(defvar-local wren--address-overlays nil)
(defvar-local wren--addresses-stale nil)
(defvar wren--idle-timer nil)

(defun wren--listing ()
  "The rows of `wren-trace --listing --json' for the buffer as it is now."
  (let ((file (make-temp-file "wren-" nil ".ram"))
        (text (buffer-substring-no-properties (point-min) (point-max)))
        rows)
    (unwind-protect
        (progn
          (let ((coding-system-for-write 'utf-8-unix))
            (write-region text nil file nil 'silent))
          (with-temp-buffer
            (call-process wren-trace-program nil '(t nil) nil "--listing" "--json" file)
            (goto-char (point-min))
            (while (not (eobp))
              (let ((line (buffer-substring-no-properties
                           (point) (line-end-position))))
                (condition-case nil
                    (push (json-parse-string line :object-type 'alist :null-object nil) rows)
                  (error nil)))
              (forward-line 1))))
      (delete-file file))
    (nreverse rows)))

(defun wren-refresh-addresses ()
  "Show each record's address beside its line, as wren-trace lists it."
  (interactive)
  (mapc #'delete-overlay wren--address-overlays)
  (setq wren--address-overlays nil
        wren--addresses-stale nil)
  (when (executable-find wren-trace-program)
    (let ((by-line (make-hash-table)))
      (dolist (row (wren--listing))
        (let ((address (alist-get 'address row))
              (line (alist-get 'line row)))
          (when (and (integerp address) (integerp line))
            (puthash line (append (gethash line by-line) (list (format "%d:" address)))
                     by-line))))
      (save-excursion
        (maphash
         (lambda (line labels)
           (goto-char (point-min))
           (when (zerop (forward-line (1- line)))
             (let ((overlay (make-overlay (line-end-position) (line-end-position))))
               (overlay-put overlay 'wren-address (string-join labels "  "))
               (overlay-put overlay 'after-string
                            (propertize (concat "  " (string-join labels "  "))
                                        'face 'wren-address-face))
               (push overlay wren--address-overlays))))
         by-line)))))

(defun wren--mark-stale (&rest _)
  (setq wren--addresses-stale t))

(defun wren--refresh-idle-buffers ()
  (dolist (buffer (buffer-list))
    (with-current-buffer buffer
      (when (and (derived-mode-p 'wren-mode) wren--addresses-stale)
        (wren-refresh-addresses)))))

;;;###autoload
(define-derived-mode wren-mode prog-mode "Wren"
  "Major mode for Wren processor programs (.ram).
\\[compile] runs the checker; `wren-refresh-addresses' shows each
record's address at once, and typing refreshes them when idle."
  :syntax-table wren-mode-syntax-table
  (setq-local comment-start "{ ")
  (setq-local comment-end "")
  (setq-local comment-start-skip "{+[ \t]*")
  (setq-local font-lock-defaults '(wren-font-lock-keywords))
  (when buffer-file-name
    (setq-local compile-command
                (concat wren-trace-program " --check "
                        (shell-quote-argument (file-name-nondirectory buffer-file-name)))))
  (add-hook 'after-change-functions #'wren--mark-stale nil t)
  (unless wren--idle-timer
    (setq wren--idle-timer (run-with-idle-timer 0.5 t #'wren--refresh-idle-buffers)))
  (wren-refresh-addresses))

;;;###autoload
(add-to-list 'auto-mode-alist '("\\.ram\\'" . wren-mode))

(with-eval-after-load 'eglot
  (defvar eglot-server-programs)
  (add-to-list 'eglot-server-programs `(wren-mode ,wren-lsp-program)))

(provide 'wren-mode)
;;; wren-mode.el ends here
