#!/usr/bin/env bash
# guest-runs.sh <devsim> <console> <console with an OS image> <kernel> <work dir> <artifacts>:
# norvane-console in a qemu guest (Debian's cloud kernel, its real 8250 serial driver) against
# norvane-devsim on this machine. Each of the guest's ports ttyS1..ttyS4 is a chardev on the
# pseudo-terminal of its own simulator, so the guest's line settings (9600, then 115200 for
# an OS device) arrive where the simulator reads them. One boot runs every case; the guest
# reports on its console, which is kept as an artifact. Ends with "N passed, N failed".
# NORVANE_CASES="tv os" boots for those cases only (paced-tv, tv, os, killed), for a quick look;
# the checks of the others then fail.
set -uo pipefail
devsim=$1 console=$2 console_os=$3 kernel=$4 work=$5 artifacts=$6
here=$(cd "$(dirname "$0")" && pwd)
source "$here/host-lib.sh"

prepare "$kernel" kernel-guest-console.log

start_device paced --kind TV --pace "${greet[@]}" || exit 1
start_device tv --kind TV "${greet[@]}" || exit 1
# The guest's UART hands its bytes on as fast as the host takes them, whatever the speed set:
# an OS device that took them as fast would answer every block sooner than 115200 baud allows,
# so it takes them at the line's speed, as a real one does.
start_device os --kind OS --pace "${greet[@]}" || exit 1
start_device killed --kind OS --pace "${greet[@]}" || exit 1

"$here/make-initramfs.sh" "$work/initramfs.gz" "$here/guest-init.sh" \
    --file "$here/guest-lib.sh" guest-lib.sh "$console" "$console_os" || exit 1

boot "$kernel" 8250.nr_uarts=5 \
    -chardev "serial,id=line1,path=$path_paced" -device isa-serial,chardev=line1,index=1 \
    -chardev "serial,id=line2,path=$path_tv" -device isa-serial,chardev=line2,index=2 \
    -chardev "serial,id=line3,path=$path_os" -device isa-serial,chardev=line3,index=3 \
    -chardev "serial,id=line4,path=$path_killed" -device pci-serial,chardev=line4

# The guest says when the image is streaming to the device of ttyS4; that device dies then.
killed_at=""
while kill -0 "$qemu" 2>/dev/null; do
    if [ -z "$killed_at" ] && grep -q "norvane-guest: kill the device" "$log" 2>/dev/null; then
        kill -KILL "$pid_killed"
        killed_at=$((SECONDS - started))
    fi
    sleep 0.2
done
wait "$qemu"
qemu_status=$?
echo "guest ran $((SECONDS - started)) s (qemu status $qemu_status);" \
    "device of ttyS4 killed at ${killed_at:-never} s"
stop_devices kernel

check "the guest runs every case and powers itself off" \
    eval '[ "$qemu_status" -eq 0 ] && [ -n "$(guest done)" ]'
check "whole TV job over the paced line: status 0" expect_equal 0 "$(case_status paced-tv)"
check "whole TV job: status 0" expect_equal 0 "$(case_status tv)"
check "TV job in JSON: the result line" \
    grep -q 'tv out: {"event":"result","status":0,' "$log"
check "OS job with lower and upper regions: status 0" expect_equal 0 "$(case_status os)"
check "OS device: erased at 9600 baud" expect_equal 9600 "$(speed_of os erasing)"
check "OS device: upper region at 115200 baud" expect_equal 115200 "$(speed_of os upper)"
held=$(guest "modem lines of port 1 while")
idle=$(guest "modem lines of port 1 held open by a plain")
echo "  $idle"
echo "  $held"
check "a plain opener raises DTR and RTS" \
    eval '[[ "$idle" == *DTR* && "$idle" == *RTS* ]]'
check "the program holds the port with DTR and RTS cleared" \
    eval '[[ -n "$held" && "$held" != *DTR* && "$held" != *RTS* ]]'
check "a second opener is refused while the program holds the port" \
    eval '[[ "$(guest "second opener")" == *"refused"* ]]'
check "a second Norvane finds no device on the held port: status 13" \
    expect_equal 13 "$(case_status second-program)"
check "and says which program holds it" \
    eval '[[ "$(guest "second-program out")" == *"in use by another Norvane"* ]]'
check "device killed while streaming: no answer in time (status 15), no hang" \
    expect_equal 15 "$(case_status killed)"
guest "case"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
