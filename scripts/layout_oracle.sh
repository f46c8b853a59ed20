#!/usr/bin/env bash
# layout_oracle.sh [COPYBOOKS] [SEED]: puts COPYBOOKS random copybooks (default 1000) before
# GnuCOBOL, a third under each binary size, and fails when any item's offset or length differs
# from the compiler's. SEED picks another series (the tests' own is 20240601). Builds the layout
# tests in out/ first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
[ -f "$root/out/build.ninja" ] || "$root/scripts/build.sh" "$root/out" >/dev/null
cmake --build "$root/out" --target ordelin_layout_tests >/dev/null
export LAYOUT_ORACLE_COPYBOOKS=${1:-1000} LAYOUT_ORACLE_SEED=${2:-20240601}
export ORDELIN_SOURCE_DIR=$root
exec nice "$root/out/layout/ordelin_layout_tests" --gtest_filter='*RandomCopybooksAgreeWithTheCompiler*'
