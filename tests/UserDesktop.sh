# Sourced by the tests that drive the program as a user: a private Xvfb of 1280x1024 with openbox
# as its window manager. Sets work (a folder of the test's own, removed at the end unless
# VELORIX_E2E_KEEP is set), pids (stopped last first at the end; a test adds what it starts),
# DISPLAY and QT_QPA_PLATFORM=xcb. Gives
#   fail MESSAGE            prints it, keeps a screenshot in $work/failed.png, runs the test's
#                           on_failure when it has one, and ends the test; a step that fails
#                           without a message (set -e) keeps the same at the end
#   until_true SECONDS CMD  runs CMD every tenth of a second until it succeeds
#   wait_window SECONDS NAME [PID]  prints the id of the first visible window named NAME (a
#                           pattern); status 2 at once when PID has ended
#   private_desktop         HOME, XDG folders and a session bus address of the test's own (no
#                           bus there), no desktop named, and a PDF viewer as the desktop's that
#                           keeps what it was given ($work/opened.pdf, its argument in
#                           $work/viewer-args)
#   press_until_gone BOX KEY  presses KEY in the box until it is gone (a box that has only just
#                           appeared may miss the first key); fails the test after 30 tries
#   wait_box SECONDS WINDOW [PID]  the same for a box of the program's ("Velorix! 2"), other
#                           than its main window WINDOW: xdotool matches names whatever their
#                           case, so that "^Velorix! 2$" finds the main window "VELORIX! 2" too
# shellcheck source=Xvfb.sh
source "$(dirname "${BASH_SOURCE[0]}")/Xvfb.sh"

work=$(mktemp -d)
pids=()
failed=
cleanup() {
    local status=$?
    # A step that failed without a check's message (set -e) keeps the same evidence as a check.
    if [ "$status" -ne 0 ] && [ "$status" -ne 77 ] && [ -z "$failed" ]; then
        echo "FAIL: a step of the test failed (status $status)"
        keep_evidence
    fi
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    wait 2>/dev/null || true
    if [ -n "${VELORIX_E2E_KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
keep_evidence() {
    failed=1
    [ -z "${DISPLAY:-}" ] || import -display "$DISPLAY" -window root "$work/failed.png" 2>/dev/null || true
    if declare -F on_failure >/dev/null; then on_failure || true; fi
}
fail() {
    echo "FAIL: $*"
    keep_evidence
    exit 1
}
until_true() {
    local seconds=$1
    shift
    for _ in $(seq $((seconds * 10))); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}
# poll_window SECONDS PID LISTER...: the first window id LISTER prints, asked every tenth of a
# second; status 2 at once when PID (if not empty) has ended
poll_window() {
    local seconds=$1 pid=$2 id
    shift 2
    for _ in $(seq $((seconds * 10))); do
        if [ -n "$pid" ] && ! kill -0 "$pid" 2>/dev/null; then return 2; fi
        id=$("$@" 2>/dev/null | head -n1 || true)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    return 1
}
wait_window() { poll_window "$1" "${3:-}" xdotool search --onlyvisible --name "$2"; }
boxes_besides() { xdotool search --onlyvisible --name '^Velorix! 2$' | grep -vx "$1"; }
wait_box() { poll_window "$1" "${3:-}" boxes_besides "$2"; }
# The first window of PID on the screen other than MAIN: a box or a menu.
other_window() { xdotool search --onlyvisible --pid "$1" 2>/dev/null | grep -vx "$2" | head -n1; }
# menu_entry PID WINDOW STEPS: the ACTION menu (Alt+A), STEPS entries down from its first, Return.
# The keys wait for the menu to be on the screen: on a loaded machine keys sent after a fixed
# half second went to the window instead.
menu_entry() {
    xdotool windowactivate --sync "$2"
    xdotool key --window "$2" --delay 150 alt+a
    poll_window 10 "$1" other_window "$1" "$2" >/dev/null || fail "the ACTION menu did not open"
    sleep 0.3
    for _ in $(seq "$3"); do xdotool key --delay 100 Down; done
    xdotool key --delay 100 Return
}

press_until_gone() {
    for _ in $(seq 30); do
        xdotool windowactivate --sync "$1" key --delay 100 "$2" 2>/dev/null || true
        sleep 0.5
        xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable' || return 0
    done
    fail "the box did not take $2"
}

private_desktop() {
    mkdir -p "$work/bin" "$work/data/applications" "$work/config" "$work/home"
    cat >"$work/bin/viewer" <<'SH'
#!/bin/sh
cp "$1" "$VELORIX_E2E_DIR/opened.pdf.tmp" && mv "$VELORIX_E2E_DIR/opened.pdf.tmp" "$VELORIX_E2E_DIR/opened.pdf"
printf '%s' "$1" > "$VELORIX_E2E_DIR/viewer-args"
SH
    chmod +x "$work/bin/viewer"
    printf '[Desktop Entry]\nType=Application\nName=Lecteur\nExec=%s %%f\nMimeType=application/pdf;\n' \
        "$work/bin/viewer" >"$work/data/applications/velorix-e2e-viewer.desktop"
    printf '[Default Applications]\napplication/pdf=velorix-e2e-viewer.desktop\n' \
        >"$work/config/mimeapps.list"
    export VELORIX_E2E_DIR=$work
    export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
    export XDG_DATA_DIRS=$work/none XDG_CONFIG_DIRS=$work/none XDG_CACHE_HOME=$work/cache
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/nobus BROWSER=false
    unset XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION \
        KDE_SESSION_VERSION GNOME_DESKTOP_SESSION_ID WAYLAND_DISPLAY VELORIX_SHELL
}

start_xvfb "$work" 1280x1024x24
pids+=("$xvfb_pid")
# The tests activate windows through the window manager: they start once openbox has taken the
# display (on a busy machine it took more than the 2 s a test waited, and xdotool could not
# activate the program's window). An openbox that could not open the display while the server
# was still coming up is started again.
display_ready() { xprop -root >/dev/null 2>&1; }
wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
until_true 30 display_ready || fail "the display does not answer: $(cat "$work/xvfb.log")"
for attempt in 1 2 3; do
    openbox --sm-disable >"$work/openbox.log" 2>&1 &
    wm_pid=$!
    pids+=($wm_pid)
    wm_up_or_gone() { wm_ready || ! kill -0 "$wm_pid" 2>/dev/null; }
    until_true 30 wm_up_or_gone || true
    if wm_ready; then break; fi
    [ "$attempt" -lt 3 ] || fail "openbox did not start: $(cat "$work/openbox.log")"
    sleep 1
done
