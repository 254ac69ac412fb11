#!/usr/bin/env bash
# Drives the real program on a private X server, window manager and accessibility bus.
# Usage: run_e2e.sh EXECUTABLE RECORD_DIR [SCENARIOS]   (SCENARIOS: race_e2e.py unless given)
set -uo pipefail

if [ $# -lt 2 ] || [ $# -gt 3 ]; then
    echo "usage: $0 EXECUTABLE RECORD_DIR [SCENARIOS]" >&2
    exit 2
fi
executable=$1
record_dir=$2
here=$(cd "$(dirname "$0")" && pwd)
scenarios=${3:-race_e2e.py}
python=/usr/bin/python3
bus_launcher=/usr/libexec/at-spi-bus-launcher

fail() {
    echo "run_e2e: $*" >&2
    exit 1
}

# A missing tool is a failure, never a skip: the race would go untested.
for tool in Xvfb setxkbmap openbox xdotool xprop dbus-daemon pgrep; do
    command -v "$tool" >/dev/null 2>&1 || fail "'$tool' is missing (Debian: xvfb x11-xkb-utils openbox xdotool x11-utils dbus procps)"
done
[ -x "$bus_launcher" ] || fail "$bus_launcher is missing (Debian: at-spi2-core)"
[ -x "$python" ] || fail "$python is missing (Debian: python3)"
"$python" -c 'import pyatspi' 2>/dev/null || fail "$python cannot import pyatspi (Debian: python3-pyatspi)"
[ -x "$executable" ] || fail "'$executable' is not an executable"

work=$(mktemp -d "${TMPDIR:-/tmp}/contadopo-e2e.XXXXXX") || fail "cannot make a work folder"
pids=()

# shellcheck disable=SC2317  # called from the trap
descendants() {
    local child
    for child in $(pgrep -P "$1" 2>/dev/null); do
        descendants "$child"
        echo "$child"
    done
}

# shellcheck disable=SC2317  # called from the trap
cleanup() {
    local pid i alive all=()
    # Children first, so the program and the bus launcher's own daemon go too.
    for (( i=${#pids[@]}-1; i>=0; i-- )); do
        pid=${pids[i]}
        mapfile -t -O "${#all[@]}" all < <(descendants "$pid")
        all+=("$pid")
    done
    for pid in "${all[@]}"; do
        kill -TERM "$pid" 2>/dev/null
    done
    for _ in $(seq 1 20); do
        alive=0
        for pid in "${all[@]}"; do
            kill -0 "$pid" 2>/dev/null && alive=1
        done
        [ "$alive" -eq 0 ] && break
        sleep 0.1
    done
    for pid in "${all[@]}"; do
        kill -KILL "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT
trap 'exit 129' HUP

wait_for_file() { # path seconds
    local deadline=$((SECONDS + $2))
    until [ -s "$1" ]; do
        [ $SECONDS -ge $deadline ] && return 1
        sleep 0.05
    done
}

# -displayfd lets the server pick a free display number itself, with no race.
# -noreset: otherwise the server starts over, keyboard layout lost, whenever its last client leaves.
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
wait_for_file "$work/display" 20 || { cat "$work/xvfb.log" >&2; fail "Xvfb did not start"; }
DISPLAY=":$(tr -d '[:space:]' <"$work/display")"
export DISPLAY
# An Italian keyboard has a key for "ò": without one xdotool maps a spare key for
# each accented letter and unmaps it at once, and Qt sometimes reads the key after.
setxkbmap -layout it || fail "setxkbmap could not choose the Italian layout"

mkdir -m 0700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
unset AT_SPI_BUS_ADDRESS SESSION_MANAGER DBUS_SESSION_BUS_ADDRESS

dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$work/bus" >"$work/dbus.log" 2>&1 &
pids+=($!)
wait_for_file "$work/bus" 20 || { cat "$work/dbus.log" >&2; fail "the session bus did not start"; }
DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")
export DBUS_SESSION_BUS_ADDRESS

openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
"$bus_launcher" --launch-immediately >"$work/atspi.log" 2>&1 &
pids+=($!)

# The window manager owns the root window's selection once it is managing.
deadline=$((SECONDS + 20))
until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
    [ $SECONDS -ge $deadline ] && { cat "$work/openbox.log" >&2; fail "openbox did not start"; }
    sleep 0.1
done

export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
# The scenarios' logs go here too, so a killed run leaves nothing behind.
export TMPDIR="$work"

"$python" "$here/$scenarios" "$executable" "$record_dir" &
pids+=($!)
wait "${pids[-1]}"
status=$?
exit $status
