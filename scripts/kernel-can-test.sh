#!/usr/bin/env bash
# The USB adapter and PCI card links against a real Linux CAN stack. The build machines have no
# CAN modules loaded and cannot load any, so this boots Debian's own kernel under qemu with a
# small busybox initramfs: the kernel's can, can-raw, can-dev and vcan modules, b6409ctl and
# b6409-sim with the libraries they load, and can-utils' candump, cansend and cangen as an
# independent witness and as other nodes on the bus. The cases themselves are
# scripts/kernel-can/cases.sh, run inside the machine.
#
#   scripts/kernel-can-test.sh [BUILD_DIR]      (default ${B6409_BUILD_DIR:-build})
#
# Prints the guest kernel's version line, one line per case ("ok - ..." or "FAIL - ..."), and
# "N passed, M failed" last; exits non-zero when a case failed or the machine did not come up.
# The witness logs (candump -L) of each kind's list downloads land in BUILD_DIR/kernel-can/.
# KVM is used when /dev/kvm is usable, plain emulation otherwise (slower, still under the
# stage's time limit on two cores).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-${B6409_BUILD_DIR:-build}}
started=$(date +%s%N)

scripts/setup-deps.sh kernel
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build_dir" -j "$(nproc)" --target b6409ctl b6409-sim >/dev/null

out_dir=$build_dir/kernel-can
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
mkdir -p "$out_dir" "$root"/{bin,sbin,dev,proc,sys,tmp,run,lib/modules,cases}

# ------------------------------------------------------------------------------------------
# The kernel and its CAN modules

# The newest installed Debian kernel that has a module tree beside it.
kernel_version=""
installed=$(find /lib/modules -mindepth 1 -maxdepth 1 -printf '%f\n' 2>/dev/null | sort -V)
for candidate in $installed; do
    [ -f "/boot/vmlinuz-$candidate" ] && [ -f "/lib/modules/$candidate/modules.dep" ] &&
        kernel_version=$candidate
done
if [ -z "$kernel_version" ]; then
    echo "kernel-can-test: no kernel with modules under /boot and /lib/modules" >&2
    exit 1
fi
modules_dir=/lib/modules/$kernel_version

# Adds a module and, before it, everything modules.dep says it needs. Modules may be stored
# compressed (.ko.xz, .ko.zst, .ko.gz); busybox's insmod takes them plain.
declare -A module_added=()
module_order=()
add_module() {
    local name=$1 line path deps dep
    line=$(grep -E "(^|/)${name}\.ko(\.[a-z]+)?:" "$modules_dir/modules.dep" | head -n 1) || true
    if [ -z "$line" ]; then
        echo "kernel-can-test: module $name not in $modules_dir/modules.dep" >&2
        exit 1
    fi
    path=${line%%:*}
    deps=${line#*:}
    [ -n "${module_added[$path]:-}" ] && return
    for dep in $deps; do
        dep=$(basename "$dep")
        add_module "${dep%%.ko*}"
    done
    module_added[$path]=1
    local target
    target=$root/lib/modules/$(basename "${path%%.ko*}").ko
    case $path in
    *.ko) cp "$modules_dir/$path" "$target" ;;
    *.ko.xz) xz -dc "$modules_dir/$path" >"$target" ;;
    *.ko.zst) zstd -qdc "$modules_dir/$path" >"$target" ;;
    *.ko.gz) gzip -dc "$modules_dir/$path" >"$target" ;;
    *)
        echo "kernel-can-test: cannot unpack $path" >&2
        exit 1
        ;;
    esac
    module_order+=("$(basename "$target")")
}
for module in can can-raw vcan; do add_module "$module"; done
printf '%s\n' "${module_order[@]}" >"$root/lib/modules/load-order"

# ------------------------------------------------------------------------------------------
# Programs and the libraries they load

cp /bin/busybox "$root/bin/busybox"
for applet in $("$root/bin/busybox" --list); do
    [ "$applet" = busybox ] || ln -sf busybox "$root/bin/$applet"
done

add_program() {
    local program=$1 library
    cp "$program" "$root/bin/"
    # ldd prints "name => /path (address)" for each library and the loader's own path alone.
    for library in $(ldd "$program" | grep -o '/[^ ]*'); do
        mkdir -p "$root$(dirname "$library")"
        [ -e "$root$library" ] || cp -L "$library" "$root$library"
    done
}
for program in "$build_dir/bin/b6409ctl" "$build_dir/bin/b6409-sim" \
    "$(command -v candump)" "$(command -v cansend)" "$(command -v cangen)"; do
    add_program "$program"
done

install -m 755 scripts/kernel-can/init "$root/init"
install -m 755 scripts/kernel-can/cases.sh "$root/cases/cases.sh"

(cd "$root" && find . -print0 | cpio --null -o -H newc --quiet) | gzip -1 >"$work/initramfs.gz"

# ------------------------------------------------------------------------------------------
# Boot

# The machine powers itself off after the cases; the time-out only guards against a hang (the
# cases take about a minute; a machine shared with other builds may need a few).
console=$work/console.log
boot() {
    : >"$console"
    timeout "$2" qemu-system-x86_64 -machine q35,accel="$1" -smp 2 -m 512 \
        -kernel "/boot/vmlinuz-$kernel_version" -initrd "$work/initramfs.gz" \
        -append "console=ttyS0 quiet loglevel=3 panic=-1" \
        -display none -serial stdio -monitor none -no-reboot -nic none \
        </dev/null >"$console" 2>&1 &
    qemu_pid=$!
}

# Whether the machine's first line came within $1 seconds.
came_up() {
    local tenths=$(($1 * 10))
    while [ $tenths -gt 0 ]; do
        grep -q '^kernel ' "$console" && return 0
        kill -0 "$qemu_pid" 2>/dev/null || return 1
        sleep 0.1
        tenths=$((tenths - 1))
    done
    return 1
}

# An openable /dev/kvm is not always a working one: inside another virtual machine the guest
# may spin without ever running. KVM gets 10 seconds to bring the machine up, more than plain
# emulation needs (about four); then emulation takes over.
boot_started=$(date +%s%N)
accel=""
if [ -r /dev/kvm ] && [ -w /dev/kvm ]; then
    boot kvm 400
    if came_up 10; then
        accel=kvm
    else
        kill "$qemu_pid" 2>/dev/null || true
        wait "$qemu_pid" 2>/dev/null || true
        echo "kernel-can-test: KVM did not bring the machine up; emulating instead"
        boot_started=$(date +%s%N)
    fi
fi
if [ -z "$accel" ]; then
    accel=tcg
    boot tcg 400
fi
echo "kernel-can-test: Debian kernel $kernel_version under qemu ($accel)"

# Follows the console as it is written: the machine's lines as they come, and the witness
# blocks (between "witness NAME" and "end witness") into their own files.
status=0
(tail -n +1 -f --pid="$qemu_pid" "$console" 2>/dev/null || true) | {
    witness=""
    while IFS= read -r line; do
        line=${line%$'\r'}
        case $line in
        "witness "*)
            witness=$out_dir/${line#witness }.log
            : >"$witness"
            ;;
        "end witness") witness="" ;;
        *)
            if [ -n "$witness" ]; then
                echo "$line" >>"$witness"
            else
                case $line in
                "kernel "* | "ok - "* | "FAIL - "* | "# "*)
                    echo "$line"
                    ;;
                esac
            fi
            ;;
        esac
    done
}
wait "$qemu_pid" || status=$?
finished=$(date +%s%N)

summary=$(tr -d '\r' <"$console" | grep -E '^[0-9]+ passed, [0-9]+ failed' | tail -n 1) || true
if [ -z "$summary" ]; then
    echo "kernel-can-test: the machine did not finish its cases (qemu status $status);" \
        "its console:" >&2
    tail -n 40 "$console" >&2
    echo "0 passed, 1 failed"
    exit 1
fi
echo "kernel-can-test: boot to the cases' end $(((finished - boot_started) / 1000000)) ms," \
    "whole stage $(((finished - started) / 1000000)) ms; witness logs in $out_dir"
echo "$summary"
case $summary in *" 0 failed") ;; *) exit 1 ;; esac
