#!/usr/bin/env bash
# Sets up, builds and runs every test: first the normal build in out/ and the check of the Debian
# package made from it, then the whole suite again built with AddressSanitizer and
# UndefinedBehaviorSanitizer in out/asan, then a small crash test (imports and builds killed at
# random moments; a short run of power-loss states and failing I/O calls) and a few seconds of
# each fuzz target (out/libfuzzer, clang). Fails on any failure, sanitizer report or fuzz
# finding.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" test

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== build (out/)"
"$root/scripts/build.sh" "$root/out" -DORDELIN_TESTS=ON -DORDELIN_BENCH=ON
echo "== tests (out/)"
ctest --test-dir "$root/out" -j "$jobs" --output-on-failure --timeout 300
echo "== Debian package (out/)"
"$root/scripts/package_test.sh" "$root/out"

echo "== sanitizer build (out/asan)"
"$root/scripts/build.sh" "$root/out/asan" -DORDELIN_SANITIZE=ON -DORDELIN_TESTS=ON \
  -DORDELIN_BENCH=OFF
echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer (out/asan)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir "$root/out/asan" -j "$jobs" --output-on-failure --timeout 600

echo "== kill at random, power loss, failing I/O: a small crash test (out/)"
"$root/scripts/crash_test.sh" 5 20000

echo "== fuzz targets, briefly (out/libfuzzer)"
"$root/scripts/fuzz.sh" "${ORDELIN_CI_FUZZ_SECONDS:-5}"
