# Shared by the browser scripts: the Debian 13 root that holds emscripten and the host
# Qt, and where the Qt for WebAssembly lives. Sourced, not run.

web_dir=$(cd "$(dirname "$0")" && pwd)
project_dir=$(cd "$web_dir/../.." && pwd)
cache_root=${CONTADOPO_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/contadopo}
# Debian 13 has the emscripten (3.1.69) and the Qt source (6.8.2) that fit together;
# the root is kept and reused, whatever release this machine runs.
web_root="$cache_root/debian-trixie-web"
root_packages="emscripten qt6-base-dev qt6-base-dev-tools cmake ninja-build dpkg-dev
               fonts-liberation2 fonttools qt6-translations-l10n ca-certificates"

# Static, no threads, only what the program uses. OpenGL stays: the wasm platform
# plugin of Qt 6.8 does not build without it.
qt_options="
-DBUILD_SHARED_LIBS=OFF
-DCMAKE_BUILD_TYPE=Release
-DQT_BUILD_EXAMPLES=OFF
-DQT_BUILD_TESTS=OFF
-DFEATURE_thread=OFF
-DFEATURE_network=OFF
-DFEATURE_sql=OFF
-DFEATURE_dbus=OFF
-DFEATURE_concurrent=OFF
-DFEATURE_printsupport=OFF
-DFEATURE_xml=OFF
-DFEATURE_testlib=OFF
-DFEATURE_widgets=ON
-DFEATURE_system_zlib=OFF
-DFEATURE_system_pcre2=OFF
-DFEATURE_system_harfbuzz=OFF
-DFEATURE_system_freetype=OFF
-DFEATURE_system_libpng=OFF
-DFEATURE_system_libjpeg=OFF
"
qt_key=$(echo "$qt_options" | sha256sum | cut -c1-12)

# The versions in the root; empty while there is no root yet.
root_version() { # package
    [ -f "$web_root/var/lib/dpkg/status" ] || return 0
    dpkg-query --admindir="$web_root/var/lib/dpkg" -W -f='${Version}' "$1" 2>/dev/null || true
}
qt_wasm_dir() {
    v=$(root_version qt6-base-dev)
    e=$(root_version emscripten)
    echo "$cache_root/qt-wasm-$(echo "${v:-none}" | tr '+~:' '___')-$(echo "$v $e $qt_key" | sha256sum | cut -c1-12)"
}
qt_wasm_ready() { [ -f "$(qt_wasm_dir)/.complete" ]; }

# The machine's own Debian mirror, as its apt sources name it.
host_uri() { # path suffix: /debian or /debian-security
    cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null |
        grep -oE '(https?|file)://[^ ]*'"$1"'/?( |$)' | tr -d ' ' | sed 's:/$::' | head -n1 || true
}

# Runs a command in the root, with the cache and this checkout at the same paths as
# outside, so that the paths CMake writes down hold on both sides. Mounts are undone
# at the end, also when interrupted.
web_mounts=""
web_umount() {
    for m in $web_mounts; do umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true; done
    web_mounts=""
}
web_mount() { # target, then mount's own arguments before it
    target=$1; shift
    mkdir -p "$target"
    mount "$@" "$target"
    web_mounts="$target $web_mounts"
}
in_root() { # shell command
    if [ -z "$web_mounts" ]; then
        trap 'web_umount' EXIT
        trap 'exit 130' INT
        trap 'exit 143' TERM
        web_mount "$web_root/proc" -t proc proc
        web_mount "$web_root/dev" --bind /dev
        web_mount "$web_root/dev/pts" --bind /dev/pts
        web_mount "$web_root$cache_root" --bind "$cache_root"
        web_mount "$web_root$project_dir" --bind "$project_dir"
    fi
    chroot "$web_root" /usr/bin/env -i HOME=/root USER=root LOGNAME=root TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive EMSDK=/opt/emsdk /bin/sh -c "$1"
}

need_root() {
    [ "$(id -u)" = 0 ] && return 0
    echo "$(basename "$0"): debootstrap, mount and chroot need root: run it with sudo" >&2
    exit 1
}

# Makes the Debian 13 root once, or finishes one an interrupted run left half made;
# adds what a newer checkout needs to an older root.
ensure_root() {
    need_root
    missing=""
    for p in $root_packages; do
        [ "$(dpkg-query --admindir="$web_root/var/lib/dpkg" -W -f='${Status}' "$p" 2>/dev/null)" = "install ok installed" ] ||
            missing="$missing $p"
    done
    if [ -n "$missing" ] && [ -f "$web_root/.contadopo-ready" ]; then
        in_root "apt-get install -y -q --no-install-recommends$missing"
    fi
    if [ ! -f "$web_root/.contadopo-ready" ]; then
        command -v debootstrap >/dev/null || "$project_dir/scripts/setup.sh" releases
        mirror=$(host_uri /debian); mirror=${mirror:-http://deb.debian.org/debian}
        security=$(host_uri /debian-security); security=${security:-http://deb.debian.org/debian-security}
        if [ ! -x "$web_root/usr/bin/apt-get" ] || [ ! -f "$web_root/.debootstrap-done" ]; then
            rm -rf --one-file-system "$web_root"
            mkdir -p "$web_root"
            echo "web: making a Debian 13 root from $mirror in $web_root"
            debootstrap --variant=minbase trixie "$web_root" "$mirror" >"$cache_root/debootstrap-web.log" 2>&1 ||
                { tail -n 30 "$cache_root/debootstrap-web.log" >&2; echo "web: debootstrap failed" >&2; exit 1; }
            touch "$web_root/.debootstrap-done"
        fi
        rm -f "$web_root/etc/apt/sources.list"
        cat >"$web_root/etc/apt/sources.list.d/debian.sources" <<SRC
Types: deb deb-src
URIs: $mirror
Suites: trixie trixie-updates
Components: main

Types: deb deb-src
URIs: $security
Suites: trixie-security
Components: main
SRC
        printf '#!/bin/sh\nexit 101\n' >"$web_root/usr/sbin/policy-rc.d"
        chmod 0755 "$web_root/usr/sbin/policy-rc.d"
        echo force-unsafe-io >"$web_root/etc/dpkg/dpkg.cfg.d/unsafe-io"
        # shellcheck disable=SC2086
        in_root "apt-get update -q && apt-get install -y -q --no-install-recommends $(echo $root_packages)"
        # Qt's configure looks for an emscripten SDK folder: one whose .emscripten names
        # the root under it, which here leads to Debian's emscripten.
        in_root "mkdir -p /opt/emsdk/upstream &&
                 ln -sfn /usr/share/emscripten /opt/emsdk/upstream/emscripten &&
                 echo \"EMSCRIPTEN_ROOT = emsdk_path + '/upstream/emscripten'\" > /opt/emsdk/.emscripten"
        touch "$web_root/.contadopo-ready"
    fi
}
