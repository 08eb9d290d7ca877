#!/bin/busybox sh
# The USB guest's first process: loads the xHCI and FTDI drivers, runs norvane-console on the
# USB serial adapters qemu plugs in (each wired by the host to a norvane-devsim), asks the host
# to unplug and plug adapters, and reports on the console (ttyS0) in lines that begin with
# "norvane-guest:"; then powers the guest off. Adapters are known by their USB serial number:
#   UNPLUGGED  TV device, paced: the host unplugs the adapter once the image streams
#   OSLINE     OS device, paced: the block-CRC job, 9600 then 115200 baud through the FTDI
#              driver's divisor
#   REPLUGGED  plugged in once UNPLUGGED is gone: TV device, paced, found without its path
#              (the machine's own ports, COM1 left out: it is the console) and wholly programmed
#   STATION1..4  OS devices, paced, plugged in for the station in place of the others
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs dev /dev
export PATH=/bin
mkdir -p /tmp
. /guest-lib.sh

say "kernel $(uname -r)"
while read -r module; do
    insmod "/modules/$module.ko" || say "module $module not loaded"
done </modules/modules.order

# adapter <serial>: the tty of the adapter with that USB serial number, once the driver has
# made it (at most 30 s).
adapter() {
    for _ in $(seq 300); do
        for tty in /sys/class/tty/ttyUSB*; do
            if [ "$(cat "$tty/device/../../serial" 2>/dev/null)" = "$1" ] && [ -e "/dev/${tty##*/}" ]
            then
                echo "${tty##*/}"
                return 0
            fi
        done
        usleep 100000
    done
    return 1
}
# What the driver says of an adapter: its driver and latency timer.
adapter_facts() {
    echo "driver $(basename "$(readlink "/sys/class/tty/$1/device/driver")")" \
        "latency_timer $(cat "/sys/class/tty/$1/device/latency_timer" 2>/dev/null)"
}
# gone_at <tty>: the uptime at which <tty> has gone from sysfs (looked at every 10 ms).
gone_at() {
    while [ -e "/sys/class/tty/$1" ]; do
        usleep 10000
    done
    uptime_s
}

unplugged=$(adapter UNPLUGGED)
osline=$(adapter OSLINE)
say "adapters UNPLUGGED $unplugged OSLINE $osline ($(adapter_facts "$unplugged"))"

wanted os && run os "/dev/$osline" norvane-console-os-image --json &
if wanted unplug; then
    run unplugged "/dev/$unplugged" norvane-console --json &
    job=$!
    wait_for /tmp/unplugged.out '"event":"phase","text":"Programming' && say "unplug UNPLUGGED"
    say "unplugged at $(gone_at "$unplugged")"
    wait "$job"
    say "plug REPLUGGED"
    replugged=$(adapter REPLUGGED)
    say "REPLUGGED came back as $replugged"
    # COM1 would be the console's UART (ttyS0), the first port the machine lists; COM2 is left
    # to the list, COM3..COM8 are empty.
    run_with replugged "NORVANE_COM1= NORVANE_COM3= NORVANE_COM4= NORVANE_COM5= NORVANE_COM6=
        NORVANE_COM7= NORVANE_COM8=" norvane-console --json
fi
wait

say "swap for the station"
station=""
for tty in $(for n in 1 2 3 4; do adapter "STATION$n"; done | sort); do
    station="$station --port /dev/$tty"
done
say "station adapters:$station"
# shellcheck disable=SC2086 # one word per argument
run_with station "$(only_port "")" norvane-console-os-image --station --json $station
# What the kernel said of the adapters, for the artifact.
dmesg | grep -E "usb |ftdi|ttyUSB" | sed 's/^/norvane-guest: dmesg: /'
say done
poweroff -f
