#!/usr/bin/env bash
# make-os-image.sh <output>: a small OS firmware image for the Windows test runs: 16 blocks
# below 1 MiB and 4 above, the version text "OS 1.00" at 0x100, 0xFF elsewhere.
set -euo pipefail
out=$1
# Filler without 0xFF bytes, the same at every run.
filler() { seq 100000 999999 | tr -d "\n" | head -c "$1" || true; }  # seq ends on SIGPIPE

head -c $((0x100400)) /dev/zero | tr '\0' '\377' >"$out"
printf 'OS 1.00\0' | dd of="$out" bs=1 seek=$((0x100)) conv=notrunc status=none
filler $((0xF80 - 0x200)) | dd of="$out" bs=1 seek=$((0x200)) conv=notrunc status=none
filler $((0x3FF)) | dd of="$out" bs=1 seek=$((0x100000)) conv=notrunc status=none
