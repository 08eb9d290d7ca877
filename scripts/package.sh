#!/usr/bin/env bash
# Makes the release files under dist/ from the checked-out commit:
#   norvane_<version>_<arch>.deb  the Debian package, from a Linux Release build (build/release)
#   norvane-<version>-win32.zip   the i686 norvane.exe and a README.txt (build/release-win32)
#   SHA256SUMS                    the sums of both, also printed
# Two runs from the same commit make the same bytes, wherever the tree lies: every file of the
# release takes the commit's time (SOURCE_DATE_EPOCH, when set, instead), and paths are mapped
# out of the binaries (CMakeLists.txt). Extra arguments go to both configures, for example
# -DNORVANE_FIRMWARE=/path/to/image.bin.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build app windows package

jobs=${JOBS:-2}  # the machine is shared
linux=build/release
windows=build/release-win32
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export SOURCE_DATE_EPOCH

echo "== Linux Release ($linux)"
cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$linux" -j"$jobs" --target norvane_package_contents
rm -f "$linux"/*.deb
(cd "$linux" && cpack -G DEB >/dev/null)

echo "== Windows i686 Release ($windows)"
# The toolchain is fixed at the first configure; naming it again only draws a warning.
toolchain_arg=(--toolchain cmake/toolchains/mingw-i686.cmake)
[ ! -f "$windows/CMakeCache.txt" ] || toolchain_arg=()
cmake -S . -B "$windows" -G Ninja "${toolchain_arg[@]}" -DCMAKE_BUILD_TYPE=Release \
    -DNORVANE_HOST_BUILD_DIR="$PWD/$linux" "$@" >/dev/null
cmake --build "$windows" -j"$jobs" --target norvane_zip

rm -rf dist
mkdir dist
cp "$linux"/*.deb "$windows"/packaging/*.zip dist/
(cd dist && sha256sum -- *.deb *.zip >SHA256SUMS)
echo "== dist/"
cat dist/SHA256SUMS
