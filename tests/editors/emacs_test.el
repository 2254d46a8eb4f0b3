;;; emacs_test.el --- wren-mode in Emacs itself  -*- lexical-binding: t; -*-
;; Opens a program and checks the mode, the faces at chosen places, the
;; comment syntax, the compile command against wren-trace --check, the
;; addresses beside the lines (at once, and after an edit) and eglot's entry.
;; WREN_PROGRAM names the program; exits 0 when every check holds.

(defvar wren-test-failures nil)
(defun wren-test-check (ok what)
  (unless ok (push what wren-test-failures)))

(find-file (getenv "WREN_PROGRAM"))
(wren-test-check (eq major-mode 'wren-mode) (format "mode: %s" major-mode))
(font-lock-ensure)

(defun wren-test-at (line column)
  "The face and whether in a comment, at LINE and COLUMN (1-based)."
  (save-excursion
    (goto-char (point-min))
    (forward-line (1- line))
    (forward-char (1- column))
    (list (get-text-property (point) 'face) (and (nth 4 (syntax-ppss)) t))))

;; line, column, face, in a comment. Line 4: a comma ends the comment after
;; "LDAi 3", and "LDAi 4" is a record of its own (address 8).
(dolist (row '((1 1 font-lock-comment-delimiter-face nil) (1 3 font-lock-comment-face t)
               (1 6 font-lock-keyword-face nil) (1 11 font-lock-constant-face nil)
               (2 1 font-lock-variable-name-face nil) (2 6 font-lock-constant-face nil)
               (3 1 font-lock-variable-name-face nil)
               (4 10 font-lock-comment-face t) (4 17 font-lock-keyword-face nil)))
  (let ((got (apply #'wren-test-at (seq-take row 2))))
    (wren-test-check (equal got (seq-drop row 2))
                     (format "%d:%d is %S, not %S" (nth 0 row) (nth 1 row) got (seq-drop row 2)))))

(wren-test-check (equal comment-start "{ ") (format "comment-start: %S" comment-start))
(wren-test-check (string-match-p "\\`wren-trace --check " compile-command)
                 (format "compile-command: %S" compile-command))

;; M-x compile: the checker's lines are errors Emacs can visit.
(let* ((compilation-buffer (compile compile-command)))
  (while (get-buffer-process compilation-buffer) (accept-process-output nil 0.05))
  (with-current-buffer compilation-buffer
    (goto-char (point-min))
    (let ((visited 0))
      (condition-case nil
          (while t (compilation-next-error 1) (setq visited (1+ visited)))
        (error nil))
      (wren-test-check (>= visited 2) (format "compile: %d messages to visit" visited)))))

(defun wren-test-addresses ()
  (let (shown)
    (dolist (overlay (overlays-in (point-min) (point-max)))
      (when (overlay-get overlay 'wren-address)
        (push (format "%d=%s" (line-number-at-pos (overlay-start overlay))
                      (overlay-get overlay 'wren-address))
              shown)))
    (string-join (sort shown #'string<) " ")))
(wren-test-check (equal (wren-test-addresses) "1=0: 2=2: 3=4: 4=6:  8:")
                 (format "addresses: %s" (wren-test-addresses)))
(goto-char (point-min))
(insert "LDAi 1, LDAi 2\n")
(wren-refresh-addresses)
(wren-test-check (equal (wren-test-addresses) "1=0:  2: 2=4: 3=6: 4=8: 5=10:  12:")
                 (format "addresses after an edit: %s" (wren-test-addresses)))

(require 'eglot)
(wren-test-check (assq 'wren-mode eglot-server-programs)
                 (format "eglot-server-programs has no wren-mode entry"))

(set-buffer-modified-p nil)
(if wren-test-failures
    (progn (princ (string-join (nreverse wren-test-failures) "\n") #'external-debugging-output)
           (terpri #'external-debugging-output)
           (kill-emacs 1))
  (kill-emacs 0))
