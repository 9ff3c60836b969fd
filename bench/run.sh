#!/usr/bin/env bash
# Builds and runs every benchmark; prints one table row per measurement.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
scripts/build.sh >/dev/null
bin=${B6409_BUILD_DIR:-build}/bin
printf 'benchmark\tsize\ttime\tratio\tresult\n'
"$bin/bench_firmware_exchange" 50
"$bin/bench_list_download" 100
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

# Peers a user might pick instead, on the same work.
python=/usr/bin/python3
if $python -c 'import can' 2>/dev/null; then
    simout=$(mktemp)
    "$bin/b6409-sim" --converter scv1 >"$simout" 2>/dev/null &
    sim=$!
    for _ in $(seq 50); do [ -s "$simout" ] && break; sleep 0.1; done
    ours=$("$bin/bench_firmware_exchange" 102 | cut -f3 | cut -d' ' -f1)
    read -r total exchanges answered < <($python bench/python_can_exchanges.py "$(head -n 1 "$simout")" 102)
    kill "$sim"; wait "$sim" 2>/dev/null || true; rm -f "$simout"
    awk -v t="$total" -v e="$exchanges" -v o="$ours" -v a="$answered" 'BEGIN {
        printf "python-can slcan, same 102 firmware exchanges\t102 exchanges\t%.3f s (%.3f s after its 2 s open)\t%.2f x ours (%.3f s)\t%s\n",
            t, e, t / o, o, (a == 102 ? "ok" : "FAILED") }'
fi
