# Sourced by the tests that drive the program as a user: a private Xvfb of 1280x1024 with openbox
# as its window manager. Sets work (a folder of the test's own, removed at the end unless
# VELORIX_E2E_KEEP is set), pids (stopped last first at the end; a test adds what it starts),
# DISPLAY and QT_QPA_PLATFORM=xcb. Gives
#   fail MESSAGE            prints it, keeps a screenshot in $work/failed.png, runs the test's
#                           on_failure when it has one, and ends the test
#   until_true SECONDS CMD  runs CMD every tenth of a second until it succeeds
#   wait_window SECONDS NAME [PID]  prints the id of the first visible window named NAME (a
#                           pattern); status 2 at once when PID has ended
#   wait_box SECONDS WINDOW [PID]  the same for a box of the program's ("Velorix! 2"), other
#                           than its main window WINDOW: xdotool matches names whatever their
#                           case, so that "^Velorix! 2$" finds the main window "VELORIX! 2" too
# shellcheck source=Xvfb.sh
source "$(dirname "${BASH_SOURCE[0]}")/Xvfb.sh"

work=$(mktemp -d)
pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    wait 2>/dev/null || true
    if [ -n "${VELORIX_E2E_KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    [ -z "${DISPLAY:-}" ] || import -display "$DISPLAY" -window root "$work/failed.png" 2>/dev/null || true
    if declare -F on_failure >/dev/null; then on_failure; fi
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
wait_window() {
    local id
    for _ in $(seq $(($1 * 10))); do
        if [ -n "${3:-}" ] && ! kill -0 "$3" 2>/dev/null; then return 2; fi
        id=$(xdotool search --onlyvisible --name "$2" 2>/dev/null | head -n1 || true)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

wait_box() {
    local id
    for _ in $(seq $(($1 * 10))); do
        if [ -n "${3:-}" ] && ! kill -0 "$3" 2>/dev/null; then return 2; fi
        id=$(xdotool search --onlyvisible --name '^Velorix! 2$' 2>/dev/null | grep -vx "$2" |
            head -n1 || true)
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

start_xvfb "$work" 1280x1024x24
pids+=("$xvfb_pid")
openbox >/dev/null 2>&1 &
pids+=($!)
