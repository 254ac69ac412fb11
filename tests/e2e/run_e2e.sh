#!/usr/bin/env bash
# Drives the real program on a private X server, window manager and accessibility bus.
# Usage: run_e2e.sh EXECUTABLE RECORD_DIR
set -uo pipefail

fail() {
    echo "run_e2e: $*" >&2
    exit 1
}

(( $# == 2 )) || fail "usage: $0 EXECUTABLE RECORD_DIR"
here=$(cd "$(dirname "$0")" && pwd)
bus_launcher=/usr/libexec/at-spi-bus-launcher

# A missing tool is a failure, never a skip: the race would go untested.
for needed in Xvfb:xvfb setxkbmap:x11-xkb-utils openbox:openbox xdotool:xdotool xprop:x11-utils \
              dbus-daemon:dbus "$bus_launcher:at-spi2-core"; do
    command -v "${needed%:*}" >/dev/null || fail "'${needed%:*}' is missing (Debian: ${needed#*:})"
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || fail "python3 cannot import pyatspi (Debian: python3-pyatspi)"
[ -x "$1" ] || fail "'$1' is not an executable"

work=$(mktemp -d "${TMPDIR:-/tmp}/contadopo-e2e.XXXXXX") || fail "cannot make a work folder"

wait_for() { # command...: tried for up to 20 s
    local deadline=$((SECONDS + 20))
    until "$@"; do
        [ $SECONDS -ge $deadline ] && return 1
        sleep 0.1
    done
}

session() {
    # -displayfd lets the server pick a free display number itself, with no race.
    # -noreset: otherwise the server starts over, keyboard layout lost, whenever its last client leaves.
    Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    wait_for test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
    read -r display <"$work/display"
    export DISPLAY=":$display"
    # An Italian keyboard has a key for "ò": without one xdotool maps a spare key for
    # each accented letter and unmaps it at once, and Qt sometimes reads the key after.
    setxkbmap -layout it || fail "setxkbmap could not choose the Italian layout"

    mkdir -m 0700 "$work/runtime"
    export XDG_RUNTIME_DIR="$work/runtime"
    unset AT_SPI_BUS_ADDRESS SESSION_MANAGER
    dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$work/bus" >"$work/dbus.log" 2>&1 &
    wait_for test -s "$work/bus" || fail "the session bus did not start: $(cat "$work/dbus.log")"
    read -r DBUS_SESSION_BUS_ADDRESS <"$work/bus"
    export DBUS_SESSION_BUS_ADDRESS

    openbox --sm-disable >"$work/openbox.log" 2>&1 &
    "$bus_launcher" --launch-immediately >"$work/atspi.log" 2>&1 &
    # The window manager owns the root window's selection once it is managing.
    wait_for sh -c "xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'" ||
        fail "openbox did not start: $(cat "$work/openbox.log")"

    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
    # The race's logs and recordings go here too, so a killed run leaves nothing behind.
    export TMPDIR="$work"
    /usr/bin/python3 "$here/race_e2e.py" "$1" "$2"
}

group=
cleanup() {
    kill -TERM -- "-$group" 2>/dev/null
    for _ in {1..20}; do
        kill -0 -- "-$group" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL -- "-$group" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT
trap 'exit 129' HUP

# With job control on, the session and all it starts make a process group of their
# own, which the cleanup ends as one.
set -m
session "$@" &
group=$!
set +m
wait "$group"
