#!/bin/sh
# Runs a command on a private X server (Xvfb) inside a private session D-Bus, the setting
# in which the accessibility bus (at-spi2-core) starts on demand and Qt programs started
# with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 publish their widgets to it.
#   atspi_run.sh COMMAND [ARGS...]
# XVFB_SCREEN sets the screen (default 1280x1024x24).
# Exits 77 (CTest's "skipped") when Xvfb or dbus-run-session is missing; scripts/setup
# installs both, so on a set-up machine the command always runs.
set -u
for tool in Xvfb dbus-run-session; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed (scripts/setup installs it); the accessibility test did not run"
        exit 77
    fi
done

workdir=$(mktemp -d "${TMPDIR:-/tmp}/atspi-run.XXXXXX")
xvfb_pid=""
cleanup() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    rm -rf "$workdir"
}
trap cleanup EXIT INT TERM

# Xvfb picks a free display itself and writes its number to the descriptor we give it.
# -noreset: without it the server resets whenever its last client leaves (the accessibility
# library opens the display for a moment to look for the bus), and a program connecting
# during that reset is dropped with "could not connect to display".
Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-1280x1024x24}" -nolisten tcp -noreset 3>"$workdir/display" 2>"$workdir/xvfb.log" &
xvfb_pid=$!
n=0
while [ ! -s "$workdir/display" ]; do
    n=$((n + 1))
    if [ $n -gt 300 ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
        echo "FAIL: Xvfb did not start within 30 s:"
        cat "$workdir/xvfb.log"
        exit 1
    fi
    sleep 0.1
done
display=$(head -n 1 "$workdir/display")
# Now and then a client started at once could not connect: wait for the server's socket too.
n=0
while [ ! -S "/tmp/.X11-unix/X$display" ] && [ $n -lt 100 ]; do
    n=$((n + 1))
    sleep 0.1
done
DISPLAY=":$display"
export DISPLAY
# A fresh runtime folder for the bus and the accessibility bus launcher.
XDG_RUNTIME_DIR="$workdir/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export XDG_RUNTIME_DIR
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
export QT_QPA_PLATFORM=xcb
export NO_AT_BRIDGE=0
unset DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS

dbus-run-session -- "$@"
