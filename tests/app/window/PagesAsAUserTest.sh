#!/usr/bin/env bash
# As a user, on a display of its own with a window manager and the demo scanner. First session:
# three pages opened at start, the last tab dragged with the mouse to the front (a screenshot
# taken mid-drag), three scans of a series ("SCANNER", "Oui" to another document twice), and the
# program killed with SIGKILL while it asks for a fourth. Second session: the recovery question
# (a screenshot), "Oui", the six pages back in the dragged order with their pixels (the scans'
# are scanimage's); a page moved by the tab menu and by the shortcut, undone and redone; the
# pages exported to PDF in the new order; "Tout effacer", a rotation, grey levels and
# "SUPPRIMER" undone and redone; a normal close leaves nothing behind. Third session: a PDF of
# three pages opened at start and exported again with the same pixels, then every page saved in
# one TIFF and read back equal.
# Usage: PagesAsAUserTest.sh VELORIX SOURCE_DIR
set -euo pipefail
velorix=$1
source_dir=$2

# shellcheck source=../../UserDesktop.sh
source "$(dirname "$0")/../../UserDesktop.sh"
on_failure() {
    [ ! -f "$work/velorix.log" ] || sed 's/^/velorix: /' "$work/velorix.log"
    [ -z "${VELORIX_SCREENSHOTS:-}" ] || cp "$work"/*.png "$VELORIX_SCREENSHOTS/" 2>/dev/null || true
}

# A desktop of our own, with a PDF viewer that keeps what it was given.
private_desktop
printf '[General]\nScanner=0\nGauche=0\nHaut=0\nLargeur=900\nHauteur=760\n' >"$work/settings.ini"

export SANE_CONFIG_DIR=$source_dir/data/sane.d:
export VELORIX_RECOVERY=$work/recovery VELORIX_SETTINGS_FILE=$work/settings.ini
export VELORIX_MAIL=null VELORIX_PRINTER=null
export MAGICK_CONFIGURE_PATH=$source_dir/data/magick
unset VELORIX_SETTINGS VELORIX_SCAN_BACKEND
for i in 1 2 3; do
    convert -size 600x800 "plasma:fractal" -seed "$i" -depth 8 "$work/page$i.png" 2>/dev/null ||
        convert -size 600x800 "xc:rgb($((i * 70)),$((200 - i * 50)),$((i * 30)))" -depth 8 "$work/page$i.png"
done
# What the demo scanner gives for the window's settings (75 dpi, colour, the whole bed).
scanimage -d test:0 --mode Color --depth 8 --resolution 75 -l 0 -t 0 -x 215.7306 -y 215.7306 \
    --format=pnm >"$work/scan.pnm" 2>/dev/null

# The page list of the session of process $1, and the names of its pictures in order.
list() { cat "$work"/recovery/"$1"-*/pages 2>/dev/null; }
names() { list "$1" | cut -d' ' -f1 | tr '\n' ' '; }
pages_are() { [ "$(list "$1" | wc -l)" = "$2" ]; }
folder_of() { ls -d "$work"/recovery/"$1"-*; }
# The pixels of a kept picture (a header line, then its RGB rows deflated) against a PNM's.
same_pixels() {
    python3 - "$1" "$2" <<'PY'
import sys, zlib
kept = open(sys.argv[1], "rb").read()
header, rows = kept.split(b"\n", 1)
magic, width, height = header.split()
pnm = open(sys.argv[2], "rb").read()
fields, at = [], 0
while len(fields) < 4:  # P6, width, height, maximum; comments between them
    while pnm[at:at + 1].isspace(): at += 1
    if pnm[at:at + 1] == b"#": at = pnm.index(b"\n", at); continue
    end = at
    while not pnm[end:end + 1].isspace(): end += 1
    fields.append(pnm[at:end]); at = end
ok = magic == b"VXRP1" and fields[1:3] == [width, height] and zlib.decompress(rows) == pnm[at + 1:]
sys.exit(0 if ok else 1)
PY
}
# The program's main window, told from its questions ("Velorix! 2") by the case of its title,
# which xdotool's search does not see.
main_of() {
    local id
    for id in $(xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
        [ "$(xdotool getwindowname "$id" 2>/dev/null)" != "VELORIX! 2" ] || { echo "$id"; return 0; }
    done
    return 1
}
main_window() { # PID: waits for it, status 2 at once when the program has ended
    for _ in $(seq 300); do
        kill -0 "$1" 2>/dev/null || return 2
        main_of "$1" && return 0
        sleep 0.1
    done
    return 1
}
# The program's windows besides its main one: its questions and dialogs.
# Waits for a dialog of the program and sends it a key, again until it is gone: a box that has
# only just appeared may miss the first key.
answer() {
    local pid=$1 main=$2 key=$3 box
    box=$(until_true 120 other_window "$pid" "$main" >/dev/null && other_window "$pid" "$main") ||
        fail "no dialog to answer with $key"
    press_until_gone "$box" "$key"
}
# tab_menu PID WINDOW KEYS...: the menu of the tab under the mouse, the keys once it is on the
# screen (under the sanitizers on a loaded machine it took longer than a fixed half second, and
# the keys went to the window)
tab_menu() {
    xdotool click 3
    poll_window 10 "$1" other_window "$1" "$2" >/dev/null || fail "no tab menu"
    sleep 0.3
    xdotool key --delay 100 "${@:3}"
}
keys() { # keys to the main window, its loop given time to act
    xdotool windowactivate --sync "$1"
    xdotool key --delay 150 "${@:2}"
}

# ---- First session: opened, dragged, three scans, killed ----
"$velorix" "$work/page1.png" "$work/page2.png" "$work/page3.png" >"$work/velorix.log" 2>&1 &
first=$!
pids+=("$first")
until_true 60 pages_are "$first" 3 || fail "the three pages were not kept"
wid=$(main_window "$first") || fail "no window"
xdotool windowmove "$wid" 0 0
sleep 1
before=$(names "$first")

# The tabs sit at the top left of the working area, under the top panel: the third tab dragged
# over the first.
eval "$(xdotool getwindowgeometry --shell "$wid")"
tabs_y=$((Y + 75))
xdotool mousemove $((X + 130)) $tabs_y mousedown 1
for step in 1 2 3 4 5 6; do
    xdotool mousemove $((X + 130 - step * 20)) $tabs_y
    sleep 0.1
done
import -display "$DISPLAY" -window root "$work/dragging.png"
xdotool mousemove $((X + 5)) $tabs_y mouseup 1
moved() { [ "$(names "$first")" != "$before" ] && pages_are "$first" 3; }
until_true 20 moved || fail "the dragged tab moved no page"
read -r a b c <<<"$before"
[ "$(names "$first")" = "$c $a $b " ] || fail "the last page is not first after the drag: $(names "$first")"

# ACTION > SCANNER, then "Oui" to another document and OK to the paper changed, twice. Each scan
# is kept as it lands, while the series still runs.
menu_entry "$first" "$wid" 0
for n in 4 5 6; do
    until_true 120 pages_are "$first" $n || fail "scan $((n - 3)) was not kept while the series runs"
    [ $n = 6 ] && break
    answer "$first" "$wid" Return # another document: "Oui"
    answer "$first" "$wid" Return # the paper is changed: OK
done
until_true 30 other_window "$first" "$wid" >/dev/null || fail "no question after the third scan"
mkdir "$work/kept"
cp "$(folder_of "$first")"/p* "$work/kept/"
after=$(list "$first")
kill -9 "$first"
wait "$first" 2>/dev/null || true
echo "ok: three pages opened, one dragged, three scans kept, killed"

# ---- Second session: restored, moved, undone, exported, cleared ----
"$velorix" >"$work/velorix.log" 2>&1 &
second=$!
pids+=("$second")
wid=$(main_window "$second") || fail "no window"
until_true 30 other_window "$second" "$wid" >/dev/null || fail "no question"
sleep 1
import -display "$DISPLAY" -window root "$work/question.png"
answer "$second" "$wid" Return # "Oui" is the question's default button
until_true 30 pages_are "$second" 6 || fail "the pages did not come back"
[ "$(ls -d "$work"/recovery/*/ | wc -l)" = 1 ] || fail "the crashed session's folder stays"
# The same pixels in the same order: each picture file of the new session is byte for byte one
# of the old session's, in the dragged order; the scans hold the scanner's pixels.
folder=$(folder_of "$second")
i=0
while read -r name _; do
    old=$(echo "$after" | sed -n "$((i + 1))p" | cut -d' ' -f1)
    cmp -s "$folder/$name" "$work/kept/$old" || fail "page $((i + 1)) differs"
    if [ $i -ge 3 ]; then same_pixels "$folder/$name" "$work/scan.pnm" || fail "scan $((i - 2)) differs from scanimage's"; fi
    i=$((i + 1))
done <"$folder/pages"
echo "ok: restored, six pages with their pixels in order"

# Page 1 moved right by the tab menu (its third entry), then right again by the shortcut.
xdotool windowmove "$wid" 0 0
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$wid")"
restored=$(names "$second")
read -r a b c d e f <<<"$restored"
xdotool mousemove $((X + 12)) $tabs_y click 1
sleep 0.3
tab_menu "$second" "$wid" Down Down Down Return
is_order() { [ "$(names "$second")" = "$1" ]; }
until_true 10 is_order "$b $a $c $d $e $f " || fail "the tab menu did not move page 1: $(names "$second")"
keys "$wid" ctrl+shift+Next
until_true 10 is_order "$b $c $a $d $e $f " || fail "the shortcut did not move the page: $(names "$second")"
keys "$wid" ctrl+z
until_true 10 is_order "$b $a $c $d $e $f " || fail "Ctrl+Z did not undo the shortcut's move"
keys "$wid" ctrl+z
until_true 10 is_order "$restored" || fail "Ctrl+Z did not undo the menu's move"
keys "$wid" ctrl+y
until_true 10 is_order "$b $a $c $d $e $f " || fail "Ctrl+Y did not redo the menu's move"
keys "$wid" ctrl+shift+z
until_true 10 is_order "$b $c $a $d $e $f " || fail "Ctrl+Maj+Z did not redo the shortcut's move"
echo "ok: moved by the tab menu and the shortcut, undone and redone"

# ACTION > SCANNER ET EXPORTER L'IMAGE AU FORMAT PDF (fourth entry): a seventh page, "Non" to
# another, and the PDF in the viewer: the opened pages in their new order, then the scans.
menu_entry "$second" "$wid" 3
until_true 120 pages_are "$second" 7 || fail "the export's scan was not kept"
answer "$second" "$wid" Escape
until_true 60 test -s "$work/opened.pdf" || fail "the viewer was not opened"
pdfimages -png "$work/opened.pdf" "$work/exported"
[ "$(ls "$work"/exported-*.png | wc -l)" = 7 ] || fail "expected seven pictures in the PDF"
# The opened pages were 1, 2, 3 dragged to 3, 1, 2, then moved to 1, 2, 3.
for i in 0 1 2 3 4 5 6; do
    [ $i -lt 3 ] && expected=$work/page$((i + 1)).png || expected=$work/scan.pnm
    differing=$(compare -metric AE "$work/exported-00$i.png" "$expected" null: 2>&1 || true)
    [ "$differing" = "0" ] || fail "PDF page $((i + 1)) differs from $(basename "$expected") ($differing pixels)"
done
echo "ok: exported in the new order"

# "Tout effacer" (the top panel's last button, above the tabs) and "Oui"; undone, redone, undone
# again.
full=$(list "$second")
mkdir "$work/full"
cp "$(folder_of "$second")"/p* "$work/full/"
xdotool windowactivate --sync "$wid"
xdotool mousemove $((X + 443)) $((tabs_y - 62)) click 1
answer "$second" "$wid" Return
until_true 10 pages_are "$second" 0 || fail "Tout effacer left pages: $(names "$second")"
import -display "$DISPLAY" -window root "$work/cleared.png"
keys "$wid" ctrl+z
until_true 10 pages_are "$second" 7 || fail "Ctrl+Z did not bring the pages back"
keys "$wid" ctrl+y
until_true 10 pages_are "$second" 0 || fail "Ctrl+Y did not clear again"
keys "$wid" ctrl+z
until_true 10 pages_are "$second" 7 || fail "Ctrl+Z did not bring the pages back again"
# Written again under new names: the same pictures in the same order, shown as they were.
[ "$(list "$second" | cut -d' ' -f2-)" = "$(echo "$full" | cut -d' ' -f2-)" ] ||
    fail "the pages came back otherwise: $(list "$second")"
while read -r now was; do
    cmp -s "$(folder_of "$second")/$now" "$work/full/$was" || fail "page $was came back changed"
done < <(paste -d' ' <(list "$second" | cut -d' ' -f1) <(echo "$full" | cut -d' ' -f1))
echo "ok: Tout effacer undone and redone"

# On page 1: "-90°", "Noir et Gris" ("Oui") and the tab menu's "SUPPRIMER", each undone and
# redone. Its picture as kept says which: its size, its colours, its state in the list.
first_file() { echo "$(folder_of "$second")/$(list "$second" | head -n1 | cut -d' ' -f1)"; }
first_is() { # SIZE [grey|colour] [VISIBLE]
    local file
    file=$(first_file)
    [ "$(head -n1 "$file" 2>/dev/null)" = "VXRP1 $1" ] || return 1
    [ "$(list "$second" | head -n1 | cut -d' ' -f2)" = "${3:-1}" ] || return 1
    python3 - "$file" "${2:-colour}" <<'PY'
import sys, zlib
rows = zlib.decompress(open(sys.argv[1], "rb").read().split(b"\n", 1)[1])
grey = rows[0::3] == rows[1::3] == rows[2::3]
sys.exit(0 if grey == (sys.argv[2] == "grey") else 1)
PY
}
xdotool mousemove $((X + 12)) $tabs_y click 1
cp "$(first_file)" "$work/first"
xdotool mousemove $((X + 218)) $((tabs_y - 62)) click 1
until_true 10 first_is "800 600" || fail "-90° did not turn page 1"
keys "$wid" ctrl+z
until_true 10 first_is "600 800" || fail "Ctrl+Z did not undo -90°"
cmp -s "$(first_file)" "$work/first" || fail "the page came back otherwise after -90° undone"
keys "$wid" ctrl+y
until_true 10 first_is "800 600" || fail "Ctrl+Y did not redo -90°"
xdotool mousemove $((X + 325)) $((tabs_y - 62)) click 1
answer "$second" "$wid" Return
until_true 10 first_is "800 600" grey || fail "Noir et Gris did not make page 1 grey"
keys "$wid" ctrl+z
until_true 10 first_is "800 600" colour || fail "Ctrl+Z did not undo Noir et Gris"
keys "$wid" ctrl+y
until_true 10 first_is "800 600" grey || fail "Ctrl+Y did not redo Noir et Gris"
xdotool mousemove $((X + 12)) $tabs_y
tab_menu "$second" "$wid" Down Return
until_true 10 first_is "800 600" grey 0 || fail "SUPPRIMER did not hide page 1"
keys "$wid" ctrl+z
until_true 10 first_is "800 600" grey 1 || fail "Ctrl+Z did not show page 1 again"
keys "$wid" ctrl+y
until_true 10 first_is "800 600" grey 0 || fail "Ctrl+Y did not hide page 1 again"
echo "ok: -90°, Noir et Gris and SUPPRIMER undone and redone"

# A normal close asks nothing and leaves no pages behind.
keys "$wid" alt+F4
until_true 20 test ! -e "/proc/$second" || fail "the program did not end at close"
[ -z "$(ls "$work/recovery")" ] || fail "a normal close left $(ls "$work/recovery")"

echo "ok: a normal close left nothing behind"

# ---- Third session: a PDF of three pages opened at start and exported again ----
"$velorix" --pdf "$work/three.pdf" "$work/page1.png" "$work/page2.png" "$work/page3.png" ||
    fail "no PDF of three pages"
rm -f "$work/opened.pdf"
"$velorix" "$work/three.pdf" >"$work/velorix.log" 2>&1 &
third=$!
pids+=("$third")
until_true 60 pages_are "$third" 3 || fail "the PDF's three pages were not opened"
wid=$(main_window "$third") || fail "no window"
menu_entry "$third" "$wid" 3
until_true 120 pages_are "$third" 4 || fail "the export's scan was not kept"
answer "$third" "$wid" Escape
until_true 60 test -s "$work/opened.pdf" || fail "the viewer was not opened"
pdfimages -png "$work/three.pdf" "$work/before"
pdfimages -png "$work/opened.pdf" "$work/again"
[ "$(ls "$work"/again-*.png | wc -l)" = 4 ] || fail "expected four pictures in the PDF"
for i in 0 1 2; do
    differing=$(compare -metric AE "$work/again-00$i.png" "$work/before-00$i.png" null: 2>&1 || true)
    [ "$differing" = "0" ] || fail "PDF page $((i + 1)) changed through the window ($differing pixels)"
done
echo "ok: a PDF of three pages opened and exported again with its pixels"

# ACTION > Enregistrer toutes les pages... (tenth entry): a name typed in the file dialog, and
# the multi-page TIFF read back: the same four pages.
menu_entry "$third" "$wid" 9
box=$(until_true 30 other_window "$third" "$wid" >/dev/null && other_window "$third" "$wid") ||
    fail "no file dialog"
sleep 1
xdotool windowactivate --sync "$box" type --delay 20 "$work/pages.tif"
xdotool key --delay 100 Return
four_pages() { [ "$(identify "$work/pages.tif" 2>/dev/null | wc -l)" = 4 ]; }
until_true 30 four_pages || fail "no TIFF of four pages"
for i in 0 1 2 3; do
    [ $i -lt 3 ] && expected=$work/before-00$i.png || expected=$work/scan.pnm
    differing=$(compare -metric AE "$work/pages.tif[$i]" "$expected" null: 2>&1 || true)
    [ "$differing" = "0" ] || fail "TIFF page $((i + 1)) differs from $(basename "$expected") ($differing pixels)"
done
echo "ok: every page saved in one TIFF and read back equal"

if [ -n "${VELORIX_SCREENSHOTS:-}" ]; then cp "$work/dragging.png" "$work/question.png" "$VELORIX_SCREENSHOTS/"; fi
echo "PASS"
