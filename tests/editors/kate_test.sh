#!/usr/bin/env bash
# kate_test.sh [DEFINITION_DIR]: highlights a program with Kate's own
# highlighter (kate-syntax-highlighter) and the Wren definition from
# DEFINITION_DIR, else the installed one, and checks that mnemonics, data
# labels, numbers, comments and ignored text each look their own way.
set -euo pipefail
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
if [ $# -ge 1 ]; then
    mkdir -p "$scratch/data/org.kde.syntax-highlighting/syntax"
    cp "$1/wren-ram.xml" "$scratch/data/org.kde.syntax-highlighting/syntax/"
    export XDG_DATA_HOME=$scratch/data
fi
printf '{ a, LDAi 5\nslot 12xyz {ok}\nldai 7\n' > "$scratch/p.ram"
# By file name, as Kate picks it.
HOME=$scratch kate-syntax-highlighter -f html "$scratch/p.ram" > "$scratch/p.html"
python3 - "$scratch/p.html" <<'PY'
import html, re, sys
text = open(sys.argv[1], encoding='utf-8').read()
style = {}
for css, token in re.findall(r'<span style="([^"]*)">([^<]*)</span>', text):
    style.setdefault(html.unescape(token), css)
need = ['{ a', 'LDAi', '5', 'slot', '12', 'xyz ', '{ok}', 'ldai']
missing = [t for t in need if t not in style]
if missing:
    sys.exit(f'FAIL: not highlighted as tokens: {missing}\n{text}')
checks = [
    (style['slot'] == style['ldai'], 'data labels look alike'),
    (style['LDAi'] != style['slot'], 'a mnemonic and a data label look apart'),
    (style['5'] == style['12'], 'numbers look alike'),
    (len({style['LDAi'], style['slot'], style['5'], style['{ a'], style['xyz ']}) == 5,
     'mnemonic, data label, number, comment and ignored text each differ'),
    (style['{ok}'] == style['{ a'], 'a comment after the operand is a comment'),
]
failed = [what for ok, what in checks if not ok]
if failed:
    sys.exit('FAIL: ' + '; '.join(failed) + f'\n{style}')
PY
echo "kate: all checks passed"
