#!/usr/bin/env bash
# Builds the Windows program (scripts/build-windows.sh), inspects the shipped 32-bit exe without
# running it, and runs the 64-bit build under Wine on an Xvfb display against the device
# simulator. Ends with "N passed, N failed"; exits non-zero when anything failed.
set -uo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS

scripts/build-windows.sh -DNORVANE_WERROR=ON || exit 1

# The same program carrying a small OS image, for the block-CRC run.
echo "== build-win64-os"
mkdir -p build-win64-os
tests/windows/make-os-image.sh build-win64-os/os-image.bin || exit 1
toolchain_arg=(--toolchain cmake/toolchains/mingw-x86_64.cmake)
[ ! -f build-win64-os/CMakeCache.txt ] || toolchain_arg=()
cmake -S . -B build-win64-os -G Ninja "${toolchain_arg[@]}" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORVANE_HOST_BUILD_DIR="$PWD/build-winhost" \
    -DNORVANE_FIRMWARE="$PWD/build-win64-os/os-image.bin" -DNORVANE_WERROR=ON >/dev/null || exit 1
cmake --build build-win64-os -j2 --target norvane norvane-console || exit 1
# The serial back end's own checks, on the x86_64 build's libraries.
x86_64-w64-mingw32-g++-posix -std=c++20 -O1 -Wall -Wextra -Werror -I. \
    tests/windows/CommPortWineTest.cpp build-win64/serial/libnorvane_serial.a \
    build-win64/serial/libnorvane_wire_time.a build-win64/platform/libnorvane_system.a \
    build-win64/platform/libnorvane_threads_win32.a -static -o build-win64/CommPortWineTest.exe ||
    exit 1
built=$SECONDS

passed=0
failed=0
echo "== the shipped exe (i686), inspected"
source tests/windows/inspect-exe.sh build-win32/app/win32/norvane.exe \
    build-winhost/res/strings-1252.bin build-winhost/res/demo_firmware.bin
source tests/windows/inspect-exe.sh build-win32/app/win32/norvane-console.exe \
    build-winhost/res/strings.bin build-winhost/res/demo_firmware.bin console

echo "== under Wine (x86_64)"
WORK=$PWD/build-win64/winetest
ARTEFACTS=$PWD/build-win64/artefacts
DEVSIM=$PWD/build-winhost/tools/simulator/norvane-devsim
EXE_TV=$PWD/build-win64/app/win32/norvane.exe
EXE_OS=$PWD/build-win64-os/app/win32/norvane.exe
CONSOLE_OS=$PWD/build-win64-os/app/win32/norvane-console.exe
COMMPORT_TEST=$PWD/build-win64/CommPortWineTest.exe
PROJECT_VERSION=$(sed -n 's/^project(Norvane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
source tests/windows/wine-runs.sh
run_wine_tests

echo "Screenshots: $ARTEFACTS"
echo "Build $((built - started)) s, tests $((SECONDS - built)) s"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
