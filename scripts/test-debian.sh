#!/usr/bin/env bash
# Runs the test command in a fresh Debian root of the given release, as a new user
# of that release would: debootstrap, then scripts/test.sh on a copy of this checkout.
# Usage: scripts/test-debian.sh RELEASE [MIRROR]   (RELEASE: 12, bookworm, 13 or trixie)
# Needs root. The root is a tmpfs mounted under TMPDIR (default /var/tmp) and goes
# away at the end, also when interrupted; KEEP_ROOT=1 keeps it for a look.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)

case "${1:-}" in
    12|bookworm) suite=bookworm ;;
    13|trixie) suite=trixie ;;
    *) echo "usage: $0 RELEASE [MIRROR]   (RELEASE: 12, bookworm, 13 or trixie)" >&2; exit 2 ;;
esac
[ "$(id -u)" -eq 0 ] || { echo "test-debian: debootstrap, mount and chroot need root" >&2; exit 1; }
command -v debootstrap >/dev/null || "$src/scripts/setup.sh" releases

# The machine's own Debian mirror, as its apt sources name it.
host_uri() { # path suffix: /debian or /debian-security
    cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null |
        grep -oE '(https?|file)://[^ ]*'"$1"'/?( |$)' | tr -d ' ' | sed 's:/$::' | head -n1 || true
}
mirror=${2:-$(host_uri /debian)}
mirror=${mirror:-http://deb.debian.org/debian}
security=$(host_uri /debian-security)
security=${security:-http://deb.debian.org/debian-security}

phase_start=$SECONDS
work=$(mktemp -d "${TMPDIR:-/var/tmp}/contadopo-$suite.XXXXXX")
work=$(cd "$work" && pwd -P)  # as /proc shows a process's root
root=$work/root
child=

# Everything mounted under the root, deepest first.
mounts_under_root() {
    awk -v r="$root" '$5 == r || index($5, r "/") == 1 { print $5 }' /proc/self/mountinfo | sort -r
}

descendants() {
    local c
    for c in $(pgrep -P "$1" 2>/dev/null); do
        descendants "$c"
        echo "$c"
    done
}

# Whatever still runs inside the root: a daemon a package started, a test's leftovers.
processes_in_root() {
    local link pid
    for link in /proc/[0-9]*/root; do
        pid=${link#/proc/}
        pid=${pid%/root}
        [ "$(readlink "$link" 2>/dev/null)" = "$root" ] && echo "$pid"
    done
    return 0
}

cleanup() {
    local status=$? pid m pids
    # A second Ctrl-C must not stop it halfway, with mounts left behind.
    trap '' INT TERM HUP
    trap - EXIT
    set +e
    phase_start=$SECONDS
    if [ -n "$child" ]; then
        pids=$(descendants "$child"; echo "$child")
        for pid in $pids; do kill -TERM "$pid" 2>/dev/null; done
    fi
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        pids=$(processes_in_root)
        [ -z "$pids" ] && break
        for pid in $pids; do kill -TERM "$pid" 2>/dev/null; done
        sleep 0.5
    done
    for pid in $(processes_in_root); do kill -KILL "$pid" 2>/dev/null; done
    [ -n "$child" ] && wait "$child" 2>/dev/null
    for m in $(mounts_under_root); do
        [ "$m" = "$root" ] && [ "${KEEP_ROOT:-0}" = 1 ] && continue
        umount "$m" 2>/dev/null || umount -l "$m"
    done
    if [ "${KEEP_ROOT:-0}" = 1 ]; then
        echo "test-debian: the root is kept in $root; when done: umount $root; rm -r $work"
    elif [ -n "$(mounts_under_root)" ]; then
        echo "test-debian: still mounted under $root, left in place:" >&2
        mounts_under_root >&2
    else
        # --one-file-system: never follow into anything still mounted.
        rm -rf --one-file-system "$work"
        echo "test-debian: clean-up took $((SECONDS - phase_start)) s"
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# Children run in the background so that a signal reaches the trap at once.
run() {
    "$@" &
    child=$!
    wait "$child"
    local status=$?
    child=
    return $status
}

phase() { # name: prints how long the previous phase took
    echo "test-debian: $1 took $((SECONDS - phase_start)) s"
    phase_start=$SECONDS
}

echo "test-debian: Debian $suite from $mirror in $root"
# In memory (about 2 GB at the end): dpkg's syncs and removing the root's files
# from a busy disk took minutes; unmounting takes none.
mkdir "$root"
mount -t tmpfs -o size=8G,mode=0755 tmpfs "$root"
run debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    { tail -n 30 "$work/debootstrap.log" >&2; echo "test-debian: debootstrap failed" >&2; exit 1; }
phase debootstrap

# What a fresh installation has: the release with its updates and security fixes,
# a machine id for D-Bus, and no services started by package scripts.
rm -f "$root/etc/apt/sources.list"
cat >"$root/etc/apt/sources.list.d/debian.sources" <<EOF
Types: deb
URIs: $mirror
Suites: $suite $suite-updates
Components: main

Types: deb
URIs: $security
Suites: $suite-security
Components: main
EOF
[ -s "$root/etc/machine-id" ] || tr -d '-' </proc/sys/kernel/random/uuid >"$root/etc/machine-id"
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 0755 "$root/usr/sbin/policy-rc.d"

mount -t proc proc "$root/proc"
mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts "$root/dev/pts"
ln -sf pts/ptmx "$root/dev/ptmx"
mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"

# The checkout as git knows it (with uncommitted changes), never a build folder.
mkdir -p "$root/root/contadopo"
if git -C "$src" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    (cd "$src" && git ls-files -z --cached --others --exclude-standard |
        while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
        tar --null -T - -cf -) | tar -C "$root/root/contadopo" -xf -
else
    tar -C "$src" --exclude='./build*' -cf - . | tar -C "$root/root/contadopo" -xf -
fi
# The copy has no history to count: it takes this checkout's version with it.
sh "$src/scripts/version.sh" >"$root/root/contadopo/.version"

in_root() {
    run chroot "$root" /usr/bin/env -i HOME=/root USER=root LOGNAME=root TERM="${TERM:-dumb}" \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive CI="${CI:-}" /bin/bash -c "cd /root/contadopo && $1"
}

in_root "scripts/setup.sh test"
phase "set-up (scripts/setup.sh test)"
in_root "scripts/test.sh"
phase "test command (scripts/test.sh: build and tests)"
echo "test-debian: Debian $suite passed"
