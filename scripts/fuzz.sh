#!/usr/bin/env bash
# fuzz.sh [SECONDS]: builds the fuzz targets (fuzz/) with clang and libFuzzer in out/libfuzzer
# (a folder of its own: the main build stays on the default compiler, and its own out/fuzz is
# left alone) and runs each for SECONDS (default 60). Each target starts from its seed corpus in
# fuzz/corpus/<target>/ and keeps what it learns in out/libfuzzer/corpus/<target>/. Exits
# non-zero on any finding and names the input that shows it:
#   out/libfuzzer/findings/<target>/crash-...   (again: out/libfuzzer/fuzz/<target> FILE)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
dir="$root/out/libfuzzer"
targets=${ORDELIN_FUZZ_TARGETS:-"command_line_fuzz profile_fuzz data_file_fuzz flat_import_fuzz batch_options_fuzz copybook_fuzz"}

CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORDELIN_FUZZ=ON -DORDELIN_QT=OFF -DORDELIN_BENCH=OFF >/dev/null
cmake --build "$dir" --target fuzz_targets -j "$(nproc)"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
failed=()
for target in $targets; do
  work="$dir/corpus/$target"
  findings="$dir/findings/$target"
  log="$dir/$target.log"
  mkdir -p "$work" "$findings"
  echo "== $target: $seconds s"
  status=0
  (cd "$dir" && "./fuzz/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
     -print_final_stats=1 -artifact_prefix="$findings/" "$work" "$root/fuzz/corpus/$target") \
     >"$log" 2>&1 || status=$?
  grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb|^#[0-9]+.*DONE" "$log" || true
  if [ "$status" -ne 0 ]; then
    failed+=("$target")
    echo "$target: FINDING (exit status $status); the log is $log"
    grep -E "ERROR: |broken promise|SUMMARY:|Test unit written to" "$log" | head -8 || true
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz.sh: findings in: ${failed[*]}"
  exit 1
fi
echo "fuzz.sh: no findings"
