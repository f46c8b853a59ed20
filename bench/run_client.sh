#!/bin/sh
# Builds the benchmarks (Release) and runs the client benchmark (the utility's path through
# CDornApi and the dispatch interface) beside the engine benchmark, on the same number of
# records, then prints the client/engine ratios of the write and the key-order read.
# Arguments go to client_bench (--records N, --dir FOLDER, --keep, --only PASS); --records and
# --dir also go to talvo_bench. ORDELIN_BENCH_BUILD names another build folder.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="${ORDELIN_BENCH_BUILD:-$root/out/release}"  # the build folder, out/release unless set
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORDELIN_BENCH=ON -DORDELIN_TESTS=OFF -DORDELIN_QT=OFF >/dev/null
cmake --build "$build" --target talvo_bench client_bench -j2 >/dev/null

engine_args=""
previous=""
for arg in "$@"; do
    case "$previous" in
        --records|--dir) engine_args="$engine_args $previous $arg" ;;
    esac
    previous="$arg"
done

engine=$(mktemp)
client=$(mktemp)
trap 'rm -f "$engine" "$client"' EXIT
# shellcheck disable=SC2086 # engine_args is a list of words
"$build/bench/talvo_bench" --no-sqlite $engine_args | tee "$engine"
"$build/bench/client_bench" "$@" | tee "$client"
# The records/s figure is the first field that ends a "...: N records/s" line.
rate() { sed -n "s/^$2.*: \([0-9]*\) records\/s.*/\1/p" "$1" | head -n 1; }
ratio() {
    if [ -n "$2" ] && [ -n "$3" ] && [ "$3" -gt 0 ]; then
        awk -v c="$2" -v e="$3" -v w="$1" 'BEGIN { printf "ratio client/engine, %s: %.2f\n", w, c / e }'
    fi
}
ratio write "$(rate "$client" 'client write')" "$(rate "$engine" 'talvo write')"
ratio "read in key order" "$(rate "$client" 'client read in key order')" "$(rate "$engine" 'talvo read in key order')"
