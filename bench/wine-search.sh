#!/usr/bin/env bash
# The Windows program's search under Wine: norvane.exe (x86_64) with COM1..COM8 on eight idle
# pseudo-terminals (norvane-devsim devices that do not greet), CPU over 20 s of its search, the
# program's own process and the Wine server apart. Prints a Markdown table and FIGURE lines.
#   bench/wine-search.sh <norvane.exe> <native norvane-devsim> [label] [work folder]
# A benchmark, not a test: nothing fails when a figure is poor.
set -uo pipefail
exe=$(realpath "$1")
devsim=$(realpath "$2")
label=${3:-wine}
work=${4:-$(dirname "$exe")/../../benchwine}
mkdir -p "$work"
work=$(realpath "$work")

export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEARCH=win64 LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml="
pids=()
xvfb=""
cleanup() {
    [ ${#pids[@]} -eq 0 ] || kill "${pids[@]}" 2>/dev/null
    wineserver -k 2>/dev/null
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null
}
trap cleanup EXIT

rm -f "$work/displayfd"
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$work/displayfd" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do
    [ -s "$work/displayfd" ] && break
    sleep 0.1
done
export DISPLAY=":$(head -1 "$work/displayfd")"

# Eight idle lines; every other COMn leads nowhere, so no port of this machine is opened.
for n in $(seq 1 8); do
    "$devsim" --kind TV --first-greeting-ms 100000000 >"$work/devsim$n.out" 2>/dev/null &
    pids+=($!)
done
for n in $(seq 1 8); do
    for _ in $(seq 100); do
        [ -s "$work/devsim$n.out" ] && break
        sleep 0.05
    done
    ln -sfn "$(head -1 "$work/devsim$n.out")" "$work/com$n"
done
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wine wineboot -i >/dev/null 2>&1
    wineserver -w
fi
{
    echo REGEDIT4
    echo
    echo '[HKEY_LOCAL_MACHINE\Software\Wine\Ports]'
    for n in $(seq 1 8); do echo "\"COM$n\"=\"$work/com$n\""; done
    for n in $(seq 9 32); do echo "\"COM$n\"=\"\""; done
} >"$work/ports.reg"
wine regedit /S "$work/ports.reg" >/dev/null 2>&1
wineserver -w
wine cmd /c exit >/dev/null 2>&1
wineserver -w
for n in $(seq 1 8); do
    target=$(readlink "$WINEPREFIX/dosdevices/com$n")
    if [ "$target" != "$work/com$n" ]; then
        echo "com$n leads to '$target', not to its idle line: not measured" >&2
        exit 1
    fi
done

# CPU clock ticks (user + system) of the processes whose command line holds $1; with `main`,
# of their first threads alone (the program's window thread).
ticks_of() {
    local pid total=0 stat
    for pid in $(pgrep -f -- "$1"); do
        stat=/proc/$pid/stat
        [ "${2:-}" != main ] || stat=/proc/$pid/task/$pid/stat
        total=$((total + $(awk '{print $14 + $15}' "$stat" 2>/dev/null || echo 0)))
    done
    echo "$total"
}

trace=$work/trace.txt
rm -f "$trace"
NORVANE_UI_TRACE=$trace wine "$exe" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 300); do
    grep -q "^window shown" "$trace" 2>/dev/null && break
    sleep 0.1
done
sleep 2  # the search is under way
hz=$(getconf CLK_TCK)
seconds=20
program0=$(ticks_of "$exe") window0=$(ticks_of "$exe" main) server0=$(ticks_of wineserver)
sleep "$seconds"
program=$(($(ticks_of "$exe") - program0)) window=$(($(ticks_of "$exe" main) - window0))
server=$(($(ticks_of wineserver) - server0))
share() { awk -v t="$1" -v hz="$hz" -v s="$seconds" 'BEGIN {printf "%.2f", 100 * t / hz / s}'; }
echo "| $label: CPU over $seconds s of search, % of one core: the program (of it its window thread) / the Wine server | $(share "$program") ($(share "$window")) / $(share "$server") |"
echo "FIGURE $label-search-program-cpu-pct $(share "$program")" >&2
echo "FIGURE $label-search-window-thread-cpu-pct $(share "$window")" >&2
echo "FIGURE $label-search-wineserver-cpu-pct $(share "$server")" >&2
