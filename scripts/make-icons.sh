#!/usr/bin/env bash
# Makes the icon's PNG sizes for the hicolor theme, res/icons/hicolor/<n>x<n>/apps/norvane.png:
# 16 and 32 px are the hand-drawn frames of the Windows icon (res/norvane.ico), 48 px is drawn
# by hand and kept as it stands, 128 and 256 px are rendered from the scalable drawing
# (scalable/apps/norvane.svg). Run it after changing any of them and commit the results: the
# build then needs neither ImageMagick nor librsvg.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh app package  # ImageMagick; rsvg-convert

icons=res/icons/hicolor
for size in 16 32; do
    # The frame of that size, whatever its place in the .ico.
    frame=$(identify -format '%p %w\n' res/norvane.ico | awk -v s="$size" '$2 == s {print $1; exit}')
    mkdir -p "$icons/${size}x$size/apps"
    # -strip: no time stamps in the file, so a rerun changes nothing.
    convert "res/norvane.ico[$frame]" -strip "PNG32:$icons/${size}x$size/apps/norvane.png"
done
for size in 128 256; do
    mkdir -p "$icons/${size}x$size/apps"
    rsvg-convert -w "$size" -h "$size" "$icons/scalable/apps/norvane.svg" |
        convert - -strip "PNG32:$icons/${size}x$size/apps/norvane.png"
done
ls -l "$icons"/*/apps/norvane.*
