#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing the project need, when any is
# missing. Safe to run again: it does nothing once everything is there.
set -euo pipefail

packages=(cmake g++ ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev
          liblmdb-dev lmdb-utils libsimpleini-dev libcli11-dev xvfb xauth fonts-dejavu-core sqlite3
          dpkg-dev file desktop-file-utils man-db xdotool time
          clang libclang-rt-14-dev gnucobol3)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
