#!/usr/bin/env bash
# Installs what is needed, builds the program and starts it with the demo scanner
# (SANE's test backend, added through our own SANE configuration folder).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target velorix

# A trailing colon keeps the system's folder after ours, as libsane reads it.
export SANE_CONFIG_DIR="${SANE_CONFIG_DIR:-$PWD/data/sane.d:}"
exec build/app/velorix "$@"
