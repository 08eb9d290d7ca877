#!/usr/bin/env bash
# usb-runs.sh <devsim> <console> <console with an OS image> <kernel folder> <work dir>
#     <artifacts>: norvane-console in a qemu guest on Debian's generic kernel, through the USB
# serial stack (xHCI, usbserial, ftdi_sio) against norvane-devsim on this machine. qemu's
# usb-serial adapters are FTDI chips to the guest; each is a chardev on the pseudo-terminal of
# its own simulator, so the speeds the driver sets (its divisor requests) arrive where the
# simulator reads them. The guest asks for adapters to be unplugged and plugged back through
# qemu's monitor while it runs. One boot runs every case; the guest's console is kept as an
# artifact. Ends with "N passed, N failed".
# NORVANE_CASES="os unplug" boots for those cases only (os, unplug); the checks of the others
# then fail.
set -uo pipefail
devsim=$1 console=$2 console_os=$3 kernels=$4 work=$5 artifacts=$6
here=$(cd "$(dirname "$0")" && pwd)
source "$here/host-lib.sh"
prepare "$kernels/vmlinux" kernel-usb-guest-console.log

# Every device takes the program's bytes at the line's speed, as a real one does: qemu's
# adapter hands them on as fast as the host takes them, whatever the speed set.
start_device unplugged --kind TV --pace "${greet[@]}" || exit 1
start_device osline --kind OS --pace "${greet[@]}" || exit 1
start_device replugged --kind TV --pace "${greet[@]}" || exit 1
for n in 1 2 3 4; do
    start_device "station$n" --kind OS --pace "${greet[@]}" || exit 1
done

"$here/make-initramfs.sh" "$work/initramfs.gz" "$here/usb-guest-init.sh" \
    --file "$here/guest-lib.sh" guest-lib.sh --file "$kernels/modules" modules \
    --file "$kernels/modules.order" modules/modules.order "$console" "$console_os" || exit 1

# Every simulator's terminal as a chardev "line-<name>"; an adapter "<name>" with the USB serial
# number <SERIAL> on it. An adapter stays plugged in when its device goes quiet, as a real one.
chardevs=()
for name in "${devices[@]}"; do
    chardevs+=(-chardev "serial,id=line-$name,path=$(eval echo "\$path_$name")")
done
adapter() { echo "usb-serial,id=$1,chardev=line-$1,serial=$2,always-plugged=on"; }

# qemu's monitor on two FIFOs: commands in, answers out (read all along, so it never blocks).
mkfifo "$work/monitor.in" "$work/monitor.out"
boot "$kernels/vmlinux" "" \
    -chardev "pipe,id=monitor,path=$work/monitor" -mon chardev=monitor,mode=readline \
    "${chardevs[@]}" -device qemu-xhci,id=xhci \
    -device "$(adapter unplugged UNPLUGGED)" -device "$(adapter osline OSLINE)"
cat "$work/monitor.out" >"$work/monitor.log" &
pids+=($!)
exec {monitor}<>"$work/monitor.in"
# monitor <command>: to qemu, noted with its time in monitor-commands.log.
monitor() {
    echo "$*" >&"$monitor"
    echo "$((SECONDS - started)) s: $*" >>"$work/monitor-commands.log"
}

# requested <text>: true once the guest has asked for <text>, the first time only.
declare -A acted
requested() {
    [ -z "${acted[$1]:-}" ] && grep -q "^norvane-guest: $1" "$log" 2>/dev/null && acted[$1]=1
}
while kill -0 "$qemu" 2>/dev/null; do
    if requested "unplug UNPLUGGED"; then
        monitor device_del unplugged
    fi
    if requested "plug REPLUGGED"; then
        monitor device_add "$(adapter replugged REPLUGGED)"
    fi
    if requested "swap for the station"; then
        monitor device_del osline
        monitor device_del replugged
        for n in 1 2 3 4; do
            monitor device_add "$(adapter "station$n" "STATION$n")"
        done
    fi
    sleep 0.1
done
wait "$qemu"
qemu_status=$?
echo "guest ran $((SECONDS - started)) s (qemu status $qemu_status)"
sed 's/^/  monitor at /' "$work/monitor-commands.log" 2>/dev/null
stop_devices kernel-usb
cp "$work/monitor.log" "$artifacts/kernel-usb-monitor.log" 2>/dev/null

check "the guest runs every case and powers itself off" \
    eval '[ "$qemu_status" -eq 0 ] && [ -n "$(guest done)" ]'

check "OS job through the FTDI driver: status 0" expect_equal 0 "$(case_status os)"
check "OS device: erased at 9600 baud" expect_equal 9600 "$(speed_of osline erasing)"
check "OS device: upper region at 115200 baud" expect_equal 115200 "$(speed_of osline upper)"

# The adapter unplugged while the image streams: the job ends at once, with the port's line.
adapters=$(guest "adapters ")
unplugged_tty=$(echo "$adapters" | awk '{print $4}')
check "TV job with its adapter unplugged mid-stream: no answer (status 15), no hang" \
    expect_equal 15 "$(case_status unplugged)"
gone="unplugged out: {\"event\":\"result\",\"status\":15,\"message\":\"Device error - code"
gone+=" ffff returned\",\"detail\":\"The serial port COM1 (/dev/$unplugged_tty, QEMU USB SERIAL,"
gone+=" serial UNPLUGGED) was disconnected.\"}"
check "the second text says the adapter went away, and what it was" grep -qF "$gone" "$log"
# Both on the guest's clock: the adapter gone from sysfs, the program ended.
disconnected=$(guest "unplugged at" | awk '{print $4}')
ended=$(guest "case unplugged status" | awk '{print $9}')
after_unplug=$(awk "BEGIN { print ${ended:-99} - ${disconnected:-0} }")
check "the job ends within 1 s of the unplug (${after_unplug} s)" \
    awk "BEGIN { exit !($after_unplug <= 1.0) }"

# Plugged back: the freed name comes back, is found among the machine's ports and programmed.
check "the adapter plugged back gets the unplugged one's name (nothing held it)" \
    expect_equal "norvane-guest: REPLUGGED came back as $unplugged_tty" \
    "$(guest "REPLUGGED came back")"
check "found as COM2, the machine's second port after the console's UART" \
    grep -qF 'replugged out: {"event":"found","port":"COM2"' "$log"
check "whole TV job over the adapter plugged back: status 0" \
    expect_equal 0 "$(case_status replugged)"
check "TV device: the whole image at 9600 baud" expect_equal 9600 "$(speed_of replugged region1)"

# A result line for each device (and any summary): at least four, every one with status 0.
results=$(guest 'station out: ' | grep '"event":"result"')
all_programmed() {
    [ "$(grep -c '"status":0[,}]' <<<"$results")" -ge 4 ] &&
        ! grep -qv '"status":0[,}]' <<<"$results"
}
check "a station of four adapters: status 0" expect_equal 0 "$(case_status station)"
check "every device of the station programmed" all_programmed
echo "  $adapters"
echo "  unplug to the job's end: $after_unplug s"
guest "case"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
