#!/bin/sh
# Prints this tree's version. The release is project()'s version in CMakeLists.txt; a
# build of any other commit is <that release>~git<commits>.<date>.<commit>, which dpkg
# sorts above the release before and below the one it leads to, and which rises with
# every commit. A tree without git (a copy, an unpacked source) takes .version.
# Usage: scripts/version.sh [--windows]   (--windows: four numbers, the last the commits)
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
release=$(sed -n 's/^project(contadopo VERSION \([0-9][0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
[ -n "$release" ] || { echo "version: no project() version in $top/CMakeLists.txt" >&2; exit 1; }

if git -C "$top" rev-parse --verify -q HEAD >/dev/null 2>&1; then
    # A shallow clone counts too few commits: fine for a test build, wrong for a release.
    if [ "$(git -C "$top" rev-parse --is-shallow-repository)" = true ]; then
        echo "version: a shallow clone counts too few commits; fetch --unshallow before building packages" >&2
    fi
    commits=$(git -C "$top" rev-list --count HEAD)
    if [ -n "$(git -C "$top" tag --points-at HEAD --list "v$release")" ]; then
        version=$release
    elif git -C "$top" rev-parse -q --verify "refs/tags/v$release" >/dev/null; then
        # Its builds would sort below the release and never reach a machine that has it.
        echo "version: $release is released (tag v$release): move project() in CMakeLists.txt on to the next version" >&2
        exit 1
    else
        stamp=$(TZ=UTC git -C "$top" log -1 --date=format-local:%Y%m%d --format=%cd)
        version="$release~git$commits.$stamp.$(git -C "$top" rev-parse --short=7 HEAD)"
    fi
elif [ -s "$top/.version" ]; then
    version=$(head -n 1 "$top/.version")
    commits=$(echo "$version" | sed -n 's/.*~git\([0-9]*\)\..*/\1/p')
else
    echo "version: neither git nor .version here; calling it $release~git0" >&2
    version="$release~git0"
fi

if [ "${1:-}" = --windows ]; then
    # Windows version fields are 16-bit numbers.
    echo "$release.$(( ${commits:-0} > 65535 ? 65535 : ${commits:-0} ))"
else
    echo "$version"
fi
