#!/usr/bin/env bash
# Builds and runs every test, warnings as errors: once in a normal build, once under
# AddressSanitizer with UndefinedBehaviorSanitizer, the threaded parts once more under
# ThreadSanitizer, the release files (the Debian packages, built with their own test suite,
# the Windows zip and installer), then the Windows build (cross-built, tested under Wine) and a
# short run of every fuzz target.
# Tests that drive the real window (label gui) run in the normal build only: the toolkit
# itself is not sanitizer-clean. The whole jobs over the paced line (label wire, about a minute
# of real time) run there only too: the sanitizer suites cover the same code with the shorter
# real-time tests. So do the qemu guest's (label kernel): the same programs, slowly.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
# The program speaks the user's language; the tests check the first one (English).
export LC_ALL=C.UTF-8

# Formatting first: it takes a second and drift fails the run.
echo "== format"
scripts/check-format.sh

jobs=$(nproc)

# suite <name> <labels to run, empty for all> <labels to leave out> <build targets, empty for
# all> <cmake options...>
suite() {
    local name=$1 include=$2 exclude=$3 targets=$4
    shift 4
    echo "== $name build"
    cmake -S . -B "build/$name" -G Ninja -DNORVANE_WERROR=ON "$@" >/dev/null
    cmake --build "build/$name" -j"$jobs" ${targets:+--target $targets}
    echo "== $name tests"
    # Programs a restricted build leaves out would show up as "<program>_NOT_BUILT".
    ctest --test-dir "build/$name" --output-on-failure -j"$jobs" \
        ${include:+-L "$include"} ${exclude:+-LE "$exclude"} ${targets:+-E "_NOT_BUILT\$"}
}

# Tests on explicitly: ./scripts/run.sh may have configured build/normal without them.
suite normal "" "" "" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORVANE_BUILD_TESTS=ON
suite asan-ubsan "" "gui|wire|kernel" "tests_nongui" \
    -DCMAKE_BUILD_TYPE=Debug -DNORVANE_SANITIZE=address,undefined
suite tsan "serial|simulator|engine|app" "gui" "tests_serial tests_simulator tests_engine tests_app" \
    -DCMAKE_BUILD_TYPE=Debug -DNORVANE_SANITIZE=thread

# The release files (scripts/package.sh), then checked (label package): the packages installed
# into a throwaway Debian root and tried there, their files, lintian, the zip and the installer.
# The packages' own run of the suite (dh_auto_test) is for a builder that has not just run it:
# here the three builds above have, so the packages are built as with nocheck.
DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:+$DEB_BUILD_OPTIONS }nocheck" scripts/package.sh -DNORVANE_WERROR=ON
suite release package "" tests_package -DCMAKE_BUILD_TYPE=Release -DNORVANE_PACKAGE_TESTS=ON

# The Windows program: the shipped 32-bit exe inspected, the 64-bit one run under Wine.
echo "== windows"
scripts/test-windows.sh

# A short run of every fuzz target (clang, libFuzzer).
echo "== fuzz smoke"
scripts/fuzz-smoke.sh
