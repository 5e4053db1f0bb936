#!/usr/bin/env bash
# Runs the portal mail test on a private session bus: our stand-in Email backend, then the real
# xdg-desktop-portal configured to use it, then the test program.
# Usage (inside dbus-run-session): PortalEmailTest.sh TEST_PROGRAM PORTAL_DIR
set -euo pipefail
test_program=$1
portal_dir=$2

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

export VELORIX_PORTAL_RECORD=$work/record.jsonl
export VELORIX_PORTAL_RESPONSE_FILE=$work/response
export XDG_CURRENT_DESKTOP=velorixtest
export XDG_DESKTOP_PORTAL_DIR=$portal_dir
unset DISPLAY WAYLAND_DISPLAY

# Debian's interpreter, where python3-dbus and python3-gi install their modules.
/usr/bin/python3 "$portal_dir/FakeEmailBackend.py" &
pids+=($!)
portal=/usr/libexec/xdg-desktop-portal
"$portal" --replace >"$work/portal.log" 2>&1 &
pids+=($!)

# Both on the bus before the test starts.
for name in org.freedesktop.impl.portal.desktop.velorixtest org.freedesktop.portal.Desktop; do
    for _ in $(seq 100); do
        if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner "string:$name" 2>/dev/null | grep -q 'true'; then
            break
        fi
        sleep 0.1
    done
done

status=0
"$test_program" || status=$?
[ "$status" -eq 0 ] || cat "$work/portal.log"
exit "$status"
