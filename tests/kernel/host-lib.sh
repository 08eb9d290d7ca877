# Shared by the guest tests on this machine (sourced): the simulators each guest port is wired
# to, the guest's reports read from its console log, and the checks (tests/windows/lib.sh).
# The sourcing script sets devsim (norvane-devsim), work (scratch folder), artifacts and log
# (where the guest's console is kept).

source "$(dirname "${BASH_SOURCE[0]}")/../windows/lib.sh"

# prepare <kernel> <console log name>: the kernel is there, the scratch folder empty, $log
# names where the guest's console goes.
prepare() {
    if [ ! -s "$1" ]; then
        echo "no guest kernel at $1: run scripts/deps.sh kernel" >&2
        exit 1
    fi
    rm -rf "$work"
    mkdir -p "$work" "$artifacts"
    log=$artifacts/$2
    rm -f "$log"
}

pids=()
devices=()
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
    devices+=("$name")
    read -r -t 10 -u "$out" path || return 1
    printf -v "path_$name" '%s' "$path"
    printf -v "pid_$name" '%s' "$pid"
}

# Ends every simulator, which writes its report then, and keeps the reports as
# artifacts/<prefix>-devsim-<name>.log.
stop_devices() {
    local prefix=$1 name
    for name in "${devices[@]}"; do
        kill -TERM "$(eval echo "\$pid_$name")" 2>/dev/null
    done
    wait 2>/dev/null
    pids=()
    for name in "${devices[@]}"; do
        [ -f "$work/$name.log" ] && cp "$work/$name.log" "$artifacts/$prefix-devsim-$name.log"
    done
}

# The guest's devices greet every 3 s: its ports take nothing while closed, so the host's
# pseudo-terminal stores what a device says meanwhile and hands it over when the program opens
# the port. Few greetings keep that backlog short and clear of the moment between the program's
# discard of its input and its "START".
greet=(--first-greeting-ms 50 --greeting-ms 3000)

# boot <kernel> <kernel options> <qemu options...>: the guest, from $work/initramfs.gz, in the
# background (its pid in $qemu, the moment in $started); its console (ttyS0) goes to $log.
# NORVANE_CASES="a b" hands norvane_cases to the guest's /init, which runs those cases only.
# The guest keeps time by the emulated HPET: under emulation the kernel's calibration of the
# processor's clock is a guess (once 829 MHz for 2.6 GHz, a clock three times too fast).
boot() {
    local kernel=$1 options=$2 cases=${NORVANE_CASES:+norvane_cases=\"$NORVANE_CASES\"}
    shift 2
    started=$SECONDS
    timeout 600 qemu-system-x86_64 -nodefaults -display none -no-reboot -m 256 \
        -kernel "$kernel" -initrd "$work/initramfs.gz" \
        -append "console=ttyS0 quiet panic=-1 no_timer_check clocksource=hpet $options $cases" \
        -chardev "file,id=console,path=$log" -device isa-serial,chardev=console,index=0 \
        "$@" </dev/null >"$work/qemu.out" 2>&1 &
    qemu=$!
    pids+=("$qemu")
}

# The guest's report lines that begin with <text>, and the exit status of case <name>.
guest() { grep -a "^norvane-guest: $1" "$log" | tr -d '\r'; }
case_status() { guest "case $1 status" | awk '{print $5}'; }
# The speed the simulator <name> saw in <phase> (its report's "phase <phase> ... speed=N").
speed_of() { grep "^phase $2 " "$work/$1.log" | grep -o ' speed=[0-9]*' | cut -d= -f2; }
