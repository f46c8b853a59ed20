#!/usr/bin/env bash
# Makes the README's pictures of the real window in docs/: the questions asked before a start
# from the desktop's menu, the main dialog as it opens on the demonstration data, the record
# layout window with the demonstration's copybook open and the city chosen, the dialog after an
# output key is defined with simulated keys and mouse, and the about box opened from the system
# menu. Runs on Qt's offscreen platform: no display needed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" test
"$root/scripts/build.sh" "$root/out" -DORDELIN_TESTS=ON -- ordelin-screenshots talvo >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/ordelin.XXXXXX")  # the chooser shows the file's path
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/data" "$work/home" "$work/windows" "$root/docs"
export TALVO_CONFIG="$work/talvo.ini" XDG_DATA_HOME="$work/home" ORDELIN_WINDIR="$work/windows"
"$root/out/talvo/tool/talvo" gen "$work/data/CUST" --records 20000 --layout customer --type 4 \
  --deleted-every 50 >/dev/null
# A screen of a desktop's size, so that the record layout window gets the room it would have.
printf '%s\n' '{"screens": [{"name": "OffscreenScreen", "x": 0, "y": 0, "width": 1920,' \
  '"height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]}' >"$work/screen.json"
QT_QPA_PLATFORM="offscreen:configfile=$work/screen.json" "$root/out/qt/ordelin-screenshots" \
  "$root/docs" "$work/data/CUST" /DDAT "$root/demo/customer.cpy"
