#!/usr/bin/env bash
# Feeders as a user, on a display of its own with a window manager and the real program: a
# scanner of our feeder backend with three sources, "Chargeur recto-verso" and "A4" remembered.
# "SCANNER ET EXPORTER L'IMAGE AU FORMAT PDF" feeds the whole stack in one click: the question
# comes once the feeder is empty (a screenshot of the window with every side's tab behind it),
# then the viewer gets a PDF of every side in reading order. Then a scanner that jams at sheet 2:
# the message box, and the recovery folder holding sheet 1's two sides, no more.
# Screenshots are kept in VELORIX_SCREENSHOTS when it is set.
# Usage: FeederAsAUserTest.sh VELORIX BACKEND_DIR FEEDER_TEST_DIR
set -euo pipefail
velorix=$1
backends=$(cd "$2" && pwd)
command -v pdfimages >/dev/null || { echo "pdfimages missing"; exit 77; }

# shellcheck source=../../UserDesktop.sh
source "$(dirname "$0")/../../UserDesktop.sh"
feeders_here=$3
page_codes() { python3 "$feeders_here/PageCodes.py" "$@" | tr '\n' ' ' | sed 's/ $//'; }
on_failure() { [ ! -f "$work/velorix.log" ] || sed 's/^/velorix: /' "$work/velorix.log"; }

# A desktop of our own, with a PDF viewer that keeps what it was given.
private_desktop
mkdir -p "$work/conf"
printf 'velorixfeeder\n' >"$work/conf/dll.conf"
printf 'SHEETS=3\nFAIL_AT=2\n' >"$work/control"

export VELORIXFEEDER_CONTROL=$work/control
export SANE_CONFIG_DIR=$work/conf LD_LIBRARY_PATH=$backends
export VELORIX_SETTINGS_FILE=$work/settings.ini VELORIX_PRINTER=null VELORIX_MAIL=null
export VELORIX_RECOVERY=$work/recovery
unset VELORIX_SCAN_BACKEND
if [ -n "${ASAN_OPTIONS:-}" ]; then export ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0; fi

# settings SCANNER_INDEX MODEL: the window at a known place, that scanner chosen, its source
# "Chargeur recto-verso" (its group is its name as the list shows it, percent-encoded), "A4"
settings() {
    printf '[General]\nScanner=%s\nGauche=0\nHaut=0\nLargeur=900\nHauteur=760\nFormat=A4\n' "$1"
    printf '[Velorix%%20%s%%20%%28velorixfeeder%%3A%s%%29]\nSource=Chargeur recto-verso\n' "$2" "$2"
}

# start: the program, its window's id in $window
start() {
    "$velorix" >"$work/velorix.log" 2>&1 &
    program=$!
    pids+=($program)
    window=$(wait_window 60 '^VELORIX! 2$' "$program") || fail "no window"
    sleep 2 # the scanner list and the chosen scanner's sources come when the window first shows
}
shot() { import -display "$DISPLAY" -window root "$work/$1.png"; }
kept_pages() { cat "$work"/recovery/*/pages 2>/dev/null | wc -l; }

settings 1 brother >"$work/settings.ini"
start
shot feeder-window

# ACTION > SCANNER ET EXPORTER L'IMAGE AU FORMAT PDF: three sheets, both sides, no question
# until the feeder is empty.
menu_entry "$program" "$window" 3
question=$(wait_box 120 "$window" "$program") || fail "no question after the stack"
[ "$(kept_pages)" = 6 ] || until_true 10 test "$(kept_pages)" = 6 ||
    fail "the window does not hold the six sides at the question ($(kept_pages))"
shot after-duplex-stack
press_until_gone "$question" Escape # "Non": no other stack
until_true 120 test -s "$work/opened.pdf" || fail "the viewer was not opened"
mkdir "$work/pages"
pdfimages "$work/opened.pdf" "$work/pages/p"
codes=$(page_codes "$work"/pages/p-*)
[ "$codes" = "2 3 4 5 6 7" ] || fail "the PDF's sides are '$codes'"
# "A4" at the window's 75 dpi: 620 x 877 pixels, from the bed's corner (SANE's fixed-point
# millimetres and the driver's rounding may cost a pixel or two).
size=$(pdfimages -list "$work/opened.pdf" | awk 'NR == 3 { print $4 " " $5 }')
read -r width height <<<"$size"
[ $((width - 620)) -le 0 ] && [ $((width - 620)) -ge -2 ] && [ $((height - 877)) -le 0 ] &&
    [ $((height - 877)) -ge -2 ] || fail "the pages are $size, not A4"
grep -q 'Chargeur recto-verso' "$work/settings.ini" || fail "the source was not remembered"
echo "ok: one click fed the stack, every side in reading order, on A4"
# Closed as a user closes it (its recovery folder goes with it); its window gone before the
# next program starts, so that the next window found is the new one.
xdotool windowactivate --sync "$window" key --delay 100 alt+F4
timeout 30 tail --pid="$program" -f /dev/null || fail "the program did not close"
wait "$program" || fail "the program did not close normally"
gone() { ! xdotool search --onlyvisible --name '^VELORIX! 2$' >/dev/null 2>&1; }
until_true 10 gone || fail "the window stays"
[ "$(kept_pages)" = 0 ] || fail "the closed session left its pages behind"

# A jam at sheet 2: the message box, sheet 1's sides kept, nothing of sheet 2.
settings 5 jam >"$work/settings.ini"
start
menu_entry "$program" "$window" 0 # ACTION > SCANNER
box=$(wait_box 120 "$window" "$program") || fail "no message after the jam"
until_true 10 test "$(kept_pages)" = 2 || fail "$(kept_pages) sides kept after the jam, not 2"
shot jam-message
press_until_gone "$box" Return
# "Plusieurs Documents" is checked: the question of another stack follows, "Non".
if question=$(wait_box 10 "$window" "$program"); then press_until_gone "$question" Escape; fi
[ "$(kept_pages)" = 2 ] || fail "$(kept_pages) sides kept in the end"
if [ -n "${VELORIX_SCREENSHOTS:-}" ]; then
    cp "$work/feeder-window.png" "$work/after-duplex-stack.png" "$work/jam-message.png" \
        "$VELORIX_SCREENSHOTS/"
fi
echo "ok: a jam keeps sheet 1 and names the sheet"
echo "PASS"
