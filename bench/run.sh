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
"$bin/bench_data_file" 10000
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
