#!/usr/bin/env bash
# Runs the page hand-over probe under Wine, in a Wine prefix of its own: the probe starts itself
# again as the worker and checks what it is handed once that worker has gone.
# Usage: SharedBlockWineTest.sh WINE64 PROBE_EXE
set -euo pipefail
wine=$1
probe=$2

work=$(mktemp -d)
export WINEPREFIX=$work/prefix
export WINEDEBUG=-all
export LANG=C.UTF-8 LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml="
wineserver=$(dirname "$wine")/wineserver
cleanup() {
    WINEPREFIX=$WINEPREFIX "$wineserver" -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

cp "$probe" "$work/probe.exe"
status=0
(cd "$work" && "$wine" ./probe.exe) >"$work/out.txt" 2>"$work/err.txt" || status=$?
tr -d '\r' <"$work/out.txt"
if [ "$status" -ne 0 ] || ! grep -q "all checks passed" "$work/out.txt"; then
    echo "FAIL: the probe exited with $status"
    cat "$work/err.txt"
    exit 1
fi
