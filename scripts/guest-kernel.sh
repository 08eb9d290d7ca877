#!/usr/bin/env bash
# Debian's cloud kernel for the guest tests (label kernel), the version apt offers now: its
# package fetched with apt-get download and unpacked with dpkg-deb, never installed. Cached as
# build/guest-kernel/vmlinuz, so later runs need no network.
set -euo pipefail
cd "$(dirname "$0")/.."
cache=build/guest-kernel
[ -s "$cache/vmlinuz" ] && exit 0

package() { apt-cache depends linux-image-cloud-amd64 2>/dev/null |
    awk '/Depends: linux-image-/ { print $2; exit }'; }
name=$(package)
if [ -z "$name" ]; then
    apt-get update -qq
    name=$(package)
fi
echo "Fetching the guest kernel: $name"
download=$(mktemp -d)
trap 'rm -rf "$download"' EXIT
chmod 777 "$download"  # apt's download user writes there
(cd "$download" && apt-get download -qq "$name")
dpkg-deb -x "$download"/*.deb "$download/unpacked"
mkdir -p "$cache"
cp "$download"/unpacked/boot/vmlinuz-* "$cache/vmlinuz.part"
echo "$name" >"$cache/package"
mv "$cache/vmlinuz.part" "$cache/vmlinuz"
