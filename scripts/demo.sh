#!/usr/bin/env bash
# Sets up, builds and runs the utility's pieces on demonstration data:
#   1. `talvo gen` makes a keyed customer file (20,000 records, every 50th deleted) in demo/data;
#   2. `talvo stat`, `dump` and `check` show it;
#   3. ordelin-demo runs the utility's start-up on it (command line, connection, directory
#      registration, descriptor) and drives the main dialog through a scripted session on the
#      headless host up to an enabled Build File button.
# Everything it makes stays in demo/ (the component's configuration, the settings file and the
# folders the directory macros create), so your own settings are not touched.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
echo "== build"
"$root/scripts/build.sh" "$root/out" >/dev/null

demo="$root/demo"
rm -rf "$demo"
mkdir -p "$demo/data" "$demo/home" "$demo/windows"
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
echo "== ordelin-demo demo/data/CUST /DDAT"
"$root/out/app/ordelin-demo" "$demo/data/CUST" /DDAT
