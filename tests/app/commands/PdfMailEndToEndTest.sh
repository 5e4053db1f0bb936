#!/usr/bin/env bash
# End to end, as a user: the real program on its own X server with a window manager, driven
# with the keyboard through xdotool. "SCANNER ET EXPORTER L'IMAGE AU FORMAT PDF" scans from the
# demo scanner and opens the PDF in the desktop's viewer (a stand-in that writes down what it
# was given); the page's pixels must be scanimage's for the same settings. "ENVOYER UNE IMAGE PAR
# MAIL" then hands the same page to the mail client (a stand-in reached through MAILER).
# Usage: PdfMailEndToEndTest.sh VELORIX SOURCE_DIR
set -euo pipefail
velorix=$1
source_dir=$2

# shellcheck source=../../UserDesktop.sh
source "$(dirname "$0")/../../UserDesktop.sh"
# On failure the program's output and a screenshot are kept (in VELORIX_E2E_FAILED, by default
# the test's working folder) and the output printed, whatever VELORIX_E2E_KEEP says.
on_failure() {
    local kept=${VELORIX_E2E_FAILED:-$PWD/PdfMailEndToEndTest.failed}
    mkdir -p "$kept"
    [ ! -f "$work/failed.png" ] || cp "$work/failed.png" "$kept/screen.png"
    [ ! -f "$work/velorix.log" ] || cp "$work/velorix.log" "$kept/"
    ps -o pid,etime,stat,wchan:20,args --ppid "${program:-1}" >"$kept/children.txt" 2>&1 || true
    echo "kept: $kept"
    [ ! -f "$work/velorix.log" ] || sed 's/^/velorix: /' "$work/velorix.log"
}

# A desktop of our own: a PDF viewer and a mail client that write down their arguments.
private_desktop
cat >"$work/bin/mailer" <<'SH'
#!/bin/sh
printf '%s' "$1" > "$VELORIX_E2E_DIR/mailer-args"
SH
chmod +x "$work/bin/mailer"
printf '[General]\nScanner=0\nGauche=0\nHaut=0\nLargeur=900\nHauteur=760\n' >"$work/settings.ini"

export MAILER=$work/bin/mailer
export SANE_CONFIG_DIR=$source_dir/data/sane.d:
export VELORIX_SETTINGS_FILE=$work/settings.ini VELORIX_PRINTER=null QT_QPA_PLATFORM=xcb
unset VELORIX_MAIL

"$velorix" >"$work/velorix.log" 2>&1 &
program=$!
pids+=($program)
window=$(wait_window 60 '^VELORIX! 2$' "$program") || {
    [ $? -eq 2 ] && fail "the program ended"
    fail "no window"
}
sleep 2 # the scanner list is filled when the window first shows


# ACTION > SCANNER ET EXPORTER L'IMAGE AU FORMAT PDF (fourth entry), then "No" to another scan.
menu_entry "$program" "$window" 3
# Listing the scanners and scanning take a while on a loaded machine: up to two minutes.
question=$(wait_box 120 "$window" "$program") || fail "no question after the scan"
press_until_gone "$question" Escape # "Non"
until_true 180 test -s "$work/opened.pdf" || fail "the viewer was not opened"
[ "$(cat "$work/viewer-args")" = "$HOME/Documents/capture.pdf" ] ||
    fail "viewer opened $(cat "$work/viewer-args")"

# The PDF's one picture against scanimage's scan with the window's settings: 75 dpi, colour,
# brightness 0, the whole bed as the window asks for it (8.5 inches: 637 pixels, sent to SANE as
# 637 x 25.4 / 75 mm, which SANE's fixed-point millimetres round to 215.7306).
pdfimages -png "$work/opened.pdf" "$work/page"
[ "$(ls "$work"/page-*.png | wc -l)" -eq 1 ] || fail "expected one picture in the PDF"
scanimage -d test:0 --mode Color --depth 8 --resolution 75 -l 0 -t 0 -x 215.7306 -y 215.7306 \
    --format=pnm >"$work/reference.pnm" 2>/dev/null
differing=$(compare -metric AE "$work/page-000.png" "$work/reference.pnm" null: 2>&1 || true)
[ "$differing" = "0" ] || fail "$differing pixels differ from scanimage's"
echo "ok: SCANNER VERS PDF opened a PDF holding scanimage's pixels"

# ACTION > ENVOYER UNE IMAGE PAR MAIL (ninth entry, the page commands now enabled).
menu_entry "$program" "$window" 8
until_true 180 test -s "$work/mailer-args" || fail "the mail client got nothing"
attached=$(python3 -c 'import sys, urllib.parse as u; q = u.parse_qs(u.urlsplit(sys.argv[1]).query); print(q["attach"][0])' "$(cat "$work/mailer-args")")
pdfimages -png "$attached" "$work/mailed"
differing=$(compare -metric AE "$work/mailed-000.png" "$work/reference.pnm" null: 2>&1 || true)
[ "$differing" = "0" ] || fail "the mailed page differs ($differing pixels)"
echo "ok: IMAGE VERS MAIL handed the same page over ($attached)"
echo "PdfMailEndToEndTest: all checks passed"
