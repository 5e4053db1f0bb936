# Sourced by the tests that need a display. start_xvfb WORK [SCREEN] starts a private Xvfb (its
# display number found with -displayfd, its log in WORK; SCREEN 640x480x24 unless given), sets
# xvfb_pid, DISPLAY and QT_QPA_PLATFORM=xcb. The caller stops it: kill "$xvfb_pid".
start_xvfb() {
  local work=$1 screen=${2:-640x480x24}
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  [ -s "$work/display" ] || { cat "$work/xvfb.log"; echo "Xvfb did not start"; exit 1; }
  export DISPLAY=:$(head -n1 "$work/display")
  export QT_QPA_PLATFORM=xcb
  unset WAYLAND_DISPLAY
  # Qt's X11 keyboard setup hands libxkbcommon a name that strndup reads to its length, not to
  # a terminating zero, as strndup allows; the sanitizer's strict string checks take that for an
  # overflow.
  [ -n "${ASAN_OPTIONS:-}" ] && export ASAN_OPTIONS=${ASAN_OPTIONS//strict_string_checks=1/strict_string_checks=0}
  return 0
}
