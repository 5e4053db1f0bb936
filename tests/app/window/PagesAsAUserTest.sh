#!/usr/bin/env bash
# As a user, on a display of its own with a window manager: three pages opened at start, the last
# tab dragged with the mouse to the front (a screenshot taken mid-drag), the program killed with
# SIGKILL, started again: the recovery question (a screenshot), "Oui", and the three pages back
# in the dragged order with their pixels (the new session keeps the very same picture files).
# Usage: PagesAsAUserTest.sh VELORIX SOURCE_DIR
set -euo pipefail
velorix=$1
source_dir=$2

# shellcheck source=../../UserDesktop.sh
source "$(dirname "$0")/../../UserDesktop.sh"

export VELORIX_RECOVERY=$work/recovery VELORIX_SETTINGS=null VELORIX_SCAN_BACKEND=null
export VELORIX_SHELL=null VELORIX_MAIL=null VELORIX_PRINTER=null
export MAGICK_CONFIGURE_PATH=$source_dir/data/magick
for i in 1 2 3; do
    convert -size 600x800 "plasma:fractal" -seed "$i" "$work/page$i.png" 2>/dev/null ||
        convert -size 600x800 "xc:rgb($((i * 70)),$((200 - i * 50)),$((i * 30)))" "$work/page$i.png"
done

list() { cat "$work"/recovery/*/pages 2>/dev/null; }
three_pages() { [ "$(list | wc -l)" = 3 ]; }

"$velorix" "$work/page1.png" "$work/page2.png" "$work/page3.png" &
first=$!
pids+=($first)
until_true 60 three_pages || fail "the three pages were not kept"
wid=$(wait_window 30 "^VELORIX! 2$") || fail "no window"
xdotool windowmove "$wid" 0 0
sleep 1
before=$(list)

# The tabs sit at the top left of the working area, under the top panel: the third tab dragged
# over the first. Found on the screen rather than guessed: the tab row is where the captions are.
eval "$(xdotool getwindowgeometry --shell "$wid")"
tabs_y=$((Y + 75))
xdotool mousemove $((X + 130)) $tabs_y mousedown 1
for step in 1 2 3 4 5 6; do
    xdotool mousemove $((X + 130 - step * 20)) $tabs_y
    sleep 0.1
done
import -display "$DISPLAY" -window root "$work/dragging.png"
xdotool mousemove $((X + 5)) $tabs_y mouseup 1
sleep 1
import -display "$DISPLAY" -window root "$work/dropped.png"
moved() { [ "$(list)" != "$before" ] && [ "$(list | wc -l)" = 3 ]; }
until_true 20 moved || fail "the dragged tab moved no page"
after=$(list)
[ "$(echo "$after" | head -n1 | cut -d' ' -f1)" = "$(echo "$before" | tail -n1 | cut -d' ' -f1)" ] ||
    fail "the last page is not first after the drag: $after"
mkdir "$work/kept"
cp "$work"/recovery/*/p* "$work/kept/"

kill -9 "$first"
wait "$first" 2>/dev/null || true

"$velorix" &
second=$!
pids+=($second)
question() { xdotool search --onlyvisible --name "Velorix! 2" >/dev/null 2>&1 && import -display "$DISPLAY" -window root "$work/question.png" 2>/dev/null; }
sleep 3
until_true 30 question || fail "no question"
xdotool key Return # "Oui" is the question's default button
restored() {
    local folder
    folder=$(ls -d "$work"/recovery/"$second"-* 2>/dev/null | head -n1)
    [ -n "$folder" ] && [ -s "$folder/pages" ] && [ "$(wc -l <"$folder/pages")" = 3 ]
}
until_true 30 restored || fail "the pages did not come back"
folder=$(ls -d "$work"/recovery/"$second"-*)
[ "$(ls -d "$work"/recovery/*/ | wc -l)" = 1 ] || fail "the crashed session's folder stays"
# The same pixels in the same order: each picture file of the new session is byte for byte one
# of the old session's, in the dragged order.
i=0
while read -r name visible stretch; do
    old=$(echo "$after" | sed -n "$((i + 1))p" | cut -d' ' -f1)
    cmp -s "$folder/$name" "$work/kept/$old" || fail "page $((i + 1)) differs"
    i=$((i + 1))
done <"$folder/pages"
if [ -n "${VELORIX_SCREENSHOTS:-}" ]; then cp "$work/dragging.png" "$work/question.png" "$VELORIX_SCREENSHOTS/"; fi
echo "PASS"
