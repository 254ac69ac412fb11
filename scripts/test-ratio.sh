#!/usr/bin/env bash
# Code lines (cloc: no blank or comment lines) of the tests against everything else
# in the repository, as tracked by git.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v cloc >/dev/null || { echo "cloc is not installed (apt-get install cloc)" >&2; exit 1; }
code_lines() {
    local list
    list=$(mktemp)
    cat >"$list"
    cloc --quiet --csv --list-file="$list" | awk -F, '$2 == "SUM" { print $5 }'
    rm -f "$list"
}
tests=$(git ls-files -- tests | code_lines)
rest=$(git ls-files | grep -v '^tests/' | code_lines)
echo "tests/: $tests code lines"
echo "everything else: $rest code lines"
awk -v t="$tests" -v r="$rest" 'BEGIN { printf "ratio: %.2f\n", t / r }'
