#!/bin/sh
# The scale series of a keyed import: for each size, N records of 100 bytes in random key order
# (12-byte key made of bytes 10..17 and 0..3) are imported with `talvo import` into a new type 4
# file, and in the same run the C floor (bench/sort_floor.c: read, qsort (key, index) pairs,
# write in key order) does the same work without an index. Each is timed with /usr/bin/time -v
# (wall clock and peak resident memory). Then the file of the second size is read in key order.
#
#   bench/run_scale.sh [--dir FOLDER] [--repeat R] [N ...]   default sizes: 1000000 5000000
#   bench/run_scale.sh 1000000 5000000 20000000    the series with 20M (about 4 GB of disk)
#
# With --repeat R, the floor and the import take turns R times for each size (the output of each
# run erased after it, the files of the runs before synced and the input read through first, so
# that it comes from the system's cache), and the medians are shown with
# the ratio of the medians: whatever else the machine does weighs on both alike.
#
# TALVO_BUDGETS applies to the import as to every user of the engine. ORDELIN_BENCH_BUILD names
# another build folder (default out/release).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="${ORDELIN_BENCH_BUILD:-$root/out/release}"
dir=""
repeat=1
while [ $# -gt 0 ]; do
    case "$1" in
        --dir) dir="$2"; shift 2 ;;
        --repeat) repeat="$2"; shift 2 ;;
        *) break ;;
    esac
done
[ $# -gt 0 ] || set -- 1000000 5000000

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORDELIN_BENCH=ON -DORDELIN_TESTS=OFF -DORDELIN_QT=OFF >/dev/null
cmake --build "$build" --target talvo talvo_bench sort_floor -j2 >/dev/null
talvo="$build/talvo/tool/talvo"
floor="$build/bench/sort_floor"

work=$(mktemp -d "${dir:-${TMPDIR:-/tmp}}/talvo-scale-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Runs a command under /usr/bin/time -v; prints "SECONDS PEAK_MIB".
measure() {
    /usr/bin/time -v -o "$work/time" "$@" >/dev/null
    awk -F': ' '
        /Elapsed \(wall clock\)/ {
            n = split($2, t, ":"); s = 0
            for (i = 1; i <= n; i++) s = s * 60 + t[i]
        }
        /Maximum resident set size/ { m = $2 / 1024 }
        END { printf "%.2f %.0f\n", s, m }' "$work/time"
}

printf '%10s  %12s  %12s  %12s  %12s  %8s\n' records "import s" "import MiB" "floor s" "floor MiB" ratio
first=""
read_file=""
# The median of the numbers given.
median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { printf "%.2f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

for n in "$@"; do
    "$floor" gen "$n" "$work/in"
    floors="" imports="" floor_m=0 import_m=0
    round=0
    while [ "$round" -lt "$repeat" ]; do
        round=$((round + 1))
        # Both find their input in the system's cache (the host takes back pages left unread).
        sync
        cat "$work/in" >/dev/null
        set -- $(measure "$floor" sort "$work/in" "$work/sorted")
        floors="$floors $1"
        floor_m=$(awk -v a="$floor_m" -v b="$2" 'BEGIN { print (a > b) ? a : b }')
        rm -f "$work/sorted"
        rm -f "$work/keyed" "$work/keyed".idx*
        "$talvo" create "$work/keyed" --type 4 --record-size 100 --key-size 12 >/dev/null
        sync
        cat "$work/in" >/dev/null
        set -- $(measure "$talvo" import "$work/keyed" --input "$work/in" --key-fields 10:8,0:4)
        imports="$imports $1"
        import_m=$(awk -v a="$import_m" -v b="$2" 'BEGIN { print (a > b) ? a : b }')
        # Each run starts with the output of the one before it gone, as the floor's is: the
        # import's stays only after the last round, for the read below.
        if [ "$round" -lt "$repeat" ]; then rm -f "$work/keyed" "$work/keyed".idx*; fi
    done
    floor_s=$(median $floors)
    import_s=$(median $imports)
    [ "$repeat" -gt 1 ] && echo "  $n records, floor:$floors s; import:$imports s"
    printf '%10s  %12s  %12s  %12s  %12s  %8s\n' "$n" "$import_s" "$import_m" "$floor_s" "$floor_m" \
        "$(awk -v a="$import_s" -v b="$floor_s" 'BEGIN { printf "%.2f", a / b }')"
    if [ -z "$first" ]; then
        first="$n $import_s"
    else
        set -- $first
        awk -v n="$n" -v s="$import_s" -v n1="$1" -v s1="$2" \
            'BEGIN { printf "%10s  time %d/%d: %.2f (linear: %.2f)\n", "", n / 1000000, n1 / 1000000, s / s1, n / n1 }'
    fi
    if [ -z "$read_file" ] && [ -n "$(echo "$first" | awk -v n="$n" '$1 != n')" ]; then
        read_file=done
        "$build/bench/talvo_bench" --read "$work/keyed"
    fi
    rm -f "$work/in"
done
