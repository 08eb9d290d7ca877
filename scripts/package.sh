#!/usr/bin/env bash
# Makes the release files under dist/ from the checked-out tree:
#   norvane_<version>_<arch>.deb         the Debian packages, built from debian/ by
#   norvane-devsim_<version>_<arch>.deb  dpkg-buildpackage, test suite included, in build/deb/
#   norvane-<version>-win32.zip          the i686 programs, README.txt and the licences, and
#   norvane-<version>.msi                their installer, from build/release-win32
#   SHA256SUMS                           the sums of all four, also printed
# Two runs from the same commit make the same bytes, wherever the tree lies: every file takes
# the time of debian/changelog's newest entry (SOURCE_DATE_EPOCH), and paths are mapped out
# of the binaries. Extra arguments go to every configure, for example
# -DNORVANE_FIRMWARE=/absolute/path/to/image.bin; DEB_BUILD_OPTIONS=nocheck leaves the
# packages' test suite out.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build app tests windows package  # tests: the packages build their test suite
export LC_ALL=C.UTF-8

jobs=${JOBS:-2}  # the machine is shared
version=$(dpkg-parsechangelog -SVersion)
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -STimestamp)
export SOURCE_DATE_EPOCH
debs=build/deb
source=$debs/norvane-$version
windows=build/release-win32

echo "== Debian packages ($debs)"
# As a distribution builds them: from the tree as git has it (with the uncommitted changes of
# tracked files), in a folder of its own that nothing else of the worktree reaches, where
# dpkg-buildpackage leaves the packages beside it.
rm -rf "$debs"
mkdir -p "$debs"
tree=$(git stash create)
git archive --prefix="${source#"$debs"/}/" "${tree:-HEAD}" | tar -x -C "$debs"
# The arguments reach debian/rules' configure, quoted for its shell.
cmake_args=""
(($# == 0)) || cmake_args=$(printf '%q ' "$@")
if ! (cd "$source" && NORVANE_CMAKE_ARGS="$cmake_args" dpkg-buildpackage -us -uc -b -j"$jobs") \
    >"$debs/build.log" 2>&1; then
    tail -n 60 "$debs/build.log"
    echo "dpkg-buildpackage failed: $debs/build.log" >&2
    exit 1
fi
grep -E '^(dpkg-deb: building|[0-9]+% tests passed|Total Test time)' "$debs/build.log" || true

echo "== Windows i686 Release ($windows)"
# The generated resources (string table, demo image) come from the packages' native build.
host_build=$PWD/$source/obj-$(dpkg-architecture -qDEB_HOST_GNU_TYPE)
# The toolchain is fixed at the first configure; naming it again only draws a warning.
toolchain_arg=(--toolchain cmake/toolchains/mingw-i686.cmake)
[ ! -f "$windows/CMakeCache.txt" ] || toolchain_arg=()
cmake -S . -B "$windows" -G Ninja "${toolchain_arg[@]}" -DCMAKE_BUILD_TYPE=Release \
    -DNORVANE_HOST_BUILD_DIR="$host_build" "$@" >/dev/null
cmake --build "$windows" -j"$jobs" --target norvane_zip norvane_msi

rm -rf dist
mkdir dist
cp "$debs"/norvane_"$version"_*.deb "$debs"/norvane-devsim_"$version"_*.deb \
    "$windows"/packaging/*.zip "$windows"/packaging/*.msi dist/
(cd dist && sha256sum -- * >SHA256SUMS)
echo "== dist/"
cat dist/SHA256SUMS
