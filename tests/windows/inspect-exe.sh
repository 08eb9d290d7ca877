#!/usr/bin/env bash
# Inspects the shipped 32-bit exe without running it (this machine runs no 32-bit code): a PE32
# image for the GUI subsystem that imports system DLLs only and carries every resource the
# program looks up, with the firmware image and the string table byte for byte. With
# "console", norvane-console.exe: the console subsystem, no dialogs, its texts in UTF-8.
#   inspect-exe.sh <norvane.exe> <strings.bin> <firmware.bin> [console]
# Sourced by scripts/test-windows.sh (counts into its totals) or run alone.
set -uo pipefail
here=$(dirname "${BASH_SOURCE[0]}")
source "$here/lib.sh"

exe=$1
strings_bin=$2
firmware_bin=$3
kind=${4:-window}
objdump=x86_64-w64-mingw32-objdump  # reads PE32 as well as PE32+
headers=$(mktemp)
trap 'rm -f "$headers"' RETURN EXIT
$objdump -p "$exe" >"$headers"

is_pe32_i386() {
    grep -q "file format pei-i386" "$headers" && grep -Eq "^Magic[[:space:]]+010b[[:space:]]+\(PE32\)" "$headers"
}
is_gui() {
    grep -Eq "^Subsystem[[:space:]]+00000002[[:space:]]+\(Windows GUI\)" "$headers"
}
is_console() {
    grep -Eq "^Subsystem[[:space:]]+00000003[[:space:]]+\(Windows CUI\)" "$headers"
}
# Only DLLs that come with every Windows: the C++ runtime, winpthreads and libgcc are linked in.
system_dlls_only() {
    local allowed="^(kernel32|user32|gdi32|comctl32|version|msvcrt|advapi32)\.dll$" bad=0 dll
    for dll in $(awk '/DLL Name:/ {print tolower($3)}' "$headers"); do
        if ! [[ $dll =~ $allowed ]]; then
            echo "  imports $dll" >&2
            bad=1
        fi
    done
    return $bad
}

# "type id size" for every resource, from the resource directory objdump prints: a type entry
# is indented by 3, a name entry by 5, a leaf line carries the size.
resource_list() {
    local inside=0 type="" id="" line
    local type_name='^[0-9a-f]+ {3}Entry: name: .*\]: ([^,]+),'
    local type_id='^[0-9a-f]+ {3}Entry: ID: 0x([0-9a-f]+)'
    local name_id='^[0-9a-f]+ {5}Entry: ID: 0x([0-9a-f]+)'
    local leaf='Leaf: .*Size: 0x([0-9a-f]+)'
    while IFS= read -r line; do
        if [[ $line == *"The .rsrc Resource Directory section"* ]]; then
            inside=1
        elif ((inside)); then
            [ -n "$line" ] || break
            if [[ $line =~ $type_name ]]; then
                type=${BASH_REMATCH[1]}
            elif [[ $line =~ $type_id ]]; then
                type=$((16#${BASH_REMATCH[1]}))
            elif [[ $line =~ $name_id ]]; then
                id=$((16#${BASH_REMATCH[1]}))
            elif [[ $line =~ $leaf ]]; then
                echo "$type $id $((16#${BASH_REMATCH[1]}))"
            fi
        fi
    done <"$headers"
}
resources=$(resource_list)

has_resource() {  # <type> <id> [size]
    local size
    size=$(awk -v t="$1" -v i="$2" '$1 == t && $2 == i {print $3; exit}' <<<"$resources")
    if [ -z "$size" ]; then
        echo "  no resource $1 $2; found:" $(awk '{print $1 "/" $2}' <<<"$resources") >&2
        return 1
    fi
    [ -z "${3:-}" ] || expect_equal "$3" "$size" "size of $1 $2"
}
# RT_ICON 3, RT_DIALOG 5, RT_STRING 6 (string 101 lives in block 101/16+1 = 7),
# RT_GROUP_ICON 14, RT_VERSION 16.
if [ "$kind" = console ]; then
    check "i686 console exe: PE32 for i386" is_pe32_i386
    check "i686 console exe: console subsystem" is_console
    check "i686 console exe: imports system DLLs only" system_dlls_only
    check "i686 console exe: version information" has_resource 16 1
    check "i686 console exe: PROGRAM 130 is the firmware image" has_resource PROGRAM 130 "$(stat -c %s "$firmware_bin")"
    check "i686 console exe: STRINGS 131 is the UTF-8 string table" has_resource STRINGS 131 "$(stat -c %s "$strings_bin")"
    return 0 2>/dev/null || exit 0
fi
check "i686 exe: PE32 for i386" is_pe32_i386
check "i686 exe: GUI subsystem" is_gui
check "i686 exe: imports system DLLs only" system_dlls_only
check "i686 exe: icon 128" has_resource 14 128
check "i686 exe: dialog 100 (about box)" has_resource 5 100
check "i686 exe: dialog 102 (main window)" has_resource 5 102
check "i686 exe: string 101" has_resource 6 7
check "i686 exe: version information" has_resource 16 1
check "i686 exe: PROGRAM 130 is the firmware image" has_resource PROGRAM 130 "$(stat -c %s "$firmware_bin")"
check "i686 exe: STRINGS 131 is the string table" has_resource STRINGS 131 "$(stat -c %s "$strings_bin")"
