#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite. No display and no hardware needed: serial
# links run through pseudo-terminals and the module simulator, CAN links through socket pairs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${B6409_BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
