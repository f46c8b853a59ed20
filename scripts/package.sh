#!/usr/bin/env bash
# package.sh [DIR]: builds the programs into DIR (default out/) for installation under /usr and
# makes their Debian package there (ordelin_VERSION_ARCH.deb); prints the package's path last.
# Install it with: apt-get install ./out/ordelin_*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/out}
"$root/scripts/setup.sh" package
# A new build folder gets no tests; one that exists (the test build, say) keeps its options.
options=()
[ -f "$dir/CMakeCache.txt" ] || options=(-DORDELIN_TESTS=OFF)
"$root/scripts/build.sh" "$dir" -DCMAKE_INSTALL_PREFIX=/usr "${options[@]}" -- programs
rm -f "$dir"/ordelin_*.deb
(cd "$dir" && cpack -G DEB --config CPackConfig.cmake >cpack.log 2>&1) || {
    cat "$dir/cpack.log" >&2
    exit 1
}
ls "$dir"/ordelin_*.deb
