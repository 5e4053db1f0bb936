#!/usr/bin/env bash
# Desktop captures in a real Wayland session: sway without a display (headless outputs, software
# rendering) with Xwayland, two outputs of different sizes side by side each showing its own
# picture, the desktop portal with sway's backend (xdg-desktop-portal-wlr) on a private session
# bus, and grim's picture of the desktop as the reference. The probe captures on each output,
# once through Xwayland with xdotool's drags and once on Qt's Wayland platform with Qt's events:
# first with the portal as installed, which offers no screenshots there (the capture goes through
# the compositor's own screen copy), then with an access dialog added, through the portal; then
# the program itself (PROGRAM, when given) must open natively on Wayland. WINDOW_PROBE, when given,
# runs the program's window and its "Capture bureau" command on Qt's Wayland platform after each
# probe, checked against the same reference.
#   WaylandCaptureTest.sh PROBE [PROGRAM [WINDOW_PROBE]]
# sway refuses to run as root: as root, the test runs itself as an unprivileged user, made for it
# when missing.
set -uo pipefail
probe=$1
program=${2:-}
window_probe=${3:-}

here=$(cd "$(dirname "$0")" && pwd)

skip() { echo "SKIP: $*"; exit 77; }
/usr/bin/python3 -c 'import dbus, gi' 2>/dev/null || skip "python3-dbus or python3-gi is missing"
for tool in sway swaymsg swaybg grim Xwayland xdotool dbus-run-session; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
for f in /usr/libexec/xdg-desktop-portal /usr/libexec/xdg-desktop-portal-wlr; do
  [ -x "$f" ] || skip "$f is not installed"
done

user=velorix-wayland-test
if [ "$(id -u)" -eq 0 ]; then
  if ! id "$user" >/dev/null 2>&1; then
    useradd --system --no-create-home --shell /usr/sbin/nologin "$user" || skip "cannot add $user"
  fi
  work=$(mktemp -d /tmp/velorix-wayland.XXXXXX)
  trap 'rm -rf "$work"' EXIT
  # The probe is copied where the user can run it, whatever the build tree's permissions.
  cp "$probe" "$work/CaptureProbe"
  [ -z "$window_probe" ] || cp "$window_probe" "$work/WindowCaptureProbe"
  cp "$0" "$here/FakeScreenshotPortal.py" "$work/"
  chown -R "$user" "$work"
  chmod 755 "$work" "$work/CaptureProbe"
  runuser -u "$user" -- env -i PATH="$PATH" VELORIX_WAYLAND_WORK="$work" \
    ${VELORIX_WAYLAND_SCREENSHOT:+VELORIX_WAYLAND_SCREENSHOT="$VELORIX_WAYLAND_SCREENSHOT"} \
    ${ASAN_OPTIONS:+ASAN_OPTIONS="$ASAN_OPTIONS"} ${LSAN_OPTIONS:+LSAN_OPTIONS="$LSAN_OPTIONS"} \
    ${UBSAN_OPTIONS:+UBSAN_OPTIONS="$UBSAN_OPTIONS"} \
    bash "$work/WaylandCaptureTest.sh" "$work/CaptureProbe" "$program" \
    ${window_probe:+"$work/WindowCaptureProbe"}
  exit $?
fi

if [ -z "${VELORIX_PRIVATE_BUS:-}" ]; then
  VELORIX_PRIVATE_BUS=1 exec timeout 240 dbus-run-session -- bash "$0" "$@"
fi

if [ -n "${VELORIX_WAYLAND_WORK:-}" ]; then
  work=$VELORIX_WAYLAND_WORK
else
  work=$(mktemp -d /tmp/velorix-wayland.XXXXXX)
  trap 'rm -rf "$work"' EXIT
fi
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null && wait "$p" 2>/dev/null; done
  # The document portal, started by the bus, mounts its folder here.
  fusermount3 -u "$work/run/doc" 2>/dev/null || fusermount -u "$work/run/doc" 2>/dev/null
}
trap 'cleanup; [ -z "${VELORIX_WAYLAND_WORK:-}" ] && [ -z "${VELORIX_KEEP:-}" ] && rm -rf "$work"' EXIT

mkdir -p "$work/run" "$work/home" "$work/pictures"
chmod 700 "$work/run"
export XDG_RUNTIME_DIR=$work/run HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
export XDG_CURRENT_DESKTOP=sway XDG_PICTURES_DIR=$work/pictures
export WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1
unset DISPLAY WAYLAND_DISPLAY XDG_SESSION_TYPE VELORIX_SCREEN QT_QPA_PLATFORM

# A picture for each output, told apart pixel by pixel.
QT_QPA_PLATFORM=offscreen "$probe" picture "$work/left.png" 800 600 || exit 1
QT_QPA_PLATFORM=offscreen "$probe" picture "$work/right.png" 1024 768 mirrored || exit 1

cat >"$work/sway.config" <<CONFIG
xwayland enable
default_border none
output HEADLESS-1 resolution 800x600 position 0 0 bg $work/left.png center
CONFIG
sway -c "$work/sway.config" >"$work/sway.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  sock=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock 2>/dev/null | head -1)
  [ -n "$sock" ] && swaymsg -s "$sock" -t get_version >/dev/null 2>&1 && break
  sleep 0.1
done
[ -n "${sock:-}" ] || { echo "sway did not start"; tail -20 "$work/sway.log"; exit 1; }
export SWAYSOCK=$sock
export WAYLAND_DISPLAY=$(basename "$(ls "$XDG_RUNTIME_DIR"/wayland-? | head -1)")
swaymsg -q create_output
swaymsg -q output HEADLESS-2 resolution 1024x768 position 800 0 bg "$work/right.png" center
# Xwayland's display, as sway gives it to the programs it starts.
swaymsg -q exec "printenv DISPLAY > $work/display"
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
xdisplay=$(cat "$work/display" 2>/dev/null)
[ -n "$xdisplay" ] || { echo "no Xwayland display"; exit 1; }

# Services the bus starts by itself see this session too.
dbus-update-activation-environment XDG_RUNTIME_DIR HOME XDG_CONFIG_HOME XDG_CURRENT_DESKTOP \
  WAYLAND_DISPLAY DISPLAY="$xdisplay" PATH >/dev/null 2>&1
has_owner() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
}
owner() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.GetNameOwner "string:$1" 2>/dev/null | sed -n 's/^ *string "\(.*\)"$/\1/p'
}
wait_for() {
  for _ in $(seq 100); do has_owner "$1" && return 0; sleep 0.1; done
  echo "$1 did not appear"; tail -n 20 "$work"/*.log; exit 1
}
# sway's portal will not start without PipeWire (it serves screen casts too).
pipewire >"$work/pipewire.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && break; sleep 0.1; done
/usr/libexec/xdg-desktop-portal-wlr >"$work/portal-wlr.log" 2>&1 &
pids+=($!)
wait_for org.freedesktop.impl.portal.desktop.wlr

# The desktop's backgrounds are drawn once swaybg has run: wait until grim sees both pictures.
for _ in $(seq 50); do
  grim "$work/reference.png" 2>/dev/null &&
    QT_QPA_PLATFORM=offscreen "$probe" same-part "$work/reference.png" "$work/left.png" 0 0 &&
    QT_QPA_PLATFORM=offscreen "$probe" same-part "$work/reference.png" "$work/right.png" 800 0 &&
    break
  sleep 0.2
done

status=0
run() {
  echo "== $1"
  shift
  if ! timeout 60 env "$@"; then
    echo "FAILED"
    status=1
  fi
}
# Under the sanitizers: Qt's X11 keyboard set-up reads a name to its length with strndup, which
# the strict string checks take for an overflow (as in Xvfb.sh); Qt's Wayland platform leaves its
# allocations in libraries unloaded before the exit, where no leak can be told from a cache.
[ -n "${ASAN_OPTIONS:-}" ] &&
  export ASAN_OPTIONS=${ASAN_OPTIONS//strict_string_checks=1/strict_string_checks=0}
wayland_asan=${ASAN_OPTIONS:+ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0}
# The program with none of the user's settings, scanners, shell, mail or printers.
program_env="VELORIX_SETTINGS=null VELORIX_SCAN_BACKEND=null VELORIX_SHELL=null VELORIX_MAIL=null
  VELORIX_PRINTER=null VELORIX_RECOVERY=null"
captures() {
  run "$1: Xwayland, xdotool" DISPLAY="$xdisplay" QT_QPA_PLATFORM=xcb \
    "$probe" desktop "$work/reference.png" xdotool
  run "$1: Wayland" $wayland_asan QT_QPA_PLATFORM=wayland "$probe" desktop "$work/reference.png"
  [ -z "$window_probe" ] ||
    run "$1: the program's window, Wayland" $wayland_asan QT_QPA_PLATFORM=wayland $program_env \
      "$window_probe" "$work/reference.png"
}

# The portal as Debian installs it beside sway, with sway's backend alone: without an access
# dialog it offers no screenshots, and the captures go through the compositor's screen copy.
/usr/libexec/xdg-desktop-portal >"$work/portal-stock.log" 2>&1 &
pids+=($!)
wait_for org.freedesktop.portal.Desktop
if dbus-send --session --print-reply --dest=org.freedesktop.portal.Desktop \
  /org/freedesktop/portal/desktop org.freedesktop.DBus.Introspectable.Introspect |
  grep -q 'org.freedesktop.portal.Screenshot'; then
  echo "FAILED: the stock portal offers screenshots, the compositor's copy is not reached"
  status=1
fi
captures "stock portal"

# The portal asks the desktop's access dialogs too before a screenshot; sway has none of its own
# (a desktop adds one, GTK's for instance): a stand-in answers yes as the user would.
mkdir -p "$work/portals"
cp /usr/share/xdg-desktop-portal/portals/wlr.portal "$work/portals/"
cat >"$work/portals/velorixaccess.portal" <<PORTAL
[portal]
DBusName=org.freedesktop.impl.portal.desktop.velorixaccess
Interfaces=org.freedesktop.impl.portal.Access;
UseIn=sway
PORTAL
export XDG_DESKTOP_PORTAL_DIR=$work/portals
/usr/bin/python3 "$here/FakeScreenshotPortal.py" --access-only "$work/access-requests.log" \
  >"$work/access.log" 2>&1 &
pids+=($!)
wait_for org.freedesktop.impl.portal.desktop.velorixaccess
stock_owner=$(owner org.freedesktop.portal.Desktop)
/usr/libexec/xdg-desktop-portal --replace >"$work/portal.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  new_owner=$(owner org.freedesktop.portal.Desktop)
  [ -n "$new_owner" ] && [ "$new_owner" != "$stock_owner" ] && break
  sleep 0.1
done

captures "portal with an access dialog"

# The program itself, with no platform chosen, opens its window natively on Wayland.
if [ -n "$program" ]; then
  echo "== the program"
  env $program_env "$program" >"$work/program.log" 2>&1 &
  program_pid=$!
  pids+=($program_pid)
  shell=
  for _ in $(seq 100); do
    shell=$(swaymsg -t get_tree | grep -o '"shell": "[a-z_]*"' | head -1)
    [ -n "$shell" ] && break
    sleep 0.1
  done
  sleep 0.5
  [ -n "${VELORIX_WAYLAND_SCREENSHOT:-}" ] && grim "$VELORIX_WAYLAND_SCREENSHOT"
  if [ "$shell" != '"shell": "xdg_shell"' ]; then
    echo "FAILED: the program's window is ${shell:-not there}, not a native Wayland one"
    cat "$work/program.log"
    status=1
  fi
  kill "$program_pid" 2>/dev/null
fi
if [ $status -ne 0 ]; then
  tail -n 20 "$work/sway.log" "$work/portal-wlr.log" "$work/portal.log"
fi
exit $status
