#!/usr/bin/env bash
# Real captures on a private X server, without a window manager and with openbox: a known
# picture on the root window, a drag made with xdotool, the program's window out of the desktop
# capture and in the other one, the clipboard read back by another program.
set -uo pipefail
probe=$1

skip() { echo "SKIP: $*"; exit 77; }
for tool in Xvfb xdotool display openbox; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done

work=$(mktemp -d /tmp/velorix-x11.XXXXXX)
xvfb_pid=
wm_pid=
cleanup() {
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || { cat "$work/xvfb.log"; echo "Xvfb did not start"; exit 1; }
export DISPLAY=:$(head -n1 "$work/display")
export QT_QPA_PLATFORM=xcb VELORIX_SCREEN=x11
# Qt's X11 keyboard setup hands libxkbcommon a name that strndup reads to its length, not to a
# terminating zero, as strndup allows; the sanitizer's strict string checks take that for an
# overflow.
[ -n "${ASAN_OPTIONS:-}" ] && export ASAN_OPTIONS=${ASAN_OPTIONS//strict_string_checks=1/strict_string_checks=0}
unset WAYLAND_DISPLAY

"$probe" picture "$work/root.png" 640 480 || exit 1
# display sets the root window's background and exits with 1 even then; the probe checks
# the pixels it finds there.
display -window root "$work/root.png" || true

status=0
run() {
  echo "== $1, minimize $2"
  if ! timeout 120 "$probe" capture "$2" "$work/root.png"; then
    echo "FAILED: $1, minimize $2"
    status=1
  fi
}
run "no window manager" 1
run "no window manager" 0

openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
for _ in $(seq 50); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break
  sleep 0.1
done
# openbox paints the root window black when it starts.
display -window root "$work/root.png" || true
run "openbox" 1
run "openbox" 0
exit $status
