#!/usr/bin/env bash
# make-initramfs.sh <output.cpio.gz> <init script> <program>...: the guest's whole root file
# system: the init script as /init, busybox and the programs in /bin with the shared libraries
# they load (copied from this machine, at the same paths).
set -euo pipefail
out=$1 init=$2
shift 2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

chmod 755 "$root"  # the guest's /, which an unprivileged opener must be able to walk
mkdir -p "$root"/{bin,dev,proc,sys,tmp}
cp "$init" "$root/init"
chmod 755 "$root/init"
for program in /bin/busybox "$@"; do
    cp "$program" "$root/bin/"
    # ldd prints "name => /path (address)" and the loader as "/path (address)".
    for library in $(ldd "$program" 2>/dev/null | grep -o '/[^ ]*'); do
        mkdir -p "$root$(dirname "$library")"
        cp -L "$library" "$root$library"
    done
done
(cd "$root" && find . | cpio -o -H newc --quiet) | gzip -1 >"$out"
