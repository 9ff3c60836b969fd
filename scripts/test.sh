#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite. No display and no hardware needed: serial
# links run through pseudo-terminals and the module simulator, CAN links through socket pairs
# and, in step 3, through vcan interfaces of a kernel booted under qemu.
# Six steps:
#   1. the normal build in build/ (or $B6409_BUILD_DIR) and its tests;
#   2. the desktop utility driven through its window on a virtual X display against the
#      module simulator, renewing docs/screenshots/ (scripts/gui-check.sh; skipped with
#      B6409_SKIP_GUI=1);
#   3. the USB adapter and PCI card links on a real Linux CAN stack: Debian's kernel booted
#      under qemu with vcan interfaces (scripts/kernel-can-test.sh; skipped with
#      B6409_SKIP_KERNEL=1);
#   4. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/
#      (skipped with B6409_SKIP_SANITIZERS=1);
#   5. the libFuzzer targets built with clang in build-fuzz/, each run briefly over its seed
#      corpus (skipped with B6409_SKIP_FUZZ=1; scripts/fuzz.sh runs them for longer);
#   6. the Debian package built and checked in build-package/ (scripts/package.sh), then
#      installed and run on a minimal Debian 12 root (scripts/install-test.sh; needs root;
#      skipped with B6409_SKIP_PACKAGE=1).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${B6409_BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
# The libraries stay layered: no cycle, no include from a library that is not linked.
python3 scripts/check-layering.py "${B6409_BUILD_DIR:-build}"

if [ "${B6409_SKIP_GUI:-0}" != 1 ]; then
    echo "test.sh: the utility's window, driven on a virtual display"
    scripts/gui-check.sh
fi

if [ "${B6409_SKIP_KERNEL:-0}" != 1 ]; then
    echo "test.sh: the CAN adapter and card links on a kernel's CAN stack, under qemu"
    scripts/kernel-can-test.sh "${B6409_BUILD_DIR:-build}"
fi

# Any report ends the program that made it, with a stack trace. Leaks inside system libraries
# are suppressed by name (scripts/lsan-suppressions.txt); test programs discovered at build time
# run under the same settings.
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan-suppressions.txt:print_suppressions=0

if [ "${B6409_SKIP_SANITIZERS:-0}" != 1 ]; then
    echo "test.sh: the suite again, built with address and undefined-behaviour sanitizers"
    asan_dir=${B6409_ASAN_BUILD_DIR:-build-asan}
    # -O1 as the sanitizers' makers advise: quicker to build than -O2, stacks easier to read.
    cmake -S . -B "$asan_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g" -DB6409_SANITIZE=address,undefined >/dev/null
    cmake --build "$asan_dir" -j "$(nproc)"
    ctest --test-dir "$asan_dir" --output-on-failure -j "$(nproc)"
fi

if [ "${B6409_SKIP_FUZZ:-0}" != 1 ]; then
    echo "test.sh: the fuzz targets, each over its seed corpus"
    fuzz_dir=${B6409_FUZZ_BUILD_DIR:-build-fuzz}
    cmake -S . -B "$fuzz_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++ -DB6409_FUZZ=ON -DB6409_BUILD_TESTS=OFF >/dev/null
    cmake --build "$fuzz_dir" -j "$(nproc)" --target b6409_fuzzers
    ctest --test-dir "$fuzz_dir" --output-on-failure -j "$(nproc)"
fi

if [ "${B6409_SKIP_PACKAGE:-0}" != 1 ]; then
    echo "test.sh: the Debian package, built, checked and installed on a clean Debian 12 root"
    # Out of the sanitizers' reach: the package is built and run as users get it.
    unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS
    # The package's path is the last line; the rest is shown as it comes. (Not `tee /dev/stderr`:
    # when the log is a file, opening /dev/stderr anew would empty it.)
    deb=$(scripts/package.sh | tee >(cat >&2) | tail -1)
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo scripts/install-test.sh "$deb"
fi
