# Shared by the Windows scripts: where the cross-built Qt lives and how it is configured.
# Sourced, not run.

windows_dir=$(cd "$(dirname "$0")" && pwd)
project_dir=$(cd "$windows_dir/../.." && pwd)

# Static, only what the program and its tests use; no OpenGL, Direct2D, network, SQL,
# D-Bus or tablet events (Debian's source has no wintab headers).
qt_options="
-DBUILD_SHARED_LIBS=OFF
-DCMAKE_BUILD_TYPE=Release
-DQT_BUILD_EXAMPLES=OFF
-DQT_BUILD_TESTS=OFF
-DFEATURE_opengl=OFF
-DINPUT_opengl=no
-DFEATURE_direct2d=OFF
-DFEATURE_network=OFF
-DFEATURE_sql=OFF
-DFEATURE_dbus=OFF
-DFEATURE_tabletevent=OFF
-DFEATURE_concurrent=OFF
-DFEATURE_printsupport=OFF
-DFEATURE_xml=OFF
-DFEATURE_testlib=ON
-DFEATURE_widgets=ON
-DFEATURE_system_zlib=OFF
-DFEATURE_system_pcre2=OFF
-DFEATURE_system_harfbuzz=OFF
-DFEATURE_system_freetype=OFF
-DFEATURE_system_libpng=OFF
-DFEATURE_system_libjpeg=OFF
"

# Sets qt_win_dir, where the Windows Qt for the installed qt6-base-dev is kept (the host
# tools under /usr must be the very version it is built from); false while qt6-base-dev is
# not installed. The key changes with Qt's version, the options, the toolchain or the patch.
find_qt() {
    qt_deb_version=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null) && [ -n "$qt_deb_version" ] || return 1
    qt_key=$( { echo "$qt_deb_version"; echo "$qt_options"; cat "$windows_dir/mingw-toolchain.cmake" "$windows_dir/qtbase-no-opengl.patch"; } \
              | sha256sum | cut -c1-12)
    cache_root=${CONTADOPO_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/contadopo}
    qt_win_dir="$cache_root/qt-$(echo "$qt_deb_version" | tr '+~:' '___')-mingw64-$qt_key"
}
qt_ready() { [ -n "${qt_win_dir:-}" ] && [ -f "$qt_win_dir/.complete" ]; }
