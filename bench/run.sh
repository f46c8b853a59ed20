#!/bin/sh
# Builds the benchmarks (Release) and runs the keyed-file benchmark; arguments go to talvo_bench
# (e.g. --records 200000, --dir /some/disk, --no-sqlite). bench/run_client.sh runs the client
# benchmark beside it.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/out/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORDELIN_BENCH=ON -DORDELIN_TESTS=OFF -DORDELIN_QT=OFF >/dev/null
cmake --build "$build" --target talvo_bench -j2 >/dev/null
exec "$build/bench/talvo_bench" "$@"
