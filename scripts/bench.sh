#!/usr/bin/env bash
# Builds the benchmark programs and runs them all over the paced simulated line, then writes
# bench/RESULTS.md with the machine, the date, the load and every figure. Benchmarks print
# figures; they are not tests and fail nothing.
#   REPEAT=N   runs of each line benchmark (default 3), for the spread of the figures
#   NORVANE_BENCH_BUILD=dir   build folder (default build/bench)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${NORVANE_BENCH_BUILD:-$root/build/bench}"
repeat="${REPEAT:-3}"
out="$root/bench/RESULTS.md"

"$root/scripts/deps.sh" build app bench
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORVANE_BENCH=ON \
    -DNORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j 2 --target norvane-bench norvane-station-bench >/dev/null

# No benchmark ever touches a real port: every one sets NORVANE_COM1..8 itself, and these
# empty values cover anything started before it does.
for n in 1 2 3 4 5 6 7 8; do export "NORVANE_COM$n="; done

bench="$build/bench/norvane-bench"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
load_before="$(uptime)"
busy_before="$(ps -eo pcpu,comm --sort=-pcpu --no-headers | head -6 | awk '{printf "%s %s%%; ", $2, $1}')"

run() {  # name, arguments...: appends the tables to $work/name.md, the figures to figures.txt
    local name="$1"
    shift
    echo "running $name $*" >&2
    local program="$bench"
    if [ "$1" = station ]; then
        program="$build/bench/norvane-station-bench"
        shift
    fi
    if ! "$program" "$@" >>"$work/$name.md" 2>"$work/err.txt"; then
        echo "($name $* ended with status $?)" >>"$work/$name.md"
    fi
    grep '^FIGURE ' "$work/err.txt" >>"$work/figures.txt" || true
}

for ((i = 1; i <= repeat; i++)); do
    run "checksum-$i" checksum
    run "blockcrc-$i" blockcrc
    run "xmodem-$i" xmodem
    run "station-$i" station
done
run xmodem1k xmodem 1k
run search search
run window window
run virtual virtual
# The Windows program's search under Wine, when the Windows build is there.
wine_exe="$root/build-win64/app/win32/norvane.exe"
wine_devsim="$root/build-winhost/tools/simulator/norvane-devsim"
if [ -x "$wine_devsim" ] && [ -f "$wine_exe" ] && command -v wine >/dev/null; then
    echo "running wine-search" >&2
    "$root/bench/wine-search.sh" "$wine_exe" "$wine_devsim" wine "$work/wine" \
        >"$work/wine.md" 2>"$work/err.txt" || echo "(wine-search ended with status $?)" >>"$work/wine.md"
    grep '^FIGURE ' "$work/err.txt" >>"$work/figures.txt" || true
fi
load_after="$(uptime)"

{
    echo "# Benchmark results"
    echo
    echo "Written by \`scripts/bench.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC')."
    echo
    echo "| Machine | |"
    echo "|---|---|"
    echo "| CPU | $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores |"
    echo "| kernel | $(uname -srm) |"
    echo "| commit | $(git -C "$root" describe --always --dirty 2>/dev/null || echo unknown) |"
    echo "| load before | ${load_before#*load average: } |"
    echo "| load after | ${load_after#*load average: } |"
    echo "| busiest processes at the start | ${busy_before} |"
    echo
    echo "The line is \`norvane-devsim --pace\`: a pseudo-terminal whose device side takes the"
    echo "host's bytes at 10 bits a byte at the speed the host has set, and paces its replies"
    echo "the same way (erase 800 ms, 2 ms per block, 20 ms to PROGRAMMED)."
    echo
    echo "## Spread over $repeat runs (min / median / max)"
    echo
    echo "| Figure | min | median | max | runs |"
    echo "|---|---|---|---|---|"
    awk '{print $2, $3}' "$work/figures.txt" | sort -k1,1 -k2,2g | awk '
        function flush() {
            if (name != "") {
                printf "| %s | %.3f | %.3f | %.3f | %d |\n", name, v[1], v[int((n + 1) / 2)], v[n], n
            }
        }
        $1 != name { flush(); name = $1; n = 0 }
        { v[++n] = $2 }
        END { flush() }'
    echo
    median() { grep "^FIGURE $1 " "$work/figures.txt" | awk '{print $3}' | sort -g |
        awk '{v[++n] = $1} END {if (n) print v[int((n + 1) / 2)]; else print 0}'; }
    x="$(median xmodem-crc-s)" w="$(median blockcrc-whole-run-s)" s="$(median blockcrc-streams-s)"
    echo "XMODEM-CRC against the block-CRC protocol, same 320 KiB, same paced line (medians):"
    echo "sz/rz $x s; Norvane's whole run $w s (search, two erases and verification included),"
    echo "its two streams alone $s s. XMODEM takes $(awk -v a="$x" -v b="$w" 'BEGIN {printf "%.2f", a / b}')x"
    echo "Norvane's whole run and $(awk -v a="$x" -v b="$s" 'BEGIN {printf "%.2f", a / b}')x its streams."
    echo
    echo "## First run of each benchmark"
    echo
    cat "$work/checksum-1.md" "$work/blockcrc-1.md"
    echo "### XMODEM (lrzsz) over the same paced line at 115200, the same 320 KiB"
    echo
    echo "| Transfer | time to the receiver's end | wire time of its frames | efficiency | notes (status -1: still running) |"
    echo "|---|---|---|---|---|"
    cat "$work"/xmodem-*.md "$work/xmodem1k.md"
    echo
    cat "$work/search.md" "$work/window.md" "$work/virtual.md" "$work/station-1.md"
    if [ -s "$work/wine.md" ]; then
        echo "### The Windows program under Wine, eight idle ports"
        echo
        echo "| Figure | Value |"
        echo "|---|---|"
        cat "$work/wine.md"
        echo
    fi
} >"$out"
echo "wrote $out" >&2
