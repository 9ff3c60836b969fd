#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need. Idempotent: it asks
# apt only when something is missing, and refreshes the package lists once at most.
#
#   scripts/setup-deps.sh           the build, the tests, the demo, the benchmarks and the
#                                   Debian package with its checks and install test
#   scripts/setup-deps.sh kernel    also what the kernel CAN stage boots: a Debian kernel under
#                                   qemu with busybox and can-utils (large, so only on request)
set -euo pipefail

packages=(
    cmake make g++ pkg-config
    libgtest-dev libgmock-dev googletest
    qt6-base-dev libgl-dev fonts-arphic-uming
    clang libclang-rt-14-dev llvm
    python3 python3-xlrd python3-xlwt python3-can
    nlohmann-json3-dev
    xvfb xdotool x11-utils xclip imagemagick openbox fonts-dejavu-core
    scdoc bash-completion man-db
    dpkg-dev fakeroot file lintian desktop-file-utils appstream debootstrap
)
for extra in "$@"; do
    case $extra in
    kernel)
        # The build machines cannot load the kernel's CAN modules; a kernel of Debian's own,
        # booted under qemu, has them (scripts/kernel-can-test.sh).
        packages+=(qemu-system-x86 linux-image-amd64 busybox-static can-utils cpio)
        ;;
    *)
        echo "setup-deps: unknown set '$extra' (known: kernel)" >&2
        exit 2
        ;;
    esac
done

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "setup-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
