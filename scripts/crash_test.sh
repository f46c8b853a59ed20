#!/usr/bin/env bash
# crash_test.sh [N] [RECORDS]: programs that write data files killed with SIGKILL at random
# moments. With RECORDS records (default 200000):
#   - N runs (default 10) of a `talvo import` into a new keyed file;
#   - N runs of an `ordelin-batch` build that re-keys a keyed file into a new one, alternately in
#     key order and in record order (when ordelin-batch is built).
# Each run is killed at a random moment within the time a clean run takes. After each kill:
#   - the output does not exist, or `talvo check` finds it sound;
#   - the input's checksum is unchanged;
#   - the run again completes, the output is sound and holds exactly what a clean run's holds
#     (its export has the same checksum), and nothing is left beside it.
# Then the power-loss states and failing I/O calls of the programs' workloads:
# scripts/powerloss_test.sh, short unless POWERLOSS_MODE=--full (POWERLOSS_MODE=off: not run).
# Uses the programs in out/ (built when missing; TALVO=... and BATCH=... name others). Works in
# a folder of its own under $TMPDIR (kept, and named, when a run fails). Exit status 0 only when
# every run passed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-10}
records=${2:-200000}
talvo=${TALVO:-$root/out/talvo/tool/talvo}
batch=${BATCH:-$root/out/batch/ordelin-batch}
[ -x "$talvo" ] || "$root/scripts/build.sh" "$root/out" -- talvo ordelin-batch >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/ordelin-crash-XXXXXX")
mkdir -p "$work/home/Corvane Group" "$work/reports"
export TALVO_CONFIG="$work/talvo.ini" XDG_DATA_HOME="$work/home" ORDELIN_WINDIR="$work/home"
# The batch program's list files go to reports/ (the settings file's QVTEMP).
printf '[Directories]\r\nQVTEMP=%s\r\n' "$work/reports" >"$work/home/Corvane Group/NAVO.INI"
cd "$work"
"$talvo" dirs set DAT "$work" >/dev/null

fail() {
  echo "crash_test.sh: $1: $2 (the files are kept in $work)" >&2
  exit 1
}
checksum() { cat "$@" | sha256sum | cut -d' ' -f1; }
now_ms() { date +%s%3N; }
parts() { rm -f "$1" "$1.idx" "$1.idx-lock" "$1.idx-keys" "$1.idx-runs"; }
pause() { sleep "$(printf '%d.%03d' $(($1 / 1000)) $(($1 % 1000)))"; }

# Runs "$@" in the background and kills it after a random part of $duration ms; sets $delay
# and $kind ("killed" or "finished before the kill"). Its output goes to run.log.
kill_at_random() {
  delay=$(( (RANDOM * 32768 + RANDOM) % (duration * 11 / 10 + 1) ))
  "$@" >run.log 2>&1 &
  local pid=$!
  pause "$delay"
  kill -KILL "$pid" 2>/dev/null || true
  local status=0
  { wait "$pid"; } 2>/dev/null || status=$?   # (without the shell's note of the kill)
  case "$status" in
    0) kind="finished before the kill" ;;
    137) kind="killed" ;;
    *) fail "run $run" "it failed by itself (exit status $status): $(cat run.log)" ;;
  esac
}

# after_kill OUTPUT SUM INPUT-FILES...: the output is missing or sound; the input files have
# the checksum they had; what the kill left is told apart in $kind.
after_kill() {
  local output=$1 sum=$2
  shift 2
  if [ -e "$output" ]; then
    "$talvo" check "$output" >check.log 2>&1 ||
      fail "run $run" "after a kill at $delay ms: $(cat check.log)"
    local held
    held=$(sed -n 's/.*: sound: \([0-9]*\) records.*/\1/p' check.log)
    if [ "$kind" = "killed" ]; then
      if [ "$held" -eq 0 ]; then kind="killed, nothing kept"
      elif [ "$held" -eq "$complete" ]; then kind="killed after the last commit, all kept"
      else kind="killed, part kept"; fi
    fi
  elif [ "$kind" = "killed" ]; then
    kind="killed, no output yet"
  fi
  [ "$(checksum "$@")" = "$sum" ] || fail "run $run" "the input changed"
}

# After the run again: the output is sound, equal to a clean run's, and alone.
after_again() {
  local output=$1 clean=$2
  "$talvo" check "$output" >check.log 2>&1 || fail "run $run" "after the run again: $(cat check.log)"
  "$talvo" export "$output" --output again.flat >/dev/null
  [ "$(checksum again.flat)" = "$clean" ] || fail "run $run" "the output differs from a clean run's"
  rm -f again.flat
  local leftovers
  leftovers=$(ls -A | grep -v -E "^((src|$output)(\.idx(-lock|-keys)?)?|input\.flat|talvo\.ini|home|reports|run\.log|check\.log)\$" || true)
  [ -z "$leftovers" ] || fail "run $run" "files left beside the output: $leftovers"
  rm -f reports/*
}

declare -A outcome=()
tally() {
  outcome[$1: $kind]=$(( ${outcome[$1: $kind]:-0} + 1 ))
  printf '   %s run %d: kill at %d ms: %s\n' "$1" "$run" "$delay" "$kind"
}

echo "== $records records: the input and a clean import"
"$talvo" gen src --records "$records" --type 4 --seed 7 --deleted-every 97 >/dev/null
"$talvo" export src --order record --output input.flat >/dev/null
input_sum=$(checksum input.flat)
src_sum=$(checksum src src.idx)
create() { "$talvo" create out --type 4 --record-size 100 --key-size 8 >/dev/null; }
create
start=$(now_ms)
"$talvo" import out --input input.flat >/dev/null
duration=$(( $(now_ms) - start ))
"$talvo" export out --output clean.flat >/dev/null
clean_sum=$(checksum clean.flat)
complete=$("$talvo" check out | sed -n 's/.*: sound: \([0-9]*\) records.*/\1/p')
rm -f clean.flat
parts out
echo "   a clean import takes $duration ms"

for run in $(seq 1 "$runs"); do
  parts out
  create
  kill_at_random "$talvo" import out --input input.flat
  after_kill out "$input_sum" input.flat
  "$talvo" import out --input input.flat >run.log 2>&1 || fail "run $run" "the import again: $(cat run.log)"
  after_again out "$clean_sum"
  tally import
done

if [ -x "$batch" ]; then
  parts out
  # A re-key on city (bytes 61..78) and customer number (0..7), from every record not deleted.
  build=("$batch" src /DDAT --out BYCITY --key-size 26 --key 61:18 --key 0:8 --overwrite)
  for order in key record; do
    echo "== batch builds in $order order"
    parts BYCITY
    start=$(now_ms)
    "${build[@]}" --order "$order" >run.log 2>&1 || fail "clean build" "$(cat run.log)"
    duration=$(( $(now_ms) - start ))
    "$talvo" export BYCITY --output clean.flat >/dev/null
    clean_sum=$(checksum clean.flat)
    complete=$("$talvo" check BYCITY | sed -n 's/.*: sound: \([0-9]*\) records.*/\1/p')
    rm -f clean.flat reports/*
    echo "   a clean build takes $duration ms"
    for run in $(seq 1 "$runs"); do
      parts BYCITY
      kill_at_random "${build[@]}" --order "$order"
      after_kill BYCITY "$src_sum" src src.idx
      "${build[@]}" --order "$order" >run.log 2>&1 || fail "run $run" "the build again: $(cat run.log)"
      after_again BYCITY "$clean_sum"
      tally "build ($order order)"
    done
  done
fi

echo "== every run passed:"
for key in "${!outcome[@]}"; do echo "   ${outcome[$key]} $key"; done | sort
cd /
rm -rf "$work"

mode=${POWERLOSS_MODE:---short}
if [ "$mode" != off ]; then
  echo "== power loss and failing I/O ($mode)"
  "$root/scripts/powerloss_test.sh" "$mode"
fi
