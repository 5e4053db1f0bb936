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

source "$(dirname "$0")/../Xvfb.sh"
work=$(mktemp -d /tmp/velorix-x11.XXXXXX)
xvfb_pid=
wm_pid=
cleanup() {
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

start_xvfb "$work"
export VELORIX_SCREEN=x11

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
    # What the window manager said and which windows there were, for the next look.
    [ -z "$wm_pid" ] || cat "$work/openbox.log"
    xwininfo -root -tree | head -40
  fi
}
run "no window manager" 1
run "no window manager" 0

openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
# Up to 30 s for openbox to take the display: on a busy machine 5 s were not always enough.
for _ in $(seq 300); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break
  sleep 0.1
done
# openbox paints the root window black when it starts.
display -window root "$work/root.png" || true
run "openbox" 1
run "openbox" 0
exit $status
