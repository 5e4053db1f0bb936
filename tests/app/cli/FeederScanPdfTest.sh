#!/usr/bin/env bash
# velorix --scan-pdf with feeders, through the program's scanner worker: our feeder backend's
# vendors (every side in reading order), a jam and an open cover (a message naming the sheet,
# no file), an empty feeder (an existing file left alone), blank backs left out, a page count;
# SANE's test backend as a feeder of ten sheets; our eSCL scanner through sane-airscan.
# Usage: FeederScanPdfTest.sh VELORIX BACKEND_DIR FEEDER_TEST_DIR
set -euo pipefail
velorix=$1
command -v pdfimages >/dev/null || { echo "pdfimages missing"; exit 77; }
. "$3/Feeders.sh"
feeders_begin "$2"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/run
export QT_QPA_PLATFORM=offscreen
unset VELORIX_SCAN_BACKEND
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
if [ -n "${ASAN_OPTIONS:-}" ]; then
  # SANE's test backend keeps its reader's buffer in a library unloaded at exit.
  export ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0
fi

# scan NAME DEVICE ARGS...: velorix --scan-pdf into $work/NAME.pdf; its status, its words and
# the codes of its pages in $work/NAME.{rc,said,codes}
scan() {
  local name=$1 device=$2
  shift 2
  local rc=0
  "$velorix" --scan-pdf "$work/$name.pdf" --device "$device" "$@" 2>"$work/$name.said" || rc=$?
  echo "$rc" >"$work/$name.rc"
  : >"$work/$name.codes"
  if [ -f "$work/$name.pdf" ] && [ "$(head -c 4 "$work/$name.pdf")" = "%PDF" ]; then
    mkdir -p "$work/$name"
    pdfimages "$work/$name.pdf" "$work/$name/p"
    page_codes "$work/$name"/p-* >"$work/$name.codes"
  fi
}

# expect NAME STATUS CODES [WORDS]
expect() {
  local name=$1 rc=$2 codes=$3 words=${4:-}
  if [ "$(cat "$work/$name.rc")" != "$rc" ] || [ "$(cat "$work/$name.codes")" != "$codes" ]; then
    echo "FAIL $name: status $(cat "$work/$name.rc") codes '$(cat "$work/$name.codes")'," \
      "expected $rc '$codes'"
    cat "$work/$name.said"
    failures=$((failures + 1))
  elif [ -n "$words" ] && ! grep -q "$words" "$work/$name.said"; then
    echo "FAIL $name: did not say '$words':"
    cat "$work/$name.said"
    failures=$((failures + 1))
  else
    echo "ok $name: $codes"
  fi
}

# same_pixels NAME DEVICE SCANIMAGE_ARGS...: the pages of $work/NAME.pdf are, pixel for pixel,
# those scanimage --batch gets from the device with the same settings
same_pixels() {
  local name=$1 device=$2
  shift 2
  mkdir -p "$work/$name.ref"
  (cd "$work/$name.ref" && scanimage -d "$device" "$@" --batch=p%03d.pnm) >/dev/null 2>&1 || true
  if python3 - "$work/$name.ref" "$work/$name" <<'PY'; then
import os, sys
sys.path.insert(0, os.environ["feeders_here"])
from PageCodes import read_pnm
def grey(page):  # grey pages may be kept as RGB with three equal samples
    width, height, channels, pixels = page
    pixels = bytes(pixels[:width * height * channels])
    if channels == 3 and pixels[0::3] == pixels[1::3] == pixels[2::3]:
        pixels = pixels[0::3]
    return width, height, pixels
def pages(folder):
    return [grey(read_pnm(open(os.path.join(folder, f), "rb").read()))
            for f in sorted(os.listdir(folder))]
ref, got = pages(sys.argv[1]), pages(sys.argv[2])
sys.exit(0 if ref and ref == got else 1)
PY
    echo "ok $name: the pixels of scanimage"
  else
    echo "FAIL $name: not the pixels of scanimage"
    failures=$((failures + 1))
  fi
}
export feeders_here

low=(--resolution 50 --gray)
printf 'velorixfeeder\ntest\n' >"$work/conf/dll.conf"
scan canon velorixfeeder:canon --source duplex "${low[@]}"
expect canon 0 "2 3 4 5 6 7"
command -v scanimage >/dev/null &&
  same_pixels canon velorixfeeder:canon --source "ADF Duplex" --resolution 50 --mode Gray
scan brother velorixfeeder:brother --source duplex --resolution 50
expect brother 0 "2 3 4 5 6 7"
scan fujitsu velorixfeeder:fujitsu --source feeder "${low[@]}"
expect fujitsu 0 "2 4 6"
scan fujitsuduplex velorixfeeder:fujitsu --source duplex "${low[@]}"
expect fujitsuduplex 0 "2 3 4 5 6 7"
scan hp velorixfeeder:hp --source flatbed "${low[@]}"
expect hp 0 "255"
scan three velorixfeeder:hp --source duplex --pages 3 "${low[@]}"
expect three 0 "2 3 4"
VELORIXFEEDER_BLANK_BACKS=1 scan blank velorixfeeder:canon --source duplex --skip-blank "${low[@]}"
expect blank 0 "2 4 6"
scan jam velorixfeeder:jam --source duplex "${low[@]}"
expect jam 1 "" "bourrage papier"
grep -q "feuille 2" "$work/jam.said" || { echo "FAIL jam: no sheet named"; failures=$((failures + 1)); }
scan cover velorixfeeder:cover --source duplex "${low[@]}"
expect cover 1 "" "capot du scanner est ouvert"
echo old >"$work/empty.pdf"
scan empty velorixfeeder:empty --source feeder "${low[@]}"
expect empty 1 "" "Le chargeur est vide."
[ "$(cat "$work/empty.pdf")" = old ] || { echo "FAIL empty: file changed"; failures=$((failures + 1)); }
# A4 through the feeder's page size options: 210 x 297 mm at 50 dpi
scan a4 velorixfeeder:fujitsu --source feeder --paper a4 --pages 1 "${low[@]}"
size=$(pdfimages -list "$work/a4.pdf" | awk 'NR == 3 { print $4 "x" $5 }')
case $size in 41[34]x58[45]) echo "ok a4: $size" ;; *) echo "FAIL a4: $size"; failures=$((failures + 1)) ;; esac
scan testadf test:0 --source feeder --resolution 25
count=$(ls "$work/testadf" | wc -l)
[ "$count" -eq 10 ] && echo "ok testadf: 10 pages" || { echo "FAIL testadf: $count"; failures=$((failures + 1)); }

if ! have_airscan; then
  echo "sane-airscan missing: the network scanner is not checked"
  exit $((failures > 0))
fi
echo airscan >"$work/conf/dll.conf"
escl --sheets 3
scan esclduplex "$net" --source duplex --resolution 75 --gray
expect esclduplex 0 "2 3 4 5 6 7"
if command -v scanimage >/dev/null; then
  escl --sheets 3 # its sheets numbered from 1 again
  same_pixels esclduplex "$net" --source "ADF Duplex" --resolution 75 --mode Gray
fi
escl --sheets 3
scan esclfeeder "$net" --source feeder --resolution 75
expect esclfeeder 0 "2 4 6"
scan esclplaten "$net" --source flatbed --resolution 75
expect esclplaten 0 "255"
escl --jam-at 2
scan escljam "$net" --source duplex --resolution 75 --gray
expect escljam 1 "" "bourrage papier"
escl --empty
scan esclempty "$net" --source feeder --resolution 75
expect esclempty 1 "" "Le chargeur est vide."
exit $((failures > 0))
