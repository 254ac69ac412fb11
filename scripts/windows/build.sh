#!/bin/sh
# Builds contadopo.exe (and the tests that run under Wine) against the cross-built Qt,
# then packs the Windows installer, the MSI and a plain zip into build-windows/.
# Usage: scripts/windows/build.sh      (scripts/windows/build-qt.sh first, once per machine)
set -eu
. "$(cd "$(dirname "$0")" && pwd)/common.sh"

find_qt || { echo "qt6-base-dev is not installed: run scripts/setup.sh windows first" >&2; exit 1; }
if ! qt_ready; then
    echo "The Windows Qt is not built yet: run scripts/windows/build-qt.sh (about half an hour on 2 cores)" >&2
    exit 1
fi
build="$project_dir/build-windows"

# Linked statically, mingw's own runtime included: the .exe needs no DLL beside it.
cmake -S "$project_dir" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$qt_win_dir/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$windows_dir/mingw-toolchain.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON \
    -DCMAKE_EXE_LINKER_FLAGS="-static -s" >/dev/null
nice cmake --build "$build" -j "${JOBS:-2}" --target contadopo tst_rules tst_recordstore
version=$(cat "$build/version.txt")

stage="$build/stage/Contadopo"
rm -rf "$build/stage"
mkdir -p "$stage/suoni"
cp "$build/contadopo.exe" "$project_dir/packaging/windows/qt.conf" /usr/share/qt6/translations/qtbase_it.qm "$stage/"
cp "$project_dir"/resources/suoni/*.wav "$stage/suoni/"

# The installer, the MSI and the zip take the same staged folder; CMake configured the
# installer's and the MSI's sources with this build's version.
setup="$build/contadopo-$version-setup.exe"
makensis -V2 -INPUTCHARSET UTF8 -DSTAGE="$stage" -DICON="$project_dir/resources/contadopo.ico" \
    -DOUTFILE="$setup" "$build/contadopo.nsi"
msi="$build/contadopo-$version.msi"
(cd "$build" && wixl -a x64 -o "$msi" contadopo.wxs)
zipfile="$build/contadopo-$version-windows.zip"
rm -f "$zipfile"
(cd "$build/stage" && zip -qr -X "$zipfile" Contadopo)
ls -l "$setup" "$msi" "$zipfile"
