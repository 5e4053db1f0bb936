#!/usr/bin/env bash
# Runs the Simple MAPI probe under Wine, in a Wine prefix of its own, with our recording
# MAPI32.DLL next to it, and checks what the library received and what the user saw, first with
# the registry as Wine sets it up ("MAPI" = "1"), then with the values that mean "not installed".
# Usage: MapiWineTest.sh WINE64 PROBE_DIR EXPECTED_RECORD
set -euo pipefail
wine=$1
probe_dir=$2
expected=$3

# mapi32 from the program's folder rather than Wine's own copy (Wine prefers its built-in system
# libraries unless told otherwise).
WINEDLLOVERRIDES="mapi32=n"
source "$(dirname "$0")/../../WinePrefix.sh"

cp "$probe_dir/MapiWineProbe.exe" "$probe_dir/MAPI32.DLL" "$work/"
"$wine" wineboot -i >/dev/null 2>&1
key='HKLM\SOFTWARE\Microsoft\Windows Messaging Subsystem'

fail=0
run_probe() { # [probe args] -> stdout in $work/out.txt, library record in $work/record.txt
    rm -f "$work/record.txt"
    (cd "$work" && VELORIX_MAPI_RECORD="Z:$work/record.txt" "$wine" ./MapiWineProbe.exe "$@" \
        | tr -d '\r' >"$work/out.txt")
    touch "$work/record.txt"
    tr -d '\r' <"$work/record.txt" >"$work/record.lf" && mv "$work/record.lf" "$work/record.txt"
}
check() { # label, file, expected text
    if ! diff -u <(printf '%s' "$3") "$2"; then
        echo "FAIL: $1"
        fail=1
    else
        echo "ok: $1"
    fi
}

run_probe
check "installed: what the library received" "$work/record.txt" "$(cat "$expected")
"
check "installed: no message box" "$work/out.txt" "RESULT 1
RESULT 1
"

box="BOX parent=42 Erreur d'envoi du mail|Erreur|16"
# A path outside the ANSI code page (Western, as LANG above makes it): the wide call carries it;
# without one, its short form does; the client reads the file through either.
mkdir -p "$WINEPREFIX/drive_c/скан"
printf 'the capture\n' >"$WINEPREFIX/drive_c/скан/capture.pdf"
run_probe wide
check "outside the code page: sent" "$work/out.txt" "RESULT 1
"
check "outside the code page: the wide call" <(grep -E '^(SEND|FILE|READ)' "$work/record.txt") \
    "SENDW session=1 parent=42 flags=8 reserved=0 subject=Reçu recips=0 files=1
FILE flags=0 position=4294967295 path=C:\\скан\\capture.pdf name=capture.pdf
READ the capture
"
VELORIX_PROBE_HIDE_WIDE=1 VELORIX_MAPI_READ_FILES=1 run_probe wide
check "outside the code page, no wide call: sent" "$work/out.txt" "RESULT 1
"
short=$(grep '^FILE' "$work/record.txt" | sed -n 's/.* path=\([^ ]*\) name=.*/\1/p')
check "outside the code page, no wide call: a short ASCII path" \
    <(printf '%s\n' "$short" | LC_ALL=C grep -ci '^C:\\[ -~]*\\capture.pdf$') "1
"
check "outside the code page, no wide call: the client reads the file" \
    <(grep '^READ' "$work/record.txt") "READ the capture
"
# The client's answer to the send: its user's cancel (1) is no error, any other failure is.
for code in 1 2 11 26; do
    export VELORIX_MAPI_SEND_RESULT=$code
    run_probe
    if [ "$code" = 1 ]; then want="RESULT 1
RESULT 1
"; else want="$box
RESULT 0
$box
RESULT 0
"; fi
    check "MAPISendMail returns $code" "$work/out.txt" "$want"
    check "MAPISendMail returns $code: the session is closed" <(grep -c LOGOFF "$work/record.txt") "2
"
done
unset VELORIX_MAPI_SEND_RESULT
for value in "0" "1 "; do
    "$wine" reg add "$key" /v MAPI /d "$value" /f >/dev/null 2>&1
    run_probe
    check "MAPI=\"$value\": the library is not loaded" "$work/record.txt" ""
    check "MAPI=\"$value\": the error box for each send" "$work/out.txt" "$box
RESULT 0
$box
RESULT 0
"
done

"$wine" reg delete "$key" /f >/dev/null 2>&1
run_probe
check "no key: the error box" "$work/out.txt" "$box
RESULT 0
$box
RESULT 0
"

[ "$fail" -eq 0 ] && echo "MapiWineTest: all checks passed"
exit "$fail"
