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
# The memory limit follows the workbook reader's read limits: one input at all of them takes
# about 350 MB under the sanitizers, whose allocator keeps what earlier inputs freed (a long
# run settles near 1.2 GB); more than 1.5 GB means memory the limits do not hold.
"$fuzzer" -seed=1 -timeout=20 -rss_limit_mb=1536 -print_final_stats=1 \
    -artifact_prefix="$artifacts/$(basename "$fuzzer")-" "$@" "$scratch" "$seeds"
