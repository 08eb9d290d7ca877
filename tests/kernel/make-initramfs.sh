#!/usr/bin/env bash
# make-initramfs.sh <output.cpio.gz> <init script> [--file <source> <path in the guest>]...
#     <program>...
# The guest's whole root file system: the init script as /init, any further files where they
# are asked for (a folder with what it holds), busybox and the programs in /bin with the shared
# libraries they load (copied from this machine, at the same paths).
set -euo pipefail
out=$1 init=$2
shift 2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

chmod 755 "$root"  # the guest's /, which an unprivileged opener must be able to walk
mkdir -p "$root"/{bin,dev,proc,sys,tmp}
cp "$init" "$root/init"
chmod 755 "$root/init"
while [ "${1:-}" = --file ]; do
    mkdir -p "$(dirname "$root/$3")"
    cp -r "$2" "$root/$3"
    shift 3
done
for program in /bin/busybox "$@"; do
    cp "$program" "$root/bin/"
    # ldd prints "name => /path (address)" and the loader as "/path (address)".
    for library in $(ldd "$program" 2>/dev/null | grep -o '/[^ ]*'); do
        mkdir -p "$root$(dirname "$library")"
        cp -L "$library" "$root$library"
    done
done
(cd "$root" && find . | cpio -o -H newc --quiet) | gzip -1 >"$out"
