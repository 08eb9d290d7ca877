#!/usr/bin/env bash
# Builds the program and runs it against the bundled device simulator: norvane-devsim plays a
# TV device on a pseudo-terminal, COM1 points at it and COM2..COM8 point at nothing, so no real
# serial port is ever opened. The window opens on your display; without one it runs under Xvfb,
# screenshots go to build/normal/artifacts/ and the result box is answered by itself.
# The script's exit status is the program's (README, "Exit status").
set -euo pipefail
cd "$(dirname "$0")/.."
# Only what building and running the program need; ./scripts/test.sh installs the rest.
scripts/deps.sh build app

build=build/normal
# The tests are built along once their packages are there (after ./scripts/test.sh).
tests=OFF
scripts/deps.sh --check tests && tests=ON
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORVANE_BUILD_TESTS="$tests" \
    >/dev/null
cmake --build "$build" -j"$(nproc)" --target norvane norvane-devsim

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

# wait_for_line <file> <pattern> <seconds>: the first matching line, or failure.
wait_for_line() {
    local deadline=$((SECONDS + $3))
    while ((SECONDS < deadline)); do
        if [ -f "$1" ] && grep -m1 -E "$2" "$1"; then
            return 0
        fi
        sleep 0.1
    done
    return 1
}

"$build/tools/simulator/norvane-devsim" --kind TV --serial 1234567 \
    >"$work/devsim.out" 2>"$work/devsim.err" &
pids+=($!)
if ! pty=$(wait_for_line "$work/devsim.out" '^/' 10); then
    echo "run.sh: the simulator did not start:" >&2
    cat "$work/devsim.err" >&2
    exit 1
fi
echo "Simulated TV device on $pty (COM1)"
export NORVANE_COM1="$pty"
for n in 2 3 4 5 6 7 8; do
    export "NORVANE_COM$n="
done

status=0
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    "$build/app/norvane" || status=$?
else
    echo "No display: running under Xvfb"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
    pids+=($!)
    display=$(wait_for_line "$work/display" '^[0-9]+$' 20) || {
        echo "run.sh: Xvfb did not start" >&2
        exit 1
    }
    export DISPLAY=":$display" NO_AT_BRIDGE=1
    export NORVANE_UI_TRACE="$work/trace"
    shots="$build/artifacts"
    mkdir -p "$shots"
    "$build/app/norvane" &
    app=$!
    if wait_for_line "$NORVANE_UI_TRACE" "^label device " 60 >/dev/null; then
        main=$(grep -m1 '^window ' "$NORVANE_UI_TRACE" | cut -d' ' -f2)
        import -window "$main" "$shots/run-main-window.png" || true
    fi
    if box=$(wait_for_line "$NORVANE_UI_TRACE" '^message-window ' 120); then
        sleep 0.3
        import -window root "$shots/run-result.png" || true
        grep -m1 '^message ' "$NORVANE_UI_TRACE" | sed 's/^message /Result: /'
        xdotool windowfocus --sync "${box#message-window }" key Return
    fi
    wait "$app" || status=$?
    echo "Screenshots: $shots/run-main-window.png, $shots/run-result.png"
fi
echo "norvane exited with status $status"
exit "$status"
