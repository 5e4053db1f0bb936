#!/usr/bin/env bash
# The way to the screen through the desktop portal, as on Wayland: a private session bus, the
# real xdg-desktop-portal with our fake backend (FakeScreenshotPortal.py) behind it, and a
# program whose Qt grab gets nothing (offscreen, with two screens), so that it falls back on the
# portal. Checks the picture arrives, the request was non-interactive, and the file the portal
# wrote is deleted (but never a link named by the portal), and that another bus client answering
# in the portal's place, with a wrong type or another picture, is not heard.
set -uo pipefail
probe=$1
here=$(cd "$(dirname "$0")" && pwd)

skip() { echo "SKIP: $*"; exit 77; }
portal=/usr/libexec/xdg-desktop-portal
[ -x "$portal" ] || skip "xdg-desktop-portal is not installed"
command -v dbus-run-session >/dev/null || skip "dbus-run-session is not installed"
/usr/bin/python3 -c 'import dbus, gi' 2>/dev/null || skip "python3-dbus or python3-gi is missing"

if [ -z "${VELORIX_PRIVATE_BUS:-}" ]; then
  VELORIX_PRIVATE_BUS=1 exec timeout 120 dbus-run-session -- bash "$0" "$@"
fi

work=$(mktemp -d /tmp/velorix-portal.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null && wait "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/portals" "$work/config/xdg-desktop-portal" "$work/run"
chmod 700 "$work/run"
cat >"$work/portals/velorixtest.portal" <<PORTAL
[portal]
DBusName=org.freedesktop.impl.portal.desktop.velorixtest
Interfaces=org.freedesktop.impl.portal.Screenshot;org.freedesktop.impl.portal.Access;
UseIn=velorixtest
PORTAL
# Newer portals choose their backends from this file instead of UseIn.
printf '[preferred]\ndefault=velorixtest\n' >"$work/config/xdg-desktop-portal/portals.conf"
export XDG_DESKTOP_PORTAL_DIR=$work/portals XDG_CURRENT_DESKTOP=velorixtest
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
# Two screens of different sizes side by side: the portal's one picture is cut into both.
cat >"$work/screens.json" <<'SCREENS'
{"screens": [{"name": "A", "x": 0, "y": 0, "width": 800, "height": 600, "logicalDpi": 96,
              "logicalBpi": 96, "dpr": 1},
             {"name": "B", "x": 800, "y": 0, "width": 1024, "height": 768, "logicalDpi": 96,
              "logicalBpi": 96, "dpr": 1}]}
SCREENS
export QT_QPA_PLATFORM=offscreen:configfile=$work/screens.json
unset VELORIX_SCREEN DISPLAY WAYLAND_DISPLAY

has_owner() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
}
wait_for() {
  for _ in $(seq 100); do has_owner "$1" && return 0; sleep 0.1; done
  echo "$1 did not appear on the bus"; return 1
}

"$probe" picture "$work/screen.png" 1824 768 || exit 1
/usr/bin/python3 "$here/FakeScreenshotPortal.py" "$work/screen.png" "$work/written.png" \
  "$work/requests.log" "$work/spoof.png" 2>"$work/fake.log" &
pids+=($!)
wait_for org.freedesktop.impl.portal.desktop.velorixtest || { cat "$work/fake.log"; exit 1; }
"$portal" --replace --verbose >"$work/portal.log" 2>&1 &
pids+=($!)
wait_for org.freedesktop.portal.Desktop || { cat "$work/portal.log"; exit 1; }

status=0
fail() { echo "FAILED: $*"; status=1; }
"$probe" portal "$work/screen.png" || fail "the capture through the portal"
grep -q '"request": "screenshot"' "$work/requests.log" 2>/dev/null ||
  fail "the backend was not asked for a screenshot"
grep '"request": "screenshot"' "$work/requests.log" | grep -q '"interactive": false' ||
  fail "the request was not marked non-interactive"
[ ! -e "$work/written.png" ] || fail "the portal's file was left behind"
# A portal that answers with a link to a picture of the user's: the picture and the link stay.
cp "$work/screen.png" "$work/mine.png"
ln -s "$work/mine.png" "$work/written.png"
"$probe" portal "$work/screen.png" || fail "the capture through a linked portal file"
[ -f "$work/mine.png" ] && [ -L "$work/written.png" ] || fail "the user's picture was removed"
rm -f "$work/written.png"
# Another client answers first: the capture still gets the portal's own picture.
"$probe" picture "$work/spoof.png" 1824 768 mirrored || exit 1
"$probe" portal "$work/screen.png" || fail "the capture with a client answering for the portal"
[ -f "$work/spoof.png" ] || fail "the other client's picture was read and removed"
[ $status -eq 0 ] || { cat "$work/fake.log"; cat "$work/requests.log" "$work/portal.log" 2>/dev/null; }
exit $status
