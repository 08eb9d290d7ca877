#!/bin/busybox sh
# The guest's first process: runs norvane-console on the guest's real serial ports, each wired
# by the host to a norvane-devsim, and reports on the console (ttyS0) in lines that begin with
# "norvane-guest:" for the host to read; then powers the guest off.
#   ttyS1  TV device, paced like a real line: the whole demo job; meanwhile the port's modem
#          lines are read from the driver and two other programs try to open the port
#   ttyS2  TV device: the whole demo job, with --json
#   ttyS3  OS device: the block-CRC job (lower and upper regions, 9600 then 115200 baud)
#   ttyS4  OS device that the host kills once the image is streaming
# norvane_cases=<names> on the kernel's command line runs only those cases (all by default).
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t devtmpfs dev /dev
export PATH=/bin
mkdir -p /etc /tmp
echo "nobody:x:65534:65534:nobody:/:/bin/sh" >/etc/passwd
echo "nogroup:x:65534:" >/etc/group

. /guest-lib.sh

modem_lines() { grep "^1:" /proc/tty/driver/serial; }

say "kernel $(uname -r)"
chmod 666 /dev/ttyS1  # so that only the program's exclusive hold can refuse another opener

wanted paced-tv && run paced-tv /dev/ttyS1 norvane-console &
wanted tv && run tv /dev/ttyS2 norvane-console --json &
wanted os && run os /dev/ttyS3 norvane-console-os-image --json &
if wanted killed; then
    run killed /dev/ttyS4 norvane-console-os-image --json &
    wait_for /tmp/killed.out '"event":"phase","text":"Programming' && say "kill the device of ttyS4"
fi
if wanted paced-tv && wait_for /tmp/paced-tv.out '^Erasing'; then
    say "modem lines of port 1 while the program holds it: $(modem_lines)"
    if su nobody -s /bin/sh -c 'exec 3<>/dev/ttyS1' 2>/tmp/open.err; then
        say "second opener: opened"
    else
        say "second opener: refused: $(cat /tmp/open.err)"
    fi
    run second-program /dev/ttyS1 norvane-console --json
fi
wait
# What an ordinary opener does to the same port's modem lines, now that the program is gone.
plain_open() { sh -c 'exec 3<>/dev/ttyS1; grep "^1:" /proc/tty/driver/serial'; }
wanted paced-tv && say "modem lines of port 1 held open by a plain program: $(plain_open)"
say done
poweroff -f
