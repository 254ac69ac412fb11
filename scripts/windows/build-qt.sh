#!/bin/sh
# Builds Qt for 64-bit Windows (static, with its test library) from Debian's own qt6-base
# source with Debian's mingw-w64, once per machine: the result is kept outside the tree
# under a name made of Qt's version and the options, and reused while they stay the same.
# An interrupted build goes on where it stopped when run again.
set -eu
. "$(cd "$(dirname "$0")" && pwd)/common.sh"

# The packages first: the cache's name comes from the installed qt6-base-dev.
"$project_dir/scripts/setup.sh" windows
find_qt || { echo "qt6-base-dev is not installed" >&2; exit 1; }
if qt_ready; then
    echo "Windows Qt already built: $qt_win_dir"
    exit 0
fi

# apt-get source needs a deb-src entry: the same mirror and suite as the machine's own.
add_deb_src() {
    apt-cache showsrc qt6-base 2>/dev/null | grep -q '^Package: qt6-base' && return 0
    if [ "$(id -u)" != 0 ]; then
        echo "No deb-src entry for qt6-base and not root: add one for your mirror and run again" >&2
        exit 1
    fi
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        list=/etc/apt/sources.list.d/contadopo-deb-src.sources
        awk -v RS= -v ORS='\n\n' -v suite="$codename" '
            /(^|\n)Types:[^\n]*deb/ && $0 ~ ("\nSuites:[^\n]* " suite "( |\n|$)") {
                sub(/Types:[^\n]*/, "Types: deb-src"); print }' \
            /etc/apt/sources.list.d/debian.sources > "$list.tmp"
    else
        list=/etc/apt/sources.list.d/contadopo-deb-src.list
        sed -n "s/^deb \(.* $codename .*\)/deb-src \1/p" /etc/apt/sources.list > "$list.tmp"
    fi
    if [ ! -s "$list.tmp" ]; then
        rm -f "$list.tmp"
        echo "Found no Debian $codename entry to copy as deb-src" >&2
        exit 1
    fi
    mv "$list.tmp" "$list"
    echo "Added $list"
    apt-get -o DPkg::Lock::Timeout=600 update -o Dir::Etc::sourcelist="$list" \
        -o Dir::Etc::sourceparts=- -o APT::Get::List-Cleanup=0
}

add_deb_src

# The work folder has the same key in its name: a source fetched and patched there, and
# what ninja already built, serve again; only a half-installed Qt is thrown away.
work="$qt_win_dir.work"
rm -rf "$qt_win_dir"
start=$(date +%s)
if [ -f "$work/.patched" ]; then
    echo "Going on with the build in $work"
else
    rm -rf "$work"
    mkdir -p "$work"
    (cd "$work" && apt-get source -q "qt6-base=$qt_deb_version")
    patch -d "$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)" -p1 \
        < "$windows_dir/qtbase-no-opengl.patch"
    touch "$work/.patched"
fi
src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)

# shellcheck disable=SC2086
cmake -S "$src" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$windows_dir/mingw-toolchain.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake" \
    -DCMAKE_INSTALL_PREFIX="$qt_win_dir" $qt_options
nice -n 19 cmake --build "$work/build" -j "${JOBS:-2}"
cmake --install "$work/build"
rm -rf "$work"
touch "$qt_win_dir/.complete"
echo "Windows Qt built in $(( $(date +%s) - start )) s: $qt_win_dir"
