#!/usr/bin/env bash
# Runs a command on a display of its own: a private Xvfb, stopped after. Exit 77 (skipped) where
# Xvfb is missing.
set -uo pipefail
command -v Xvfb >/dev/null || { echo "Xvfb is not installed"; exit 77; }
source "$(dirname "$0")/Xvfb.sh"
work=$(mktemp -d)
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
start_xvfb "$work"
"$@"
