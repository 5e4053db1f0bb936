#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test twice: once in an
# optimised build, once under AddressSanitizer and UndefinedBehaviorSanitizer; then the threaded
# tests once more under ThreadSanitizer, and each fuzz target for a short while.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh

jobs=$(nproc)
# Every test takes seconds; one that hangs is stopped after two minutes and fails. The scanner
# tests drive SANE's test scanner through the scanner worker, which stops a driver that does not
# let go of a cancelled scan, so no test is run a second time.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure --timeout 120 -j "$jobs")

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELORIX_SANITIZE=ON \
  -DVELORIX_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-asan -j "$jobs"
(cd build-asan && ctest --output-on-failure --timeout 120 -j "$jobs")

# The tests that run threads (the work pool, the report and its writer, the scan transfer, the
# capture waits, the commands and the zoom) under ThreadSanitizer: a data race fails the run. Qt,
# GLib and the other system libraries are not built with it, so their own locks are invisible to
# it; the suppressions name those libraries only. The scanner tests run the scanner worker built
# with it too (a race there ends the worker and fails the test).
tsan_targets=(ParallelDeflateTest SmoothScaleTest PReportTest PReportPdfTest SaneBackendTest ScanCommandsTest
  PdfMailCommandsTest SavePrintCommandsTest ImageToolCommandsTest ScreenCaptureTest PageSetTest)
tsan_tests='^(ParallelDeflateTest|SmoothScale|PReportTest|PReportPdfTest|SaneLayer|ScanCommandsTest|PdfMailCommandsTest|SavePrintCommandsTest|ImageToolCommandsTest|ScreenCaptureTest|PageSetTest)'
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELORIX_TSAN=ON \
  -DVELORIX_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-tsan -j "$jobs" --target "${tsan_targets[@]}"
(
  unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tests/tsan.supp"
  cd build-tsan && ctest --output-on-failure --timeout 240 -j "$jobs" \
    -R "$tsan_tests"
)

# Ten seconds of each fuzz target (clang build in build-fuzz/): a crash fails the run.
scripts/fuzz.sh 10
