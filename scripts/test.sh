#!/usr/bin/env bash
# Builds and runs every test: once in a normal build, once under AddressSanitizer with
# UndefinedBehaviorSanitizer, and the threaded tests once more under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

jobs=$(nproc)

suite() {
    local name=$1 labels=$2
    shift 2
    echo "== $name build"
    cmake -S . -B "build/$name" -G Ninja "$@" >/dev/null
    cmake --build "build/$name" -j"$jobs"
    echo "== $name tests"
    ctest --test-dir "build/$name" --output-on-failure -j"$jobs" ${labels:+-L "$labels"}
}

suite normal "" -DCMAKE_BUILD_TYPE=RelWithDebInfo
suite asan-ubsan "" -DCMAKE_BUILD_TYPE=Debug -DNORVANE_SANITIZE=address,undefined
# The parts with threads of their own: the serial link, the simulator, the engine on them.
suite tsan "serial|simulator|engine" -DCMAKE_BUILD_TYPE=Debug -DNORVANE_SANITIZE=thread
