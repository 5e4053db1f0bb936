#!/usr/bin/env bash
# Debian's real Thunderbird as the mailto handler, with a profile of the test's own (one
# identity, no network): `velorix --mail` must open its compose window with capture.pdf
# attached. The draft is saved (Ctrl+S) and the attachment read back from the profile's Drafts
# folder, byte for byte against the shared PDF.
# Usage: ThunderbirdComposeTest.sh VELORIX TESTS_DIR
set -uo pipefail
velorix=$1
tests_dir=$2
here=$(cd "$(dirname "$0")" && pwd)

skip() { echo "SKIP: $*"; exit 77; }
[ -x /usr/bin/thunderbird ] || skip "thunderbird is not installed"
[ -f /usr/share/applications/thunderbird.desktop ] || skip "thunderbird.desktop is missing"
for tool in Xvfb openbox xdotool convert; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done

work=$(mktemp -d /tmp/velorix-thunderbird.XXXXXX)
pids=()
cleanup() {
    # Thunderbird outlives the program that started it: its profile lock names it.
    local lock
    lock=$(readlink "$work/profile/lock" 2>/dev/null || true)
    [ -n "$lock" ] && kill "${lock##*+}" 2>/dev/null
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAILED: $*"
    cat "$work/velorix.log" 2>/dev/null
    exit 1
}

# A desktop of our own whose mailto handler is the installed Thunderbird.
mkdir -p "$work/home/.thunderbird" "$work/config" "$work/data" "$work/cache" "$work/profile"
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
export XDG_CACHE_HOME=$work/cache XDG_DATA_DIRS=/usr/share XDG_CONFIG_DIRS=$work/none
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/nobus BROWSER=false
unset MAILER XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION \
    KDE_SESSION_VERSION GNOME_DESKTOP_SESSION_ID VELORIX_MAIL WAYLAND_DISPLAY
printf '[Default Applications]\nx-scheme-handler/mailto=thunderbird.desktop\n' \
    >"$work/config/mimeapps.list"
printf '[Profile0]\nName=velorix\nIsRelative=0\nPath=%s\nDefault=1\n\n[General]\nStartWithLastProfile=1\nVersion=2\n' \
    "$work/profile" >"$work/home/.thunderbird/profiles.ini"
cp "$here/user.js" "$work/profile/user.js"
# The profile in profiles.ini rather than one made per installation.
export MOZ_LEGACY_PROFILES=1

# shellcheck source=../../Xvfb.sh
. "$tests_dir/Xvfb.sh"
start_xvfb "$work"
pids+=("$xvfb_pid")
openbox >/dev/null 2>&1 &
pids+=($!)

convert -size 40x30 xc:red "$work/page.png" || fail "the test image"
"$velorix" --mail "$work/page.png" >"$work/velorix.log" 2>&1 || fail "velorix --mail"

window=
for _ in $(seq 120); do
    window=$(xdotool search --onlyvisible --name '^Write: ' 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 0.5
done
[ -n "$window" ] || fail "no compose window"
drafts="$work/profile/Mail/Local Folders/Drafts"
for _ in $(seq 6); do
    xdotool windowactivate --sync "$window" >/dev/null 2>&1
    xdotool key --clearmodifiers ctrl+s
    for _ in $(seq 10); do
        grep -q 'filename="capture.pdf"' "$drafts" 2>/dev/null && break 2
        sleep 0.5
    done
done

/usr/bin/python3 - "$drafts" "$work/home/Documents/capture.pdf" <<'PY' || fail "the draft's attachment"
import mailbox
import sys

drafts, shared = sys.argv[1:3]
with open(shared, "rb") as f:
    expected = f.read()
found = [part.get_payload(decode=True)
         for message in mailbox.mbox(drafts)
         for part in message.walk()
         if part.get_filename() == "capture.pdf"]
if len(found) != 1:
    sys.exit(f"{len(found)} attachments named capture.pdf in the draft")
if found[0] != expected:
    sys.exit(f"the attachment ({len(found[0])} bytes) differs from capture.pdf ({len(expected)})")
print(f"ok: capture.pdf attached, {len(expected)} bytes, as written")
PY
exit 0
