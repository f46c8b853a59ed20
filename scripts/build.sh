#!/usr/bin/env bash
# build.sh [DIR [cmake options...]]: configures (once) and builds the project into DIR (default out/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/out}
shift || true
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORDELIN_WERROR=$werror "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
