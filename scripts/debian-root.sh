# Fresh Debian roots for the scripts that test in one: sourced, not run.
# debian_root_suite RELEASE sets $suite (12, bookworm, 13 or trixie; 1 when unknown);
# debian_root_make makes a minimal root of $suite in memory under TMPDIR (default
# /var/tmp), mounted and ready for apt, as $root; in_root runs a command there as root.
# On exit, also when interrupted, whatever runs inside is ended, everything mounted is
# unmounted and the root is removed (KEEP_ROOT=1 keeps it for a look); a script may
# define debian_root_cleanup_extra for its own leftovers. Needs root and bash.

debian_root_suite() {
    case "${1:-}" in
        12|bookworm) suite=bookworm ;;
        13|trixie) suite=trixie ;;
        *) return 1 ;;
    esac
}

# The machine's own Debian mirror, as its apt sources name it.
host_uri() { # path suffix: /debian or /debian-security
    cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null |
        grep -oE '(https?|file)://[^ ]*'"$1"'/?( |$)' | tr -d ' ' | sed 's:/$::' | head -n1 || true
}

root=
work=
child=
phase_start=$SECONDS

# Everything mounted under the root, deepest first.
mounts_under_root() {
    [ -n "$root" ] || return 0
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
    [ -n "$root" ] || return 0
    for link in /proc/[0-9]*/root; do
        pid=${link#/proc/}
        pid=${pid%/root}
        [ "$(readlink "$link" 2>/dev/null)" = "$root" ] && echo "$pid"
    done
    return 0
}

# Ends what runs inside, unmounts and removes the root; the next one may follow.
debian_root_remove() {
    local pid m pids
    [ -n "$work" ] || return 0
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
    child=
    for m in $(mounts_under_root); do
        [ "$m" = "$root" ] && [ "${KEEP_ROOT:-0}" = 1 ] && continue
        umount "$m" 2>/dev/null || umount -l "$m"
    done
    if [ "${KEEP_ROOT:-0}" = 1 ]; then
        echo "debian-root: the root is kept in $root; when done: umount $root; rm -r $work"
    elif [ -n "$(mounts_under_root)" ]; then
        echo "debian-root: still mounted under $root, left in place:" >&2
        mounts_under_root >&2
    else
        # --one-file-system: never follow into anything still mounted.
        rm -rf --one-file-system "$work"
        echo "debian-root: clean-up took $((SECONDS - phase_start)) s"
    fi
    root=
    work=
}

debian_root_cleanup() {
    local status=$?
    # A second Ctrl-C must not stop it halfway, with mounts left behind.
    trap '' INT TERM HUP
    trap - EXIT
    set +e
    debian_root_remove
    declare -F debian_root_cleanup_extra >/dev/null && debian_root_cleanup_extra
    exit "$status"
}
trap debian_root_cleanup EXIT
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
    echo "$(basename "$0" .sh): $1 took $((SECONDS - phase_start)) s"
    phase_start=$SECONDS
}

debian_root_make() { # [MIRROR]
    local mirror security
    [ "$(id -u)" -eq 0 ] || { echo "debian-root: debootstrap, mount and chroot need root" >&2; return 1; }
    mirror=${1:-$(host_uri /debian)}
    mirror=${mirror:-http://deb.debian.org/debian}
    security=$(host_uri /debian-security)
    security=${security:-http://deb.debian.org/debian-security}
    phase_start=$SECONDS
    work=$(mktemp -d "${TMPDIR:-/var/tmp}/contadopo-$suite.XXXXXX")
    work=$(cd "$work" && pwd -P)  # as /proc shows a process's root
    root=$work/root
    echo "debian-root: Debian $suite from $mirror in $root"
    # In memory (about 2 GB at the most): dpkg's syncs and removing the root's files
    # from a busy disk took minutes; unmounting takes none.
    mkdir "$root"
    mount -t tmpfs -o size=8G,mode=0755 tmpfs "$root"
    run debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
        { tail -n 30 "$work/debootstrap.log" >&2; echo "debian-root: debootstrap failed" >&2; return 1; }
    phase "debootstrap of $suite"

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
}

# The files of a checkout as git knows them (uncommitted changes too), never a build
# folder; a tree without git is taken whole but for its build folders.
copy_checkout() { # SOURCE DESTINATION
    if git -C "$1" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        (cd "$1" && git ls-files -z --cached --others --exclude-standard |
            while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
            tar --null -T - -cf -) | tar -C "$2" -xf -
    else
        tar -C "$1" --exclude='./build*' -cf - . | tar -C "$2" -xf -
    fi
}

in_root() { # command line for bash, run in /root
    run chroot "$root" /usr/bin/env -i HOME=/root USER=root LOGNAME=root TERM="${TERM:-dumb}" \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive CI="${CI:-}" /bin/bash -c "cd /root && $1"
}
