#!/usr/bin/env bash
# Runs the real-time tests again and again on a loaded machine, to find the ones that depend on
# timing: each real-time label, ROUNDS times (default 5), in the builds the test command makes
# (build/normal, build/asan-ubsan, build/tsan, configured as scripts/test.sh configures them),
# with two busy processes beside them the whole time. Reports every label and round, and ends
# with the tests that failed. Not part of the test command: a run takes about an hour.
#   ROUNDS=N            rounds per label (default 5)
#   BUILDS="normal ..." the builds to soak (default: normal asan-ubsan tsan)
#   LOAD=N              busy processes beside the tests (default 2)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
export LC_ALL=C.UTF-8

rounds=${ROUNDS:-5}
builds=${BUILDS:-normal asan-ubsan tsan}
jobs=$(nproc)
out=build/soak
mkdir -p "$out"
report="$out/report.txt"

# configure <name>: as scripts/test.sh does; prints the labels soaked there (test.sh runs the
# window, paced-line and guest tests in the normal build only).
configure() {
    case $1 in
        normal)
            cmake -S . -B build/normal -G Ninja -DNORVANE_WERROR=ON \
                -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORVANE_BUILD_TESTS=ON >/dev/null
            cmake --build build/normal -j"$jobs" >/dev/null
            echo "serial simulator app engine wire gui kernel" ;;
        asan-ubsan)
            cmake -S . -B build/asan-ubsan -G Ninja -DNORVANE_WERROR=ON -DCMAKE_BUILD_TYPE=Debug \
                -DNORVANE_SANITIZE=address,undefined >/dev/null
            cmake --build build/asan-ubsan -j"$jobs" --target tests_nongui >/dev/null
            echo "serial simulator app engine" ;;
        tsan)
            cmake -S . -B build/tsan -G Ninja -DNORVANE_WERROR=ON -DCMAKE_BUILD_TYPE=Debug \
                -DNORVANE_SANITIZE=thread >/dev/null
            cmake --build build/tsan -j"$jobs" \
                --target tests_serial tests_simulator tests_engine tests_app >/dev/null
            echo "serial simulator app engine" ;;
        *) echo "unknown build $1" >&2; exit 64 ;;
    esac
}

declare -A labels
for build in $builds; do
    echo "== $build build"
    labels[$build]=$(configure "$build")
done

# The load: busy processes that take a processor each, as other work on a developer's machine.
busy=()
stop_load() { ((${#busy[@]} == 0)) || kill "${busy[@]}" 2>/dev/null || true; }
trap stop_load EXIT
for _ in $(seq "${LOAD:-2}"); do
    yes >/dev/null &
    busy+=($!)
done

: >"$report"
echo "soak: $rounds rounds, load ${LOAD:-2}, $(nproc) processors, $(date -u +%FT%TZ)" | tee -a "$report"
failures=0
for round in $(seq "$rounds"); do
    for build in $builds; do
        for label in ${labels[$build]}; do
            log="$out/$build-$label-$round.log"
            # The non-window builds leave out the programs of label gui (as test.sh does).
            started=$SECONDS
            if ctest --test-dir "build/$build" --output-on-failure -j"$jobs" -L "^$label\$" \
                -E "_NOT_BUILT\$" >"$log" 2>&1; then
                result=ok
            else
                result=FAILED
                failures=$((failures + 1))
            fi
            summary=$(grep -Eo '[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" \
                || echo "no tests")
            printf '%-11s %-9s round %d: %-6s %s (%d s)\n' "$build" "$label" "$round" "$result" \
                "$summary" $((SECONDS - started)) | tee -a "$report"
            grep -E '^\s+[0-9]+ - .*\((Failed|Timeout|SEGFAULT|Subprocess aborted|Exception)' \
                "$log" | sed "s/^/    /" | tee -a "$report" || true
        done
    done
done
echo "soak: $failures label runs failed" | tee -a "$report"
((failures == 0))
