#!/usr/bin/env bash
# Runs a command on a display of its own: a private Xvfb, found with -displayfd, stopped after.
# Exit 77 (skipped) where Xvfb is missing.
set -uo pipefail
command -v Xvfb >/dev/null || { echo "Xvfb is not installed"; exit 77; }
work=$(mktemp -d)
xvfb_pid=
cleanup() {
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
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
# Qt's X11 keyboard setup hands libxkbcommon a name that strndup reads to its length, not to a
# terminating zero, as strndup allows; the sanitizer's strict string checks take that for an
# overflow.
[ -n "${ASAN_OPTIONS:-}" ] && export ASAN_OPTIONS=${ASAN_OPTIONS//strict_string_checks=1/strict_string_checks=0}
"$@"
