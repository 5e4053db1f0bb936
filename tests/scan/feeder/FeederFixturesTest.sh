#!/usr/bin/env bash
# The feeders the program's tests rely on, checked with scanimage --batch alone: our SANE
# backend's vendor devices (both sides in order, a jam, an open cover, an empty feeder), SANE's
# test backend as a feeder of ten sheets, and our eSCL scanner reached through sane-airscan.
# Usage: FeederFixturesTest.sh BACKEND_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
command -v scanimage >/dev/null || { echo "scanimage missing"; exit 77; }
. "$here/Feeders.sh"
feeders_begin "$1"

# batch NAME DEVICE ARGS...: scans a batch into $work/NAME/, its codes in $work/NAME.codes and
# scanimage's last words in $work/NAME.said.
batch() {
  local name=$1 device=$2
  shift 2
  mkdir -p "$work/$name"
  (cd "$work/$name" && scanimage -d "$device" "$@" --batch=p%03d.pnm) >/dev/null \
    2>"$work/$name.said" || true
  if compgen -G "$work/$name/p*.pnm" >/dev/null; then
    page_codes "$work/$name"/p*.pnm >"$work/$name.codes"
  else
    : >"$work/$name.codes"
  fi
}

expect() { # NAME CODES [WORDS]: the pages' codes, and what scanimage said at the end
  local name=$1 codes=$2 words=${3:-}
  if [ "$(cat "$work/$name.codes")" != "$codes" ]; then
    echo "FAIL $name: codes '$(cat "$work/$name.codes")', expected '$codes'"
    failures=$((failures + 1))
  elif [ -n "$words" ] && ! grep -q "$words" "$work/$name.said"; then
    echo "FAIL $name: scanimage did not say '$words':"
    cat "$work/$name.said"
    failures=$((failures + 1))
  else
    echo "ok $name: $codes"
  fi
}

echo velorixfeeder >"$work/conf/dll.conf"
low=(--resolution 50 --mode Gray)
batch canon velorixfeeder:canon --source "ADF Duplex" "${low[@]}"
expect canon "2 3 4 5 6 7" "out of documents"
batch brother velorixfeeder:brother \
  --source "Automatic Document Feeder(left aligned,Duplex)" --resolution 50 --mode Color
expect brother "2 3 4 5 6 7"
batch fujitsu velorixfeeder:fujitsu --source "ADF Front" "${low[@]}"
expect fujitsu "2 4 6"
batch flatbed velorixfeeder:hp "${low[@]}" --batch-count 1
expect flatbed "255"
batch jam velorixfeeder:jam --source "ADF Duplex" "${low[@]}"
expect jam "2 3" "jammed"
batch cover velorixfeeder:cover --source "ADF Duplex" "${low[@]}"
expect cover "2 3" "cover is open"
batch empty velorixfeeder:empty --source "Automatic Document Feeder" "${low[@]}"
expect empty "" "out of documents"
VELORIXFEEDER_SHEETS=1 VELORIXFEEDER_BLANK_BACKS=1 \
  batch blank velorixfeeder:canon --source "ADF Duplex" "${low[@]}"
expect blank "2 blank"

# SANE's test backend as a feeder: empty after ten sheets.
echo test >"$work/conf/dll.conf"
batch testadf test:0 --source "Automatic Document Feeder" --resolution 25
count=$(ls "$work/testadf" | wc -l)
if [ "$count" -ne 10 ] || ! grep -q "out of documents" "$work/testadf.said"; then
  echo "FAIL testadf: $count pages"
  failures=$((failures + 1))
else
  echo "ok testadf: 10 pages"
fi

# Our eSCL scanner through sane-airscan.
if ! have_airscan; then
  echo "sane-airscan missing: the network scanner is not checked"
  exit $((failures > 0))
fi
echo airscan >"$work/conf/dll.conf"
escl --sheets 3
batch esclduplex "$net" --source "ADF Duplex" --resolution 75 --mode Gray
expect esclduplex "2 3 4 5 6 7" "out of documents"
batch esclfeeder "$net" --source "ADF" --resolution 75 --mode Color
expect esclfeeder "8 10 12"
batch esclplaten "$net" --resolution 75 --batch-count 1
expect esclplaten "255"
escl --jam-at 2
batch escljam "$net" --source "ADF Duplex" --resolution 75 --mode Gray
expect escljam "2 3" "jammed"
escl --empty
batch esclempty "$net" --source "ADF" --resolution 75
expect esclempty "" "out of documents"

exit $((failures > 0))
