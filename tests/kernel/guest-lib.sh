# Shared by the guests' first processes (sourced as /guest-lib.sh): the reports to the host,
# which reads the lines that begin with "norvane-guest:" on the guest's console, and the runs.
# norvane_cases=<names> on the kernel's command line runs only those cases (all by default).

say() { echo "norvane-guest: $*"; }
uptime_s() { cut -d' ' -f1 /proc/uptime; }
wanted() { [ -z "$norvane_cases" ] || echo " $norvane_cases " | grep -q " $1 "; }

# The NORVANE_COMn settings with COM1 at <path> and every other COMn empty.
only_port() { echo "NORVANE_COM1=$1 NORVANE_COM2= NORVANE_COM3= NORVANE_COM4= NORVANE_COM5=" \
    "NORVANE_COM6= NORVANE_COM7= NORVANE_COM8="; }

# run_with <case> <settings> <program> [args]: the program with the NORVANE_COMn settings given
# (a COMn left out is looked up on the machine), within a time limit that no case comes near;
# reports its output, then "case <name> status <s> seconds <run time> ended <uptime>".
run_with() {
    name=$1 settings=$2
    shift 2
    start=$(uptime_s)
    # shellcheck disable=SC2086 # one word per setting
    env $settings timeout 200 "$@" >"/tmp/$name.out" 2>"/tmp/$name.err"
    status=$?
    end=$(uptime_s)
    grep -v '"event":"progress"' "/tmp/$name.out" | sed "s/^/norvane-guest: $name out: /"
    sed "s/^/norvane-guest: $name err: /" "/tmp/$name.err"
    say "case $name status $status seconds $(awk "BEGIN { print $end - $start }") ended $end"
}

# run <case> <port> <program> [args]: the program on <port> alone.
run() {
    name=$1 port=$2
    shift 2
    run_with "$name" "$(only_port "$port")" "$@"
}

# wait_for <file> <text>: until the file holds the text (at most 60 s).
wait_for() {
    for _ in $(seq 600); do
        grep -q "$2" "$1" 2>/dev/null && return 0
        usleep 100000
    done
    return 1
}
