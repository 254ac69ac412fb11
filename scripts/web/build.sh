#!/bin/sh
# Builds the page for browsers into build-web/site: index.html, contadopo.js,
# contadopo.wasm, qtloader.js and favicon.ico, static files for any web server. Builds the Qt for
# WebAssembly first when this machine has none (about 40 minutes on 2 cores).
# Needs root: the compiler runs in a Debian 13 root (debootstrap, chroot).
set -eu
. "$(cd "$(dirname "$0")" && pwd)/common.sh"

ensure_root
qt_wasm_ready || "$web_dir/build-qt.sh"
qt_dir=$(qt_wasm_dir)
build="$project_dir/build-web"
start=$(date +%s)
# The root has no git: the page takes this checkout's version with it.
sh "$project_dir/scripts/version.sh" >"$project_dir/.version"
in_root "cmake -S '$project_dir' -B '$build' -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
             -DCMAKE_TOOLCHAIN_FILE='$qt_dir/lib/cmake/Qt6/qt.toolchain.cmake' >/dev/null &&
         nice -n 10 cmake --build '$build' -j ${JOBS:-2}"
site="$build/site"
rm -f "$site/contadopo.html" "$site/qtlogo.svg"  # Qt's sample page; index.html is ours
echo "web: built in $(( $(date +%s) - start )) s: $site"
for f in "$site"/*; do
    printf '  %-16s %9d bytes, %9d with gzip -9, %9d with brotli\n' "$(basename "$f")" \
        "$(wc -c <"$f")" "$(gzip -9c "$f" | wc -c)" "$(brotli -c "$f" | wc -c)"
done
