#!/usr/bin/env bash
# One real print job through CUPS: starts a private CUPS server (its own configuration, spool and
# socket under a temporary folder; no systemd), adds a cups-pdf printer as its default, and lets
# PrintProbe print a page's picture and check where it landed. Skips (exit 77) only where the
# server or the printer cannot be set up here.
set -uo pipefail
probe=$1

skip() { echo "SKIP: $*"; exit 77; }

command -v cupsd >/dev/null || skip "cupsd is not installed (package cups)"
[ -x /usr/lib/cups/backend/cups-pdf ] || skip "the cups-pdf backend is not installed (printer-driver-cups-pdf)"
ppd=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
[ -f "$ppd" ] || skip "the cups-pdf PPD is missing"
[ "$(id -u)" -eq 0 ] || skip "the cups-pdf backend runs only under a server started as root"

work=$(mktemp -d /tmp/velorix-cups.XXXXXX)
chmod 755 "$work"
cupsd_pid=
cleanup() {
  [ -n "$cupsd_pid" ] && kill "$cupsd_pid" 2>/dev/null && wait "$cupsd_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work"/{spool/tmp,cache,state,log,ppd}
cat >"$work/cups-files.conf" <<CONF
ServerRoot $work
RequestRoot $work/spool
TempDir $work/spool/tmp
CacheDir $work/cache
StateDir $work/state
AccessLog $work/log/access_log
ErrorLog $work/log/error_log
PageLog $work/log/page_log
FileDevice No
Sandboxing Relaxed
CONF
cat >"$work/cupsd.conf" <<CONF
Listen $work/cups.sock
LogLevel info
Browsing No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF

timeout 300 cupsd -f -c "$work/cupsd.conf" -s "$work/cups-files.conf" >"$work/log/cupsd.out" 2>&1 &
cupsd_pid=$!
export CUPS_SERVER=$work/cups.sock
for _ in $(seq 50); do
  [ -S "$CUPS_SERVER" ] && lpstat -r >/dev/null 2>&1 && break
  kill -0 "$cupsd_pid" 2>/dev/null || break
  sleep 0.2
done
if ! lpstat -r >/dev/null 2>&1; then
  cat "$work/log/cupsd.out" "$work/log/error_log" 2>/dev/null | tail -20
  skip "the private cupsd did not start"
fi

printer=VelorixTestPDF
lpadmin -p "$printer" -v cups-pdf:/ -P "$ppd" -E 2>/dev/null || skip "cannot add the cups-pdf printer"
lpadmin -d "$printer" || skip "cannot make the cups-pdf printer the default"

# cups-pdf writes into the PDF folder of the submitting user's home.
home=$(getent passwd "$(id -un)" | cut -d: -f6)
out=$home/PDF
mkdir -p "$out"
title=velorix-print-$$-$RANDOM

timeout 150 "$probe" "$title" "$out"
status=$?
rm -f "$out/$title"*.pdf
if [ $status -ne 0 ]; then
  echo "--- cupsd error log ---"
  tail -30 "$work/log/error_log" 2>/dev/null
fi
exit $status
