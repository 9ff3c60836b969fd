#!/usr/bin/env bash
# One bounded fuzz run for the test suite: smoke.sh FUZZER SEED_DIR ARTIFACT_DIR [OPTIONS...]
# The seeds are read from SEED_DIR and left as they are; what the run adds goes to a scratch
# folder that is removed afterwards. A crash leaves its input in ARTIFACT_DIR.
set -euo pipefail
fuzzer=$1 seeds=$2 artifacts=$3
shift 3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$artifacts"
"$fuzzer" -seed=1 -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/$(basename "$fuzzer")-" "$@" "$scratch" "$seeds"
