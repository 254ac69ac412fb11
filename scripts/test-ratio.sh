#!/usr/bin/env bash
# Code lines (cloc: no blank or comment lines) of the tests against the rest of the
# repository as git tracks it, and against the product alone (game/, platform/,
# window/, main.cpp). Documents are not code: the Markdown is left out, and cloc
# itself skips the manual pages, the licence, the changelog and the Debian copyright
# file. The AppStream metainfo counts: it is data that tools read and the tests validate.
# So do the Windows installer's script and the package's maintainer scripts (shell
# behind a .in), which cloc does not know on its own.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v cloc >/dev/null || { echo "cloc is not installed (apt-get install cloc)" >&2; exit 1; }
code_lines() { # the files named on standard input
    local list
    list=$(mktemp)
    cat >"$list"
    cloc --quiet --csv --exclude-lang=Markdown --read-lang-def=scripts/cloc-languages.txt \
         --force-lang="Bourne Shell",in --list-file="$list" | awk -F, '$2 == "SUM" { print $5 }'
    rm -f "$list"
}
tests=$(git ls-files -- tests | code_lines)
rest=$(git ls-files | grep -v '^tests/' | code_lines)
product=$(git ls-files -- game platform window main.cpp | code_lines)
echo "tests/: $tests code lines"
echo "everything else: $rest code lines, of which the product (game/, platform/, window/, main.cpp): $product"
awk -v t="$tests" -v r="$rest" -v p="$product" \
    'BEGIN { printf "tests / everything else: %.2f (to stay at most 0.35)\ntests / product: %.2f\n", t / r, t / p }'
