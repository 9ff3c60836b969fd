#!/usr/bin/env bash
# Builds the Debian package b6409-utility_<version>_amd64.deb and checks it: lintian with no
# error, the desktop entry and the AppStream metainfo valid, no path of the build tree inside.
# The programs are built apart from build/, with Debian's hardening flags, tests off.
#
#   scripts/package.sh        the package lands in build-package/package/ ($B6409_PACKAGE_BUILD_DIR
#                             for another folder); its path is the last line printed
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh

build_dir=${B6409_PACKAGE_BUILD_DIR:-build-package}
# The installed files take their modes from here; Debian wants 0755 and 0644.
umask 022

# The flags Debian's own packages are built with: fortified, stack-protected, full RELRO, and
# file names of this tree mapped away from what ends up in the programs.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# CMAKE_SKIP_INSTALL_ALL_DEPENDENCY: CPack installs what is built below, without building the
# tests' and benchmarks' targets too.
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DB6409_BUILD_TESTS=OFF \
    "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "${launcher[@]}" >/dev/null
grep -q '^B6409_SCDOC:FILEPATH=/' "$build_dir/CMakeCache.txt" || {
    echo "package.sh: scdoc is needed for the man pages" >&2
    exit 1
}
cmake --build "$build_dir" -j "$(nproc)" --target B6409_Utility b6409ctl b6409-sim b6409_icons \
    b6409_man_pages b6409_changelog
rm -f "$build_dir"/package/*.deb
(cd "$build_dir" && cpack -G DEB >/dev/null)
deb=$(ls "$build_dir"/package/b6409-utility_*.deb)

contents=$(mktemp -d)
trap 'rm -rf "$contents"' EXIT
dpkg-deb -x "$deb" "$contents"
if grep -rlF "$PWD" "$contents"; then
    echo "package.sh: the files above hold the build tree's path $PWD" >&2
    exit 1
fi
desktop-file-validate "$contents"/usr/share/applications/*.desktop
appstreamcli validate --no-net --explain "$contents"/usr/share/metainfo/*.metainfo.xml >/dev/null ||
    appstreamcli validate --no-net "$contents"/usr/share/metainfo/*.metainfo.xml
echo "package.sh: lintian:"
lintian --fail-on error "$deb"
echo "package.sh: $(du -k "$deb" | cut -f1) KiB, $(dpkg-deb -f "$deb" Depends)"
echo "$deb"
