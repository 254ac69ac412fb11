#!/usr/bin/env bash
# Runs the test command in a fresh Debian root of the given release, as a new user
# of that release would: debootstrap, then scripts/test.sh on a copy of this checkout.
# Usage: scripts/test-debian.sh RELEASE [MIRROR]   (RELEASE: 12, bookworm, 13 or trixie)
# Needs root. The root is a tmpfs mounted under TMPDIR (default /var/tmp) and goes
# away at the end, also when interrupted; KEEP_ROOT=1 keeps it for a look.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
. "$src/scripts/debian-root.sh"

debian_root_suite "${1:-}" ||
    { echo "usage: $0 RELEASE [MIRROR]   (RELEASE: 12, bookworm, 13 or trixie)" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "test-debian: debootstrap, mount and chroot need root" >&2; exit 1; }
command -v debootstrap >/dev/null || "$src/scripts/setup.sh" releases
debian_root_make "${2:-}"

mkdir -p "$root/root/contadopo"
copy_checkout "$src" "$root/root/contadopo"
# The copy has no history to count: it takes this checkout's version with it.
sh "$src/scripts/version.sh" >"$root/root/contadopo/.version"

in_root "cd contadopo && scripts/setup.sh test"
phase "set-up (scripts/setup.sh test)"
in_root "cd contadopo && scripts/test.sh"
phase "test command (scripts/test.sh: build and tests)"
echo "test-debian: Debian $suite passed"
