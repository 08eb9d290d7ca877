#!/usr/bin/env bash
# Builds the Windows program on Linux with mingw-w64:
#   build-winhost/  a native build of the generated resources (string table, demo image) and
#                   of the device simulator the Windows tests use;
#   build-win32/    norvane.exe and norvane-console.exe, 32-bit (i686), release: the programs
#                   we ship;
#   build-win64/    both, 64-bit (x86_64), from the same sources, for the tests under Wine.
# Extra arguments go to every cross configure (for example -DNORVANE_FIRMWARE=/path/image.bin).
set -euo pipefail
cd "$(dirname "$0")/.."
# The native build of the host tools configures the whole project, the GTK program included.
scripts/deps.sh build app windows

jobs=2  # others build on this machine too

echo "== host resources (build-winhost)"
cmake -S . -B build-winhost -G Ninja -DCMAKE_BUILD_TYPE=Release -DNORVANE_BUILD_TESTS=OFF \
    >/dev/null
cmake --build build-winhost -j"$jobs" --target norvane_resources norvane-devsim

cross() {
    local dir=$1 toolchain=$2 type=$3
    shift 3
    echo "== $dir"
    # The toolchain is fixed at the first configure; naming it again only draws a warning.
    local toolchain_arg=(--toolchain "cmake/toolchains/$toolchain.cmake")
    [ ! -f "$dir/CMakeCache.txt" ] || toolchain_arg=()
    cmake -S . -B "$dir" -G Ninja "${toolchain_arg[@]}" \
        -DCMAKE_BUILD_TYPE="$type" -DNORVANE_HOST_BUILD_DIR="$PWD/build-winhost" "$@" >/dev/null
    cmake --build "$dir" -j"$jobs" --target norvane norvane-console
}

cross build-win32 mingw-i686 Release "$@"
cross build-win64 mingw-x86_64 RelWithDebInfo "$@"
echo "Built: build-win32/app/win32/norvane.exe and norvane-console.exe (i686)," \
    "build-win64/app/win32/norvane.exe and norvane-console.exe (x86_64)"
