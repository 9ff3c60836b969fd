#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ (or $B6409_FUZZ_BUILD_DIR) and runs
# each of them, or the one named, for SECONDS (default 300) each:
#   scripts/fuzz.sh [TARGET] [SECONDS]      e.g. scripts/fuzz.sh fuzz_xls_reader 3600
# Each run starts from a fresh copy of fuzz/corpus/TARGET in BUILD/fuzz-work/TARGET/corpus,
# which keeps what the run found until the next run; crash, leak and time-out inputs land in
# BUILD/fuzz-artifacts/. Extra libFuzzer options go in $B6409_FUZZ_OPTIONS.
set -euo pipefail
cd "$(dirname "$0")/.."

targets=(fuzz_data_file fuzz_line_decoder fuzz_sql_statement fuzz_xls_reader fuzz_profile_json)
seconds=300
if [ $# -gt 0 ] && [[ ! $1 =~ ^[0-9]+$ ]]; then
    targets=("$1")
    shift
fi
[ $# -gt 0 ] && seconds=$1
[ -d "fuzz/corpus/${targets[0]}" ] || { echo "fuzz.sh: no fuzz target ${targets[0]}" >&2; exit 2; }

build=${B6409_FUZZ_BUILD_DIR:-build-fuzz}
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DB6409_FUZZ=ON -DB6409_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target b6409_fuzzers

export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
artifacts=$build/fuzz-artifacts
mkdir -p "$artifacts"
failed=()
for target in "${targets[@]}"; do
    work=$build/fuzz-work/$target
    rm -rf "$work"
    mkdir -p "$work"
    cp -R "fuzz/corpus/$target" "$work/corpus"
    # The memory limit as in fuzz/smoke.sh: what the workbook reader's read limits allow.
    options=(-max_total_time="$seconds" -timeout=20 -rss_limit_mb=1536 -print_final_stats=1
        -artifact_prefix="$artifacts/$target-")
    [ -f "fuzz/dict/$target.dict" ] && options+=(-dict="fuzz/dict/$target.dict")
    echo "fuzz.sh: $target for ${seconds}s, corpus $work/corpus, log $work/log"
    # shellcheck disable=SC2086 # the extra options are meant to split into words
    if "$build/bin/$target" "${options[@]}" ${B6409_FUZZ_OPTIONS:-} "$work/corpus" \
        >"$work/log" 2>&1; then
        grep -E '^(Done|stat::number_of_executed_units|stat::average_exec_per_sec)' \
            "$work/log" | sed "s/^/  /"
        echo "  corpus: $(find "$work/corpus" -type f | wc -l) inputs"
    else
        echo "fuzz.sh: $target FAILED; see $work/log and $artifacts/" >&2
        grep -E 'ERROR|invariant|SUMMARY|^artifact_prefix|Test unit written' "$work/log" >&2 || true
        failed+=("$target")
    fi
done
[ ${#failed[@]} -eq 0 ] || { echo "fuzz.sh: failed: ${failed[*]}" >&2; exit 1; }
