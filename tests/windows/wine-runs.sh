# The Windows program under Wine (x86_64 build) against the device simulator, on an Xvfb
# display. Sourced by scripts/test-windows.sh, which sets:
#   WORK     scratch folder (Wine prefix, traces, logs)
#   ARTEFACTS  where the screenshots go
#   DEVSIM   the native norvane-devsim
#   EXE_TV   norvane.exe carrying the demo TV image
#   EXE_OS   norvane.exe carrying a small OS image
#   CONSOLE_OS  norvane-console.exe carrying the same image
#   COMMPORT_TEST  CommPortWineTest.exe
#
# Every COMn of the prefix is mapped before the program runs: COM1 and COM12 to $WORK/com1 and
# $WORK/com12, links each test points at the simulator's pseudo-terminal (or at nothing), the
# other COMn up to COM32 to nothing. Wine lists every one of them in SERIALCOMM, the list the
# program searches, and also the serial devices it finds on this machine (/dev/ttyS0, the
# console, as COM33): the list is cut down to COM1 and COM12 before any program runs, so that
# no test opens a /dev/ttyS* device.
#
# The program writes what its window shows to NORVANE_UI_TRACE; the tests read the result and
# exit status from there and dismiss the result box with Enter, as a user would.

here=$(dirname "${BASH_SOURCE[0]}")
source "$here/lib.sh"

export WINEPREFIX=$WORK/prefix
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
export WINEARCH=win64
# wait_for_file <file> <seconds>: true as soon as <file> has something in it; false once
# <seconds> have passed without (an upper bound for a busy machine).
wait_for_file() {
    local end=$((SECONDS + $2))
    until [ -s "$1" ]; do
        ((SECONDS < end)) || return 1
        sleep 0.05
    done
}

# Wine takes the user's language from the locale; the checks expect the first one (English).
export LC_ALL=C.UTF-8

xvfb_pid=""
devsim_pid=""
app_pid=""

wine_cleanup() {
    [ -z "$app_pid" ] || kill "$app_pid" 2>/dev/null
    [ -z "$devsim_pid" ] || kill "$devsim_pid" 2>/dev/null
    stop_bed_devices
    wineserver -k 2>/dev/null
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null
    app_pid="" devsim_pid="" xvfb_pid=""
}

start_display() {
    rm -f "$WORK/displayfd"
    Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$WORK/displayfd" \
        2>"$WORK/xvfb.log" &
    xvfb_pid=$!
    wait_for_file "$WORK/displayfd" 20 || return 1
    export DISPLAY=":$(head -1 "$WORK/displayfd")"
}

# The prefix once (wineboot takes a while the first time), then the port map and a virtual
# desktop (no window manager runs on the display).
prepare_prefix() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wine wineboot -i >"$WORK/wineboot.log" 2>&1 || return 1
        wineserver -w
    fi
    {
        echo REGEDIT4
        echo
        echo '[HKEY_LOCAL_MACHINE\Software\Wine\Ports]'
        for n in $(seq 1 32); do
            case $n in
                1 | 12) echo "\"COM$n\"=\"$WORK/com$n\"" ;;
                *) echo "\"COM$n\"=\"\"" ;;
            esac
        done
        echo
        echo '[HKEY_CURRENT_USER\Software\Wine\Explorer]'
        echo '"Desktop"="Default"'
        echo
        echo '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]'
        echo '"Default"="640x480"'
    } >"$WORK/ports.reg"
    wine regedit /S "$WORK/ports.reg" >>"$WORK/wineboot.log" 2>&1 || return 1
    wineserver -w
    # A fresh start applies the map to the prefix's device links.
    wine cmd /c exit >>"$WORK/wineboot.log" 2>&1
    wineserver -w
}

# COM1..COM12 either lead to our links or to nothing: never to a device of this machine.
ports_mapped_safely() {
    local n target ok=0
    for n in $(seq 1 12); do
        target=$(readlink "$WINEPREFIX/dosdevices/com$n" 2>/dev/null || true)
        if [ -n "$target" ] && [ "$target" != "$WORK/com$n" ]; then
            echo "  com$n -> $target" >&2
            ok=1
        fi
    done
    [ "$(readlink "$WINEPREFIX/dosdevices/com1")" = "$WORK/com1" ] || ok=1
    [ "$(readlink "$WINEPREFIX/dosdevices/com12")" = "$WORK/com12" ] || ok=1
    return $ok
}

serialcomm='HKLM\HARDWARE\DEVICEMAP\SERIALCOMM'
# The system's list of ports as the tests mean it: COM1 and COM12 only. Wine fills the list when
# its session starts, so the session is kept (wineserver -p) and its list cut down once Wine has
# filled it; a session started again (after wineserver -k) is cut down again.
list_test_ports() {
    wineserver -p 2>/dev/null  # an error where it runs already
    local _ listed=""
    for _ in $(seq 100); do
        listed=$(wine reg query "$serialcomm" 2>/dev/null | tr -d '\r')
        [[ $listed == *COM12* ]] && break
        sleep 0.1
    done
    wine reg delete "$serialcomm" /va /f >/dev/null 2>&1
    wine reg add "$serialcomm" /v '\Device\Serial0' /d COM1 /f >/dev/null 2>&1
    wine reg add "$serialcomm" /v '\Device\Serial11' /d COM12 /f >/dev/null 2>&1
    listed=$(wine reg query "$serialcomm" 2>/dev/null | tr -d '\r' |
        awk '$2 == "REG_SZ" { print $3 }' | xargs)
    if [ "$listed" != "COM1 COM12" ]; then
        echo "  the system lists: $listed" >&2
        return 1
    fi
}

# start_device [--on <link>] <devsim options...>: <link> (com1 unless given) leads to a new
# simulator.
start_device() {
    local link=com1
    if [ "$1" = --on ]; then
        link=$2
        shift 2
    fi
    # Gone before the simulator starts: the path read below is never an earlier one's.
    rm -f "$WORK/devsim.out"
    "$DEVSIM" "$@" >"$WORK/devsim.out" 2>"$WORK/devsim.err" &
    devsim_pid=$!
    wait_for_file "$WORK/devsim.out" 20
    local pty
    pty=$(head -1 "$WORK/devsim.out")
    [ -c "$pty" ] || return 1
    ln -sfn "$pty" "$WORK/$link"
}

# start_device_on <link> <devsim options...>: $WORK/<link> leads to a simulator of its own, for
# the tests with a device on more than one port.
bed_pids=()
start_device_on() {
    local link=$1 out=$WORK/devsim-$1.out pty
    shift
    rm -f "$out"
    "$DEVSIM" "$@" >"$out" 2>"$WORK/devsim-$link.err" &
    bed_pids+=($!)
    wait_for_file "$out" 20
    pty=$(head -1 "$out")
    [ -c "$pty" ] || return 1
    ln -sfn "$pty" "$WORK/$link"
}

stop_bed_devices() {
    local pid
    for pid in "${bed_pids[@]}"; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    bed_pids=()
}

# Both links lead to nothing.
no_device() {
    ln -sfn "$WORK/no-such-device" "$WORK/com1"
    ln -sfn "$WORK/no-such-device" "$WORK/com12"
}

# Whatever a failed test left running goes before the next one starts.
stop_app() {
    if [ -n "$app_pid" ]; then
        kill "$app_pid" 2>/dev/null
        wait "$app_pid" 2>/dev/null
        app_pid=""
        wineserver -k 2>/dev/null
        wineserver -w 2>/dev/null
    fi
}

stop_device() {
    [ -z "$devsim_pid" ] || kill "$devsim_pid" 2>/dev/null
    [ -z "$devsim_pid" ] || wait "$devsim_pid" 2>/dev/null
    devsim_pid=""
}

# start_app <exe> <name>: runs the program with its trace in $trace.
start_app() {
    trace=$WORK/$2.trace
    rm -f "$trace"
    list_test_ports || return 1
    NORVANE_UI_TRACE=$trace timeout 180 wine "$1" >"$WORK/$2.wine.log" 2>&1 &
    app_pid=$!
    wait_for "^window shown" 60 || return 1
    # Under Xvfb nothing activates a window: a click on the main window does, so that keys
    # reach it. The window opens centred on the desktop (640 x 480); its middle is a label.
    local desktop=""
    # The search can trip over a window that goes while it looks (BadWindow): look again.
    for _ in $(seq 50); do
        desktop=$(xdotool search --name "Wine desktop" 2>/dev/null | head -1)
        [ -n "$desktop" ] && break
        sleep 0.1
    done
    [ -n "$desktop" ] || return 1
    xdotool windowfocus --sync "$desktop"
    xdotool mousemove --window "$desktop" 320 240 click 1
}

# wait_for <pattern> <seconds>: until a line of the trace matches.
wait_for() {
    local tenths=$(($2 * 10))
    for _ in $(seq "$tenths"); do
        grep -Eq "$1" "$trace" 2>/dev/null && return 0
        if ! kill -0 "$app_pid" 2>/dev/null; then
            grep -Eq "$1" "$trace" 2>/dev/null
            return
        fi
        sleep 0.1
    done
    echo "  no '$1' in the trace after $2 s" >&2
    return 1
}

# The program's exit status, once it has ended (Wine keeps the low 8 bits).
end_app() {
    status=""
    wait "$app_pid"
    status=$?
    app_pid=""
}

# press_until <pattern> <keys...>: sends the keys, and again every second or so (at most ten
# times), until a line of the trace matches. Wine activates a window, or opens the box the keys
# are meant for, a moment after the trace says so (the program traces a box before it opens
# it): keys sent too early reach the main window, where Enter, F1 and the window menu's keys
# change nothing, and are lost.
press_until() {
    local pattern=$1
    shift
    for _ in $(seq 10); do
        xdotool key "$@"
        for _ in $(seq 10); do
            grep -Eq "$pattern" "$trace" 2>/dev/null && return 0
            sleep 0.1
        done
    done
    echo "  no '$pattern' in the trace after pressing $*" >&2
    return 1
}

# Dismisses the result box with Enter and collects the exit status.
dismiss_result() {
    wait_for "^message " "${1:-120}" || return 1
    press_until "^message-closed" Return || return 1
    end_app
}

# The trace as text: the program writes it with Windows line ends. Searched without grep -q,
# which would leave tr writing into a closed pipe (a failure under pipefail) once the trace
# outgrows one buffer.
trace_text() {
    tr -d '\r' <"$trace"
}
trace_has() {
    if ! trace_text | grep -Fx -- "$1" >/dev/null; then
        echo "  trace has no line '$1'" >&2
        return 1
    fi
}
trace_lacks() {
    if trace_text | grep -E -- "$1" >/dev/null; then
        echo "  trace has '$1'" >&2
        return 1
    fi
}

# The result box leaves the main window, and its device fields, in sight (the rectangles the
# program read back from the system: left top width height).
result_box_clear() {
    local bx by bw bh mx my mw mh
    read -r bx by bw bh < <(trace_text | sed -n 's/^message-rect //p' | tail -1)
    read -r mx my mw mh < <(trace_text | sed -n 's/^window-rect //p' | tail -1)
    if [ -z "$bh" ] || [ -z "$mh" ] || [ "$bw" -le 0 ]; then
        echo "  no placed result box in the trace" >&2
        return 1
    fi
    if ((bx < mx + mw && mx < bx + bw && by < my + mh && my < by + bh)); then
        echo "  result box ($bx $by $bw $bh) over the main window ($mx $my $mw $mh)" >&2
        return 1
    fi
}

screenshot() {
    mkdir -p "$ARTEFACTS"
    import -window root -crop 640x480+0+0 "$ARTEFACTS/$1"
}

# The whole demo TV image over a line that takes the bytes at 9600 baud (about 54 s on the
# wire); Enter pressed during it changes nothing. The device greets every 3 s: a greeting that
# starts between the host's discard of its input and its "START" reaches the erase wait as an
# unexpected record (the defined outcome), which a 250 ms period makes a matter of luck.
test_tv_run() {
    start_device --kind TV --erase-ms 600 --greeting-ms 3000 --pace --exit-after-run || return 1
    start_app "$EXE_TV" tv || return 1
    xdotool key Return
    wait_for "^label status Programming flash memory" 60 || return 1
    screenshot main-window.png
    wait_for "^message " 150 || return 1
    sleep 0.5  # for the picture only: the box opens after its trace line
    screenshot result-box.png
    press_until "^message-closed" Return || return 1
    end_app
    stop_device
    expect_equal 0 "$status" "exit status" &&
        trace_has "label device Tarvik" &&
        trace_text | grep -E "^label serial 1234567 *$" >/dev/null &&
        trace_has "label status Device detected on COM1" &&
        trace_has "message Device correctly programmed" &&
        trace_has "message-kind information" &&
        result_box_clear &&
        trace_has "message-closed" &&
        trace_has "exit 0" &&
        trace_lacks "^close-request"
}

# A whole OS job: block-CRC protocol at 115200 baud with streamed regions, taken by the device
# at the line's speed.
test_os_run() {
    start_device --kind OS --star --erase-ms 600 --block-ms 15 --pace --exit-after-run || return 1
    start_app "$EXE_OS" os || return 1
    dismiss_result 120 || return 1
    stop_device
    expect_equal 0 "$status" "exit status" &&
        trace_has "label device Osk3" &&
        trace_has "label version OS 1.00" &&
        trace_has "message Device correctly programmed" &&
        trace_has "exit 0"
}

# COM12, a port that only the device namespace reaches (\\.\COM12), found through the system's
# list of ports: the device there is programmed and the texts name COM12.
test_com12_run() {
    no_device
    start_device --on com12 --kind OS --star --erase-ms 600 --block-ms 15 --pace \
        --exit-after-run || return 1
    start_app "$EXE_OS" com12 || return 1
    dismiss_result 120 || return 1
    stop_device
    expect_equal 0 "$status" "exit status" &&
        trace_has "label status Device detected on COM12" &&
        trace_has "message Device correctly programmed" &&
        trace_has "exit 0"
}

# CPU time (clock ticks) used so far by the processes running <exe>.
cpu_ticks_of() {
    local pid total=0
    for pid in $(pgrep -f -- "$1"); do
        total=$((total + $(awk '{print $14 + $15}' "/proc/$pid/stat" 2>/dev/null || echo 0)))
    done
    echo "$total"
}

# Esc while the ports are searched: the window stays until the job has stopped. Meanwhile a
# device that does not greet yet keeps a receiver waiting, which must not keep a processor
# busy, and F1 opens the about box, once.
test_escape_during_search() {
    start_device --kind TV --first-greeting-ms 100000 || return 1
    start_app "$EXE_TV" escape || return 1
    wait_for "^label status Searching device" 30 || return 1
    local before after per_second
    per_second=$(getconf CLK_TCK)
    before=$(cpu_ticks_of "$EXE_TV")
    sleep 3
    after=$(cpu_ticks_of "$EXE_TV")
    # The engine polls every millisecond and the receiver waits; a spinning loop takes a whole
    # processor. A quarter of one over 3 s is the limit.
    if ((after - before > 3 * per_second / 4)); then
        echo "  $((after - before)) ticks of CPU in 3 s while searching" >&2
        return 1
    fi
    press_until "^about copyright" F1 || return 1
    press_until "^about-closed" Return || return 1
    expect_equal 1 "$(trace_text | grep -c '^about caption')" "number of about boxes" || return 1
    press_until "^close-request" Escape || return 1
    dismiss_result 30 || return 1
    expect_equal 18 "$status" "exit status" &&
        trace_has "close-request refused, abort requested" &&
        trace_has "message Programming interrupted" &&
        trace_has "exit 18"
}

# Nobody answers on any port: the whole search (300 ticks of 100 ms), then the message. The
# about box is opened from the window menu meanwhile and shows the program's version block.
test_no_device_and_about_box() {
    no_device
    start_app "$EXE_TV" nodevice || return 1
    # Our item is the window menu's last: Up from the first item wraps round to it.
    press_until "^about copyright" alt+space Up Return || return 1
    sleep 0.3  # for the picture only
    screenshot about-box.png
    press_until "^about-closed" Return || return 1
    wait_for "^message " 60 || return 1
    sleep 0.5  # for the picture only
    screenshot result-box-error.png
    dismiss_result 10 || return 1
    expect_equal 13 "$status" "exit status" &&
        trace_has "message No device detected on any serial port" &&
        trace_has "message-kind error" &&
        result_box_clear &&
        trace_has "exit 13" &&
        trace_has "about caption About Norvane by Halvio" &&
        trace_has "about version Norvane Version $PROJECT_VERSION" &&
        trace_text | grep -E "^about build Build .+ [0-9]{4}-[0-9]{2}-[0-9]{2}$" >/dev/null &&
        trace_text | grep -E "^about copyright Copyright" >/dev/null &&
        trace_lacks "^close-request"
}

# --help and --version answer, anything else is refused with 64, all before the window (and
# so before the job that opens the ports).
test_command_line() {
    no_device
    trace=$WORK/command-line.trace
    rm -f "$trace"
    local argument expected out
    for argument in --help --version --verison; do
        NORVANE_UI_TRACE=$trace timeout 60 wine "$EXE_TV" "$argument" >"$WORK/command-line.out" \
            2>"$WORK/command-line.err"
        status=$?
        out=$(tr -d '\r' <"$WORK/command-line.out")
        expected=0
        [ "$argument" != --verison ] || expected=64
        expect_equal "$expected" "$status" "exit status of $argument" || return 1
        case $argument in
            --help) expected="Usage: norvane*" ;;
            --version) expected="Norvane Version $PROJECT_VERSION"$'\n'"Build *" ;;
            --verison) expected="" ;;
        esac
        # shellcheck disable=SC2053 # a pattern
        if [[ $out != $expected ]]; then
            echo "  $argument printed '$out'" >&2
            return 1
        fi
        if [ -e "$trace" ]; then
            echo "  $argument opened the window" >&2
            return 1
        fi
    done
    grep -Fq 'norvane: unknown argument "--verison". Try --help.' "$WORK/command-line.err" || {
        echo "  no refusal on stderr: $(cat "$WORK/command-line.err")" >&2
        return 1
    }
}

# norvane-console.exe --station with a device on COM1 and one on COM12, a number the system
# opens only through the device namespace: both programmed at once, said in JSON, exit 0.
test_console_station() {
    local device
    for device in com1:W-1 com12:W-12; do
        start_device_on "${device%%:*}" --kind OS --star --serial "${device##*:}" --erase-ms 600 \
            --block-ms 15 --pace --first-greeting-ms 300 --greeting-ms 3000 || return 1
    done
    timeout 120 wine "$CONSOLE_OS" --station --json --port COM1 --port COM12 \
        >"$WORK/station.out" 2>"$WORK/station.err"
    status=$?
    stop_bed_devices
    local out
    out=$(tr -d '\r' <"$WORK/station.out")
    if ! expect_equal 0 "$status" "exit status"; then
        tail -5 "$WORK/station.out" "$WORK/station.err" >&2
        return 1
    fi
    grep -Fq '{"event":"result","port":"COM1","path":"COM1","status":0,' <<<"$out" &&
        grep -Fq '{"event":"result","port":"COM12","path":"COM12","status":0,' <<<"$out" &&
        grep -Fq '{"event":"found","port":"COM12","path":"COM12","device":"Osk3","serial":"W-12' \
            <<<"$out" &&
        grep -Fq '"programmed":2,"failed":0,"already_programmed":0,"idle":0,"status":0}' <<<"$out"
}

# The serial back end on its own (CommPortWineTest.cpp); each of its checks counts.
run_commport_checks() {
    start_device --kind TV --pace || {
        stop_device
        check "wine: CommPort checks (simulator)" false
        return
    }
    local line
    list_test_ports || check "wine: the system lists the test's ports" false
    timeout 120 wine "$COMMPORT_TEST" >"$WORK/commport.out" 2>"$WORK/commport.err"
    echo "  exit status $?" >>"$WORK/commport.out"
    stop_device
    while IFS= read -r line; do
        line=${line%$'\r'}
        case $line in
            "PASS "*) check "wine: CommPort: ${line#PASS }" true ;;
            "FAIL "*)
                echo "  ${line#*: }" >&2
                check "wine: CommPort: ${line#FAIL }" false
                ;;
        esac
    done <"$WORK/commport.out"
    grep -q "^PASS\|^FAIL" "$WORK/commport.out" || check "wine: CommPort checks ran" false
}

run_wine_tests() {
    trap wine_cleanup EXIT
    mkdir -p "$WORK"
    wineserver -k 2>/dev/null  # a server left from an earlier run would keep its old display
    wineserver -w 2>/dev/null
    check "wine: display" start_display || return
    check "wine: prefix with every COM port mapped" prepare_prefix || return
    check "wine: COM1..COM12 lead to the test links or nowhere" ports_mapped_safely || return
    run_commport_checks
    local test
    for test in "whole demo TV image over the paced line, Enter ignored (exit 0):test_tv_run" \
        "full OS run (exit 0):test_os_run" \
        "OS run on COM12, listed by the system (exit 0):test_com12_run" \
        "Esc during the search (exit 18):test_escape_during_search" \
        "no device, about box from the window menu (exit 13):test_no_device_and_about_box" \
        "command line answered or refused, no window, no port:test_command_line" \
        "console station, devices on COM1 and COM12 (exit 0):test_console_station"; do
        check "wine: ${test%%:*}" "${test##*:}"
        stop_app
        stop_device
    done
    wine_cleanup
    trap - EXIT
}
