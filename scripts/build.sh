#!/usr/bin/env bash
# build.sh [DIR [cmake options...]] [-- TARGET...]: configures DIR (default out/) and builds the
# TARGETs in it, or everything it is configured for. The cmake options stay in DIR's cache, so a
# later run without them keeps them (the build type too: RelWithDebInfo unless DIR's cache or the
# options name another). Warnings are errors when CI=true.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/out}
shift || true
options=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do options+=("$1"); shift; done
[ "${1:-}" = "--" ] && shift
targets=()
[ $# -gt 0 ] && targets=(--target "$@")
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
type=()
grep -qs '^CMAKE_BUILD_TYPE:[A-Z]*=.' "$dir/CMakeCache.txt" || type=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
cmake -S "$root" -B "$dir" -G Ninja "${type[@]}" -DORDELIN_WERROR=$werror "${options[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
