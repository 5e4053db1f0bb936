#!/usr/bin/env bash
# The desktop entry, the AppStream metadata and the manual page pass their validators.
#   DesktopFilesTest.sh SOURCE_DIR
set -euo pipefail
desktop=$1/data/desktop
desktop-file-validate "$desktop/example.velorix.velorix2.desktop"
# --no-net: the home page and screenshot addresses are not fetched.
out=$(appstreamcli validate --pedantic --no-net --no-color "$desktop/example.velorix.velorix2.metainfo.xml")
echo "$out"
# Clean at the pedantic level: only notes of the "info" kind may remain.
if echo "$out" | grep -qE '^[EWP]:'; then
  exit 1
fi
xmllint --noout "$desktop/example.velorix.velorix2.svg"
warnings=$(LC_ALL=C.UTF-8 groff -man -ww -z -K utf8 "$1/data/man/velorix.1" 2>&1)
[ -z "$warnings" ] || { echo "$warnings"; exit 1; }
