#!/usr/bin/env bash
# crash_test.sh [N] [RECORDS]: N runs (default 10) of a `talvo import` of RECORDS records
# (default 200000) into a new keyed file, each killed with SIGKILL at a random moment of the
# import. After each kill:
#   - the output does not exist, or `talvo check` finds it sound;
#   - the input's checksum is unchanged;
#   - the import run again completes, the output is sound and holds exactly the input's records
#     (its export in key order has the checksum of a clean run's), and nothing is left beside it.
# Uses out/talvo/tool/talvo (built when missing; TALVO=... names another). Works in a folder of
# its own under $TMPDIR (kept, and named, when a run fails). Exit status 0 only when every run
# passed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-10}
records=${2:-200000}
talvo=${TALVO:-$root/out/talvo/tool/talvo}
[ -x "$talvo" ] || "$root/scripts/build.sh" "$root/out" >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/ordelin-crash-XXXXXX")
export TALVO_CONFIG="$work/talvo.ini"
cd "$work"

fail() {
  echo "crash_test.sh: run $1: $2 (the files are kept in $work)" >&2
  exit 1
}
checksum() { sha256sum "$1" | cut -d' ' -f1; }
now_ms() { date +%s%3N; }
create() { "$talvo" create out --type 4 --record-size 100 --key-size 8 >/dev/null; }

echo "== $records records: input and a clean run"
"$talvo" gen src --records "$records" --type 4 --seed 7 >/dev/null
"$talvo" export src --order record --output input.flat >/dev/null
rm -f src src.idx src.idx-lock
input_sum=$(checksum input.flat)
create
start=$(now_ms)
"$talvo" import out --input input.flat >/dev/null
duration=$(( $(now_ms) - start ))
"$talvo" export out --output clean.flat >/dev/null
clean_sum=$(checksum clean.flat)
rm -f out out.idx out.idx-lock clean.flat
echo "   a clean import takes $duration ms; kills fall within the first $((duration * 11 / 10)) ms"

declare -A outcome=()
for run in $(seq 1 "$runs"); do
  rm -f out out.idx out.idx-lock
  create
  delay=$(( (RANDOM * 32768 + RANDOM) % (duration * 11 / 10 + 1) ))
  "$talvo" import out --input input.flat >import.log 2>&1 &
  pid=$!
  sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"
  kill -KILL "$pid" 2>/dev/null || true
  status=0
  { wait "$pid"; } 2>/dev/null || status=$?   # (without the shell's note of the kill)

  if [ "$status" -eq 0 ]; then
    kind="finished before the kill"
  elif [ "$status" -eq 137 ]; then
    kind="killed"
  else
    fail "$run" "the import failed by itself (exit status $status): $(cat import.log)"
  fi
  if [ -e out ]; then
    "$talvo" check out >check.log 2>&1 || fail "$run" "after a kill at $delay ms: $(cat check.log)"
    held=$(sed -n 's/.*: sound: \([0-9]*\) records.*/\1/p' check.log)
    [ "$kind" = "killed" ] && { [ "$held" -eq 0 ] && kind="killed, nothing kept" || kind="killed, $held kept"; }
  fi
  [ "$(checksum input.flat)" = "$input_sum" ] || fail "$run" "the input changed"

  "$talvo" import out --input input.flat >rerun.log 2>&1 || fail "$run" "the run again failed: $(cat rerun.log)"
  "$talvo" check out >check.log 2>&1 || fail "$run" "after the run again: $(cat check.log)"
  "$talvo" export out --output again.flat >/dev/null
  [ "$(checksum again.flat)" = "$clean_sum" ] || fail "$run" "the output differs from a clean run's"
  rm -f again.flat
  leftovers=$(ls -A | grep -v -x -e input.flat -e out -e out.idx -e out.idx-lock -e talvo.ini \
                -e import.log -e rerun.log -e check.log || true)
  [ -z "$leftovers" ] || fail "$run" "files left beside the output: $leftovers"
  case "$kind" in
    "killed, "[0-9]*" kept") key="killed, part kept" ;;
    *) key="$kind" ;;
  esac
  outcome[$key]=$(( ${outcome[$key]:-0} + 1 ))
  printf '   run %d: kill at %d ms: %s\n' "$run" "$delay" "$kind"
done

echo "== $runs runs passed:"
for key in "${!outcome[@]}"; do echo "   ${outcome[$key]} $key"; done
cd /
rm -rf "$work"
