#!/usr/bin/env bash
# Installs the Debian package into a minimal Debian 12 root, as a user would on a clean system,
# and runs it there: the declared dependencies alone must make it work.
#
#   scripts/install-test.sh PACKAGE.deb
#
# Needs root (debootstrap, chroot, mounts). The base root is made once with debootstrap and kept
# as a tar file in $B6409_DEBOOTSTRAP_CACHE (default /var/cache/b6409-install-test), together with
# the packages apt fetches; each run unpacks a fresh copy. $B6409_DEBIAN_MIRROR and
# $B6409_DEBIAN_SECURITY_MIRROR name the mirrors.
set -euo pipefail
deb=$(realpath "${1:?usage: install-test.sh PACKAGE.deb}")
cache=${B6409_DEBOOTSTRAP_CACHE:-/var/cache/b6409-install-test}
mirror=${B6409_DEBIAN_MIRROR:-http://deb.debian.org/debian}
security_mirror=${B6409_DEBIAN_SECURITY_MIRROR:-http://deb.debian.org/debian-security}
suite=bookworm
[ "$(id -u)" -eq 0 ] || {
    echo "install-test.sh: run as root (debootstrap and chroot need it)" >&2
    exit 1
}

mkdir -p "$cache/archives/partial"
base=$cache/$suite-minbase.tar
if [ ! -f "$base" ]; then
    echo "install-test.sh: making a minimal $suite root (once; kept in $cache)"
    staging=$(mktemp -d /var/tmp/b6409-debootstrap.XXXXXX)
    # man-db only to read the pages; the package itself must not need it.
    debootstrap --variant=minbase --include=man-db --cache-dir="$cache/archives" \
        "$suite" "$staging" "$mirror" >"$cache/debootstrap.log" ||
        {
            tail -20 "$cache/debootstrap.log" >&2
            rm -rf "$staging"
            exit 1
        }
    rm -f "$staging"/var/cache/apt/archives/*.deb
    tar --numeric-owner -C "$staging" -cf "$base.part" . && mv "$base.part" "$base"
    rm -rf "$staging"
fi

root=$(mktemp -d /var/tmp/b6409-install-root.XXXXXX)
chmod 755 "$root"
mounts=()
cleanup() {
    local i
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount -l "${mounts[i]}" || true; done
    # Only once nothing is mounted below it, so nothing of the host's is removed with it.
    if ! grep -qF " $root/" /proc/mounts; then rm -rf "$root"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM
mount_into() { # mount_into TARGET MOUNT-ARGUMENTS...
    mount "${@:2}" "$root$1"
    mounts+=("$root$1")
}

tar --numeric-owner -C "$root" -xf "$base"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# As a Debian 12 system is set up: with its updates, which the build machine may have built on.
cat >"$root/etc/apt/sources.list" <<SOURCES
deb $mirror $suite main
deb $mirror $suite-updates main
deb $security_mirror $suite-security main
SOURCES
mount_into /proc -t proc proc
# The simulator's pseudo-terminal: the host's terminal devices, reached the same way inside.
mount_into /dev/pts --bind /dev/pts
[ -c "$root/dev/ptmx" ] || ln -sf pts/ptmx "$root/dev/ptmx"
mount_into /var/cache/apt/archives --bind "$cache/archives"
cp "$deb" "$root/tmp/"

echo "install-test.sh: installing $(basename "$deb") with apt-get"
# Recommends left out: what the package declares it depends on must be enough.
# apt fetches as root: the cache of fetched packages is the host's folder, not _apt's.
chroot "$root" env DEBIAN_FRONTEND=noninteractive sh -ec "
    apt-get update -qq -o APT::Sandbox::User=root
    apt-get install -y -qq --no-install-recommends -o APT::Sandbox::User=root /tmp/$(basename "$deb") >/tmp/apt.log ||
        { cat /tmp/apt.log; exit 1; }"

echo "install-test.sh: running the programs inside"
chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    QT_QPA_PLATFORM=offscreen bash -euo pipefail -c '
    b6409ctl --help | head -1
    b6409ctl --version
    b6409-sim --help | head -1
    B6409_Utility --version
    for page in b6409ctl b6409-sim B6409_Utility; do
        man -l "/usr/share/man/man1/$page.1.gz" | grep -q "^NAME" ||
            { echo "man -l $page: no NAME section"; exit 1; }
        echo "man -l $page: $(man -l "/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null | wc -l) warnings"
    done
    test -f /usr/share/bash-completion/completions/b6409ctl
    fc-list | grep -q "AR PL UMing" || { echo "the dialog font is missing"; exit 1; }

    b6409-sim --link /tmp/com1 >/tmp/sim.out &
    sim=$!
    for _ in $(seq 50); do [ -e /tmp/com1 ] && break; sleep 0.1; done
    status=0
    B6409_COM1=/tmp/com1 b6409ctl info || status=$?
    kill $sim
    wait $sim || true
    [ $status -eq 0 ] || { echo "b6409ctl info: exit status $status"; exit 1; }'
echo "install-test.sh: passed"
