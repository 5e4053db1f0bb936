#!/usr/bin/env bash
# Runs the page hand-over probe under Wine, in a Wine prefix of its own: the probe starts itself
# again as the worker and checks what it is handed once that worker has gone.
# Usage: SharedBlockWineTest.sh WINE64 PROBE_EXE
set -euo pipefail
wine=$1
probe=$2

source "$(dirname "$0")/../../../WinePrefix.sh"

cp "$probe" "$work/probe.exe"
status=0
(cd "$work" && "$wine" ./probe.exe) >"$work/out.txt" 2>"$work/err.txt" || status=$?
tr -d '\r' <"$work/out.txt"
if [ "$status" -ne 0 ] || ! grep -q "all checks passed" "$work/out.txt"; then
    echo "FAIL: the probe exited with $status"
    cat "$work/err.txt"
    exit 1
fi
