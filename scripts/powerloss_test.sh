#!/usr/bin/env bash
# powerloss_test.sh [--short|--full] [powerloss workloads options...]: power loss and failing I/O.
# Runs the workloads of talvo and ordelin-batch (imports that commit once and many times, builds
# in key and record order, an overwrite, an extended output with subordinate keys) under the
# recorder (powerloss/), then:
#   - replays the states a power loss could leave at every sync, name change and acknowledgement
#     of the run (everything before a sync kept; of what came after: nothing, a prefix, subsets,
#     writes torn into 512-byte sectors, names in folders not synced lost) and checks each: every
#     data file sound, the input byte for byte as it was, the output holding records of this run
#     only, and complete once a program said it ended;
#   - fails each I/O call of each run in turn, with EIO and then ENOSPC: every run must end with
#     a clear message and a non-zero exit status (or succeed in full), leave sound files and an
#     untouched input, and report as written only what is there, also after a power loss.
# --short (the default): 300 records, 60 states per workload, 10 failure points per step and
# error. --full: 2000 records, up to 2500 states per workload, every failure point (about half
# an hour on two cores). Uses out/powerloss/powerloss (built when missing; POWERLOSS=... names
# another). Works in a folder of its own under $TMPDIR (kept when a check fails, with the
# problems in each workload's problems.txt and the first failing states beside it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=--short
case "${1:-}" in
  --short | --full) mode=$1; shift ;;
esac
tool=${POWERLOSS:-$root/out/powerloss/powerloss}
[ -x "$tool" ] || "$root/scripts/build.sh" "$root/out" >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/ordelin-powerloss-XXXXXX")
args=(workloads --work "$work")
[ "$mode" = --short ] && args+=(--short)
if "$tool" "${args[@]}" "$@"; then
  rm -rf "$work"
else
  echo "powerloss_test.sh: a check failed (the files are kept in $work)" >&2
  exit 1
fi
