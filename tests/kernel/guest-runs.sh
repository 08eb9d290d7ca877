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
source "$here/../windows/lib.sh"

if [ ! -s "$kernel" ]; then
    echo "no guest kernel at $kernel: run scripts/deps.sh kernel" >&2
    exit 1
fi
rm -rf "$work"
mkdir -p "$work" "$artifacts"
log=$artifacts/kernel-guest-console.log
rm -f "$log"

pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null
    done
    wait 2>/dev/null
}
trap cleanup EXIT

# start_device <name> <options...>: a simulator writing its report to $work/<name>.log; sets
# path_<name> to its pseudo-terminal and pid_<name>.
start_device() {
    local name=$1 path
    shift
    exec {out}< <(exec "$devsim" --log "$work/$name.log" "$@")
    local pid=$!
    pids+=("$pid")
    read -r -t 10 -u "$out" path || return 1
    printf -v "path_$name" '%s' "$path"
    printf -v "pid_$name" '%s' "$pid"
}

# The guest's port takes nothing while it is closed, so the host's pseudo-terminal stores what
# the device says meanwhile and hands it over when the program opens the port. Devices that
# greet every 3 s, as in the real-time tests, keep that backlog short and the greetings clear
# of the moment between the program's discard of its input and its "START".
greet=(--first-greeting-ms 50 --greeting-ms 3000)
start_device paced --kind TV --pace "${greet[@]}" || exit 1
start_device tv --kind TV "${greet[@]}" || exit 1
# The guest's UART hands its bytes on as fast as the host takes them, whatever the speed set:
# an OS device that took them as fast would answer every block sooner than 115200 baud allows,
# so it takes them at the line's speed, as a real one does.
start_device os --kind OS --pace "${greet[@]}" || exit 1
start_device killed --kind OS --pace "${greet[@]}" || exit 1

"$here/make-initramfs.sh" "$work/initramfs.gz" "$here/guest-init.sh" "$console" "$console_os" ||
    exit 1

started=$SECONDS
cases=${NORVANE_CASES:+norvane_cases=\"$NORVANE_CASES\"}  # the kernel hands it to /init
timeout 600 qemu-system-x86_64 -nodefaults -display none -no-reboot -m 256 \
    -kernel "$kernel" -initrd "$work/initramfs.gz" \
    -append "console=ttyS0 quiet panic=-1 no_timer_check 8250.nr_uarts=5 $cases" \
    -chardev "file,id=console,path=$log" -device isa-serial,chardev=console,index=0 \
    -chardev "serial,id=line1,path=$path_paced" -device isa-serial,chardev=line1,index=1 \
    -chardev "serial,id=line2,path=$path_tv" -device isa-serial,chardev=line2,index=2 \
    -chardev "serial,id=line3,path=$path_os" -device isa-serial,chardev=line3,index=3 \
    -chardev "serial,id=line4,path=$path_killed" -device pci-serial,chardev=line4 \
    </dev/null >"$work/qemu.out" 2>&1 &
qemu=$!
pids+=("$qemu")

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
for name in paced tv os killed; do  # each writes its report as it ends
    kill -TERM "$(eval echo "\$pid_$name")" 2>/dev/null
done
wait 2>/dev/null
pids=()
cp "$work"/*.log "$artifacts/" 2>/dev/null
for name in paced tv os killed; do
    [ -f "$work/$name.log" ] && cp "$work/$name.log" "$artifacts/kernel-devsim-$name.log"
done

guest() { grep -a "^norvane-guest: $1" "$log" | tr -d '\r'; }
case_status() { guest "case $1 status" | awk '{print $5}'; }

check "the guest runs every case and powers itself off" \
    eval '[ "$qemu_status" -eq 0 ] && [ -n "$(guest done)" ]'
check "whole TV job over the paced line: status 0" expect_equal 0 "$(case_status paced-tv)"
check "whole TV job: status 0" expect_equal 0 "$(case_status tv)"
check "TV job in JSON: the result line" \
    grep -q 'tv out: {"event":"result","status":0,' "$log"
check "OS job with lower and upper regions: status 0" expect_equal 0 "$(case_status os)"
speed_of() { grep "^phase $1 " "$work/os.log" | grep -o ' speed=[0-9]*' | cut -d= -f2; }
check "OS device: erased at 9600 baud" expect_equal 9600 "$(speed_of erasing)"
check "OS device: upper region at 115200 baud" expect_equal 115200 "$(speed_of upper)"
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
