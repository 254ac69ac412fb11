#!/bin/sh
# The page in a real browser: builds it (and its Qt when missing), serves it on
# 127.0.0.1 and plays a race in Debian's Chromium, headless. Needs root (the build).
# Usage: scripts/web/test.sh [--if-cached]
#   --if-cached  when the Qt for WebAssembly is not in the cache, say so loudly and stop
#                (exit 0) instead of building it (40 minutes or more on 2 cores)
set -eu
. "$(cd "$(dirname "$0")" && pwd)/common.sh"

if [ "${1:-}" = --if-cached ] && ! qt_wasm_ready; then
    echo "##########################################################################"
    echo "## THE BROWSER TESTS DID NOT RUN: the Qt for WebAssembly is not in the cache"
    echo "## ($(qt_wasm_dir)),"
    echo "## and building it takes 40 minutes or more on 2 cores."
    echo "## Run scripts/web/build-qt.sh once on this machine to enable them."
    echo "##########################################################################"
    exit 0
fi
"$project_dir/scripts/setup.sh" web
"$web_dir/build.sh"
/usr/bin/python3 "$project_dir/tests/web/browser_race.py" "$project_dir/build-web/site" "$project_dir/build-web/shots"
