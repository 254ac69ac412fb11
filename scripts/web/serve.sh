#!/bin/sh
# Serves the built page on this machine only, at http://127.0.0.1:PORT/ (8080 unless
# given). Stop it with Ctrl-C.
# Usage: scripts/web/serve.sh [PORT]
set -eu
site="$(cd "$(dirname "$0")/../.." && pwd)/build-web/site"
if [ ! -f "$site/index.html" ]; then
    echo "No page built yet: run scripts/web/build.sh first" >&2
    exit 1
fi
port=${1:-8080}
echo "Contadopo in a browser: http://127.0.0.1:$port/"
exec python3 -m http.server --bind 127.0.0.1 --directory "$site" "$port"
