#!/usr/bin/env bash
# Sets up, builds and runs the utility on demonstration data:
#   1. `talvo gen` makes a keyed customer file (20,000 records, every 50th deleted) in demo/data;
#   2. `talvo stat`, `dump` and `check` show it, and `talvo layout` and `dump --layout` show it
#      as the records of its COBOL copybook, demo/customer.cpy;
#   3. with a display ($DISPLAY or $WAYLAND_DISPLAY), `ordelin` opens its window on that file;
#      without one, ordelin-batch runs the same start-up and drives the same dialog from a
#      script: an output keyed on city and customer number (named from the copybook) is built,
#      its list file written, and the new file is shown with `talvo stat`, `dump` and `check`.
# Everything it makes stays in demo/ (the component's configuration, the settings file and the
# folders the directory macros create), so your own settings are not touched. demo/customer.cpy
# is part of the repository and stays.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" run
echo "== build (the three programs)"
# A new build folder gets no tests (they need more packages and most of the compiling); one that
# exists keeps what it was configured with.
options=()
[ -f "$root/out/CMakeCache.txt" ] || options=(-DORDELIN_TESTS=OFF)
"$root/scripts/build.sh" "$root/out" "${options[@]}" -- programs >/dev/null

demo="$root/demo"
mkdir -p "$demo"
find "$demo" -mindepth 1 -maxdepth 1 ! -name customer.cpy -exec rm -rf {} +
mkdir -p "$demo/data" "$demo/home/Corvane Group" "$demo/windows"
# The list files go to demo/reports (the directory macro QVTEMP of the settings file).
printf '[Directories]\r\nQVTEMP=%s\r\n' "$demo/reports" >"$demo/home/Corvane Group/NAVO.INI"
export TALVO_CONFIG="$demo/talvo.ini"
export XDG_DATA_HOME="$demo/home"
export ORDELIN_WINDIR="$demo/windows"
talvo="$root/out/talvo/tool/talvo"

echo "== talvo gen demo/data/CUST --records 20000 --deleted-every 50"
"$talvo" gen "$demo/data/CUST" --records 20000 --layout customer --type 4 --deleted-every 50
echo "== talvo stat demo/data/CUST"
"$talvo" stat "$demo/data/CUST"
echo "== talvo dump demo/data/CUST --order key --limit 3"
"$talvo" dump "$demo/data/CUST" --order key --limit 3
echo "== talvo check demo/data/CUST"
"$talvo" check "$demo/data/CUST"
echo "== talvo layout demo/customer.cpy"
"$talvo" layout "$demo/customer.cpy"
echo "== talvo dump demo/data/CUST --order key --limit 2 --layout demo/customer.cpy"
"$talvo" dump "$demo/data/CUST" --order key --limit 2 --layout "$demo/customer.cpy"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "== ordelin demo/data/CUST /DDAT"
  echo "   (name the output file, choose its directory, add key fields, Build File; Close ends;"
  echo "    the system menu's Record Layout shows the records, and opens demo/customer.cpy)"
  "$root/out/qt/ordelin" "$demo/data/CUST" /DDAT
  exit
fi

echo "== No display: neither DISPLAY nor WAYLAND_DISPLAY is set, so the window cannot be shown."
echo "   The same start-up, dialog and build run through ordelin-batch instead."
"$talvo" dirs set OUT "$demo/out" >/dev/null
mkdir -p "$demo/out"
echo "== ordelin-batch demo/data/CUST /DDAT --out CUSTCITY --out-dir OUT --key-size 26"
echo "     --layout demo/customer.cpy --key CUST-CITY --key CUST-NO"
status=0
"$root/out/batch/ordelin-batch" "$demo/data/CUST" /DDAT --out CUSTCITY --out-dir OUT \
  --key-size 26 --layout "$demo/customer.cpy" --key CUST-CITY --key CUST-NO || status=$?
echo "   (exit status $status)"
echo "== the list file"
cat "$demo"/reports/OL*.htm
echo
echo "== talvo stat demo/out/CUSTCITY"
"$talvo" stat "$demo/out/CUSTCITY"
echo "== talvo dump demo/out/CUSTCITY --order key --limit 3"
"$talvo" dump "$demo/out/CUSTCITY" --order key --limit 3
echo "== talvo check demo/out/CUSTCITY"
"$talvo" check "$demo/out/CUSTCITY"
