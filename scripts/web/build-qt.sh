#!/bin/sh
# Builds a static Qt for WebAssembly (Core, Gui, Widgets and the wasm platform plugin,
# no threads) from Debian 13's own qt6-base source with Debian 13's emscripten, in a
# Debian 13 root kept under the cache. Done once per machine: the result is kept under
# a name made of Qt's version and the options. An interrupted build resumes where it
# stopped. Needs root (debootstrap, chroot).
# Usage: scripts/web/build-qt.sh [--cached]
#   --cached  builds nothing: exit status 0 when the Qt is there, 1 when not
set -eu
. "$(cd "$(dirname "$0")" && pwd)/common.sh"

if [ "${1:-}" = --cached ]; then
    qt_wasm_ready
    exit
fi
ensure_root
qt_dir=$(qt_wasm_dir)
if qt_wasm_ready; then
    echo "Qt for WebAssembly already built: $qt_dir"
    exit 0
fi

work="$qt_dir.work"
mkdir -p "$work"
start=$(date +%s)
if [ ! -f "$work/.source" ]; then
    rm -rf "$work"/qt6-base* "$work/build"
    in_root "cd '$work' && apt-get source -q --only-source qt6-base=$(root_version qt6-base-dev)"
    touch "$work/.source"
fi
src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
if [ ! -f "$work/build/build.ninja" ]; then
    rm -rf "$work/build"
    in_root "cmake -S '$src' -B '$work/build' -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE=/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake \
        -DQT_QMAKE_TARGET_MKSPEC=wasm-emscripten \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DCMAKE_INSTALL_PREFIX='$qt_dir' $(echo $qt_options)"
fi
in_root "nice -n 19 cmake --build '$work/build' -j ${JOBS:-2}"
in_root "cmake --install '$work/build'"
for plugin in "$qt_dir"/plugins/platforms/libqwasm.a; do
    [ -f "$plugin" ] || { echo "web: the wasm platform plugin was not installed" >&2; exit 1; }
done
rm -rf "$work"
touch "$qt_dir/.complete"
echo "Qt for WebAssembly built in $(( $(date +%s) - start )) s: $qt_dir"
