#!/usr/bin/env bash
# Debian's kernels for the guest tests (label kernel), the versions apt offers now: their
# packages fetched with apt-get download and unpacked with dpkg-deb, never installed. Cached
# under build/guest-kernel/, so later runs need no network:
#   vmlinuz         the cloud kernel (no USB at all): the 8250 guest
#   usb/vmlinux     the generic kernel, for the USB serial guest: unpacked from its bzImage, so
#                   that qemu boots it at once (PVH entry) rather than run the kernel's own xz
#                   decompression, emulated, for seconds

#   usb/modules/    usbcore, the xHCI host and the FTDI driver with everything they depend on,
#                   and usb/modules.order, the order in which the guest loads them
set -euo pipefail
cd "$(dirname "$0")/.."
cache=build/guest-kernel
# The drivers the USB guest needs; the modules they depend on are found from the modules.
usb_drivers=(xhci-pci ftdi_sio)
[ -s "$cache/vmlinuz" ] && [ -s "$cache/usb/vmlinux" ] && exit 0

# package <meta package>: the versioned kernel package it depends on now.
package() { apt-cache depends "$1" 2>/dev/null | awk '/Depends: linux-image-/ { print $2; exit }'; }
updated=false
package_of() {
    local name
    name=$(package "$1")
    if [ -z "$name" ] && ! $updated; then
        apt-get update -qq
        updated=true
        name=$(package "$1")
    fi
    [ -n "$name" ] || { echo "no package behind $1" >&2; return 1; }
    echo "$name"
}

download=$(mktemp -d)
trap 'rm -rf "$download"' EXIT
chmod 777 "$download"  # apt's download user writes there

# fetch <package> <dir>: the package's .deb into <dir>.
fetch() {
    echo "Fetching the guest kernel: $1"
    mkdir -p "$2"
    chmod 777 "$2"
    (cd "$2" && apt-get download -qq "$1")
}

if [ ! -s "$cache/vmlinuz" ]; then
    name=$(package_of linux-image-cloud-amd64)
    fetch "$name" "$download/cloud"
    dpkg-deb -x "$download"/cloud/*.deb "$download/cloud/unpacked"
    mkdir -p "$cache"
    cp "$download"/cloud/unpacked/boot/vmlinuz-* "$cache/vmlinuz.part"
    echo "$name" >"$cache/package"
    mv "$cache/vmlinuz.part" "$cache/vmlinuz"
fi

if [ ! -s "$cache/usb/vmlinux" ]; then
    name=$(package_of linux-image-amd64)
    fetch "$name" "$download/generic"
    # Only the kernel and the USB drivers' folders: the whole tree is half a gigabyte.
    unpacked=$download/generic/unpacked
    mkdir -p "$unpacked"
    dpkg-deb --fsys-tarfile "$download"/generic/*.deb |
        tar -x -C "$unpacked" --wildcards './boot/vmlinuz-*' '*/kernel/drivers/usb/*.ko'
    # A module names what it needs in its .modinfo ("depends=usbcore,usb-common"); the
    # file of module x-y is x-y.ko or x_y.ko.
    module_file() {
        find "$unpacked" -name "$1.ko" -o -name "${1//_/-}.ko" -o -name "${1//-/_}.ko" | head -1
    }
    depends_of() { tr '\0' '\n' <"$1" | sed -n 's/^depends=//p' | tr ',' ' '; }
    order=()
    # add <module>: its dependencies first, then the module itself, each once.
    add() {
        local file dependency
        file=$(module_file "$1")
        [ -n "$file" ] || { echo "module $1 is not in $name" >&2; return 1; }
        [[ " ${order[*]} " == *" $(basename "$file" .ko) "* ]] && return 0
        for dependency in $(depends_of "$file"); do
            add "$dependency" || return 1
        done
        order+=("$(basename "$file" .ko)")
    }
    for driver in "${usb_drivers[@]}"; do
        add "$driver"
    done
    rm -rf "$cache/usb.part"
    mkdir -p "$cache/usb.part/modules"
    for module in "${order[@]}"; do
        cp "$(module_file "$module")" "$cache/usb.part/modules/"
    done
    printf '%s\n' "${order[@]}" >"$cache/usb.part/modules.order"
    # The bzImage carries the kernel as one xz stream after its set-up code.
    bzimage=$(echo "$unpacked"/boot/vmlinuz-*)
    at=$(grep -abo -m1 $'\xfd7zXZ\x00' "$bzimage" | awk -F: 'NR == 1 { print $1 }')
    # xz stops at the stream's end; what follows it is never read.
    xz -dc --single-stream < <(tail -c +$((at + 1)) "$bzimage") >"$cache/usb.part/vmlinux"
    [ "$(head -c 4 "$cache/usb.part/vmlinux")" = $'\x7fELF' ] ||
        { echo "no kernel found in $bzimage" >&2; exit 1; }
    echo "$name" >"$cache/usb.part/package"
    rm -rf "$cache/usb"
    mv "$cache/usb.part" "$cache/usb"
fi
