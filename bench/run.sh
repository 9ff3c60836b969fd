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
