#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build/fuzz) and runs them all at once for a short
# while (FUZZ_SECONDS, 20 by default) from their seed corpora. A crash, a leak or a failed
# check fails that target and the script. The last line counts the targets: "N passed, N failed".
# A longer run of one target, for example:
#   build/fuzz/fuzz/fuzz_reply_scanner -runs=10000000 -jobs=1 fuzz/corpus/fuzz_reply_scanner
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh build fuzz || exit 1

seconds=${FUZZ_SECONDS:-20}
build=build/fuzz
targets=(fuzz_reply_scanner fuzz_string_table fuzz_image_checks fuzz_image_regions)

echo "== fuzz build"
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DNORVANE_FUZZ=ON -DNORVANE_BUILD_TESTS=OFF -DNORVANE_WERROR=ON >/dev/null || exit 1
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" || exit 1

# All targets run side by side: the smoke takes one target's time, not the sum.
declare -A works pids
for target in "${targets[@]}"; do
    echo "== $target (${seconds} s)"
    # Seeds come from the source tree (read only); new inputs and any crash go to scratch.
    work=$(mktemp -d)
    works[$target]=$work
    seeds=()
    [ -d "fuzz/corpus/$target" ] && seeds=("$root/fuzz/corpus/$target")
    (cd "$work" && exec "$root/$build/fuzz/$target" -max_total_time="$seconds" \
        -print_final_stats=1 "$work" "${seeds[@]}") >"$work/log" 2>&1 &
    pids[$target]=$!
done

passed=0
failed=0
for target in "${targets[@]}"; do
    work=${works[$target]}
    wait "${pids[$target]}"
    status=$?
    echo "== $target"
    grep -E 'stat::number_of_executed_units|==ERROR|SUMMARY|Test unit written|: [a-z].*$' \
        "$work/log" | grep -vE '^(INFO|#)' | tail -20
    if [ "$status" -ne 0 ]; then
        echo "$target: FAILED with status $status; log and inputs kept in $work"
        failed=$((failed + 1))
    else
        rm -rf "$work"
        passed=$((passed + 1))
    fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
