#!/usr/bin/env bash
# A private desktop for the end-to-end race, the Windows build's smoke test and the
# benchmark: an X server of its own (Xvfb, 1920x1080, Italian keyboard), a session bus,
# openbox, and a PulseAudio with a null sink; with --accessibility also the
# accessibility bus, with Qt's bridge on.
# Runs COMMAND there, then ends all of it, also when interrupted.
#
#   scripts/desktop-session.sh [--accessibility] COMMAND...
#   scripts/desktop-session.sh --sound-server   inside a session: starts a sound server in
#                                               the place of one that was killed, prints its pid
#
# COMMAND finds DISPLAY, DBUS_SESSION_BUS_ADDRESS, PULSE_SERVER, CONTADOPO_SOUND_PID (the
# sound server's pid) and TMPDIR, a folder of the session's, removed at its end.
set -uo pipefail

fail() {
    echo "desktop-session: $*" >&2
    exit 1
}

wait_for() { # command...: tried for up to 20 s
    local deadline=$((SECONDS + 20))
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -ge $deadline ] && return 1
        sleep 0.1
    done
}

# The sink never rewinds: a rewind rewrites what a real card is about to play, but its
# monitor has already handed that stretch on as silence, and a cue's start would go missing.
sound_server() {
    mkdir -p -m 0700 "$TMPDIR/pulse"
    XDG_RUNTIME_DIR="$TMPDIR/pulse" HOME="$TMPDIR/pulse" pulseaudio --daemonize=no --exit-idle-time=-1 -n \
        -L "module-null-sink norewinds=1" -L module-native-protocol-unix </dev/null >>"$TMPDIR/pulseaudio.log" 2>&1 &
    local pid=$!
    disown "$pid" 2>/dev/null
    wait_for pactl info || fail "pulseaudio did not start: $(tail -n 5 "$TMPDIR/pulseaudio.log")"
    echo "$pid"
}

if [ "${1:-}" = --sound-server ]; then
    sound_server
    exit
fi
accessibility=false
if [ "${1:-}" = --accessibility ]; then
    accessibility=true
    shift
fi
(( $# > 0 )) || fail "usage: $0 [--accessibility] COMMAND..."
bus_launcher=/usr/libexec/at-spi-bus-launcher
# A missing tool is a failure, never a skip: what runs here would go untested.
for needed in Xvfb:xvfb setxkbmap:x11-xkb-utils openbox:openbox xprop:x11-utils dbus-daemon:dbus \
              pulseaudio:pulseaudio pactl:pulseaudio-utils; do
    command -v "${needed%:*}" >/dev/null || fail "'${needed%:*}' is missing (Debian: ${needed#*:})"
done
! $accessibility || [ -x "$bus_launcher" ] || fail "'$bus_launcher' is missing (Debian: at-spi2-core)"

work=$(mktemp -d "${TMPDIR:-/tmp}/contadopo-desktop.XXXXXX") || fail "cannot make a work folder"

session() {
    # Whatever runs here keeps its files in the session's folder, so nothing is left behind.
    export TMPDIR="$work"
    # -displayfd lets the server pick a free display number itself, with no race.
    # -noreset: otherwise the server starts over, keyboard layout lost, whenever its last client leaves.
    Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    wait_for test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
    export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"
    # An Italian keyboard has a key for "ò": without one xdotool maps a spare key for
    # each accented letter and unmaps it at once, and Qt sometimes reads the key after.
    setxkbmap -layout it || fail "setxkbmap could not choose the Italian layout"

    mkdir -m 0700 "$work/runtime"
    export XDG_RUNTIME_DIR="$work/runtime"
    unset AT_SPI_BUS_ADDRESS SESSION_MANAGER QT_LINUX_ACCESSIBILITY_ALWAYS_ON QT_QPA_PLATFORM
    dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$work/bus" >"$work/dbus.log" 2>&1 &
    wait_for test -s "$work/bus" || fail "the session bus did not start: $(cat "$work/dbus.log")"
    DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/bus")
    export DBUS_SESSION_BUS_ADDRESS

    openbox --sm-disable >"$work/openbox.log" 2>&1 &
    if $accessibility; then
        "$bus_launcher" --launch-immediately >"$work/atspi.log" 2>&1 &
        export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
    fi
    # The window manager owns the root window's selection once it is managing.
    wait_for sh -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'" ||
        fail "openbox did not start: $(cat "$work/openbox.log")"

    export PULSE_SERVER="unix:$work/pulse/pulse/native"
    # Started from this shell, not a subshell: it is this shell's child, which reaps it
    # when a test kills it, so the next one does not find it still "running".
    sound_server >"$work/sound-pid"
    CONTADOPO_SOUND_PID=$(cat "$work/sound-pid")
    export CONTADOPO_SOUND_PID
    "$@"
}

group=
cleanup() {
    local status=$?
    kill -TERM -- "-$group" 2>/dev/null
    for _ in {1..20}; do
        kill -0 -- "-$group" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL -- "-$group" 2>/dev/null
    rm -rf "$work"
    exit "$status"
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
