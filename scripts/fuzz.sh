#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ with clang++ (libFuzzer, AddressSanitizer, UBSan) in
# build-fuzz/ and runs each for SECONDS (default 60) on a copy of its seed corpus, printing
# libFuzzer's last status line (executions per second, coverage "cov:") for each. Exits non-zero
# when a target crashes, leaks, times out or runs out of memory; the input that did it is left in
# build-fuzz/crashes/<target>/.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-60}
build=$root/build-fuzz

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELORIX_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null || exit 1
cmake --build "$build" -j "$(nproc)" >/dev/null || {
  cmake --build "$build" -j 1 2>&1 | tail -40
  exit 1
}

export MAGICK_CONFIGURE_PATH=$root/data/magick
# Starting the image library's worker threads for each tiny picture costs more than decoding it.
export MAGICK_THREAD_LIMIT=1
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

status=0
for target in $(cd fuzz && ls ./*Fuzz.cpp | sed 's|^\./||; s|\.cpp$||'); do
  corpus=$build/corpus/$target
  crashes=$build/crashes/$target
  rm -rf "$corpus" "$crashes"
  mkdir -p "$corpus" "$crashes"
  cp fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null
  dict=()
  [ -f fuzz/"$target".dict ] && dict=(-dict=fuzz/"$target".dict)
  log=$build/$target.log
  # One process at a time: the machine's other cores build and test. Pictures are kept small
  # (-rss_limit_mb, -malloc_limit_mb): a claimed gigantic picture must be refused before it is
  # allocated, not survive because this machine has memory to spare.
  "$build/fuzz/$target" "${dict[@]}" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -malloc_limit_mb=512 -print_final_stats=1 \
    -artifact_prefix="$crashes/" "$corpus" >"$log" 2>&1
  rc=$?
  summary=$(grep -E '^#[0-9]+.*(DONE|pulse|NEW|REDUCE|INITED)' "$log" | tail -1)
  if [ $rc -eq 0 ]; then
    printf '%-16s %s\n' "$target" "$summary"
  else
    status=1
    printf '%-16s FAILED (exit %d), last: %s\n' "$target" "$rc" "$summary"
    grep -E 'ERROR|SUMMARY|^==[0-9]+==|Test unit written' "$log" | head -8 | sed 's/^/    /'
  fi
done
exit $status
