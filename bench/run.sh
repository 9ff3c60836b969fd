#!/usr/bin/env bash
# Builds and runs every benchmark; prints one table row per measurement.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
scripts/build.sh >/dev/null
bin=${B6409_BUILD_DIR:-build}/bin
printf 'benchmark\tsize\ttime\tratio\tresult\n'
"$bin/bench_firmware_exchange" 50
# The download's list is kept for the peer comparison below.
list=$(mktemp --suffix=.dat)
"$bin/bench_list_download" 100 "$list"
"$bin/bench_profile_apply" 100
"$bin/bench_data_file" 10000
# The export also runs python3-xlwt on the same cells and prints the ratio.
"$bin/bench_export" 10000
# The desktop program: start to first paint and resident memory then (offscreen platform),
# the median of ten starts.
if [ -x "$bin/B6409_Utility" ]; then
    runtime=$(mktemp -d)
    trap 'rm -rf "$runtime"' EXIT
    for _ in $(seq 10); do
        B6409_STARTUP_PROBE=1 QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$runtime \
            "$bin/B6409_Utility" 2>/dev/null
    done | sort -t' ' -k3 -n | sed -n 5p |
        awk '{ printf "utility start to first paint\t1 window\t%s ms\t%s kB resident\tok\n", $3, $6 }'
fi

# Peers a user might pick instead, on the same work: a 100-row download by b6409ctl with reply
# pacing, then python-can's slcan interface sending the very requests the simulator traced.
python=/usr/bin/python3
if $python -c 'import can' 2>/dev/null; then
    work=$(mktemp -d)
    "$bin/b6409-sim" --converter scv1 --trace >"$work/sim.out" 2>/dev/null &
    sim=$!
    for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
    pty=$(head -n 1 "$work/sim.out")
    start=$EPOCHREALTIME
    "$bin/b6409ctl" --port "$pty" --pacing reply download "$list" >/dev/null
    ours=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", b - a }')
    tail -n +2 "$work/sim.out" >"$work/requests.txt"
    read -r total exchanges answered sent < <($python bench/python_can_exchanges.py "$pty" "$work/requests.txt")
    kill "$sim"; wait "$sim" 2>/dev/null || true; rm -rf "$work"
    awk -v t="$total" -v e="$exchanges" -v o="$ours" -v a="$answered" -v n="$sent" 'BEGIN {
        printf "python-can slcan, the %d requests of a 100-row download\t%d exchanges\t%.3f s (%.3f s after its 2 s open)\t%.1f x as long as b6409ctl --pacing reply (%.3f s); %.2f x after its open\t%s\n",
            n, n, t, e, t / o, o, e / o, (a == n && n == 102 ? "ok" : "FAILED") }'
fi
rm -f "$list"
