#!/usr/bin/env bash
# setup.sh [WHAT...]: installs the Debian packages that WHAT needs, when any is missing. WHAT is
# one or more of:
#   run        building and running the three programs (the default)
#   test       building and running every test (plain and sanitizer builds, the Debian package
#              check, the window under Xvfb, the fuzz targets, the copybook compiler oracle)
#   package    building the programs and their Debian package
#   bench      the benchmarks beside their peers
#   all        everything above
# Safe to run again: it does nothing once everything is there.
set -euo pipefail

run=(cmake g++ ninja-build pkg-config qt6-base-dev liblmdb-dev libsimpleini-dev libcli11-dev
     fonts-dejavu-core)
package=(dpkg-dev file desktop-file-utils man-db)
test=(libgtest-dev libgmock-dev xvfb xauth xdotool clang libclang-rt-14-dev time gnucobol3
      "${package[@]}")
bench=(sqlite3 time)

packages=()
for what in "${@:-run}"; do
  case $what in
    run) packages+=("${run[@]}") ;;
    test) packages+=("${run[@]}" "${test[@]}") ;;
    package) packages+=("${run[@]}" "${package[@]}") ;;
    bench) packages+=("${run[@]}" "${bench[@]}") ;;
    all) packages+=("${run[@]}" "${test[@]}" "${bench[@]}") ;;
    *) echo "setup.sh: unknown WHAT \"$what\" (run, test, package, bench or all)" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
# Each package once, in the order first named.
mapfile -t missing < <(printf '%s\n' "${missing[@]}" | awk '!seen[$0]++')

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
