#!/usr/bin/env bash
# Checks the release files that scripts/package.sh left in dist/ against the project's
# version: the sums; the Debian package's fields, files and lintian's verdict; the Windows
# zip's contents and its exe's headers and version resource.
#   check-release.sh <dist> <version> <deb architecture> <programs, comma-separated>
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../windows/lib.sh"

dist=$1
version=$2
arch=$3
IFS=, read -r -a programs <<<"$4"
deb=$dist/norvane_${version}_$arch.deb
zip=$dist/norvane-$version-win32.zip
folder=norvane-$version-win32
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

release_files_named_by_the_version() {
    local expected
    expected=$(printf '%s\n' "${deb##*/}" "${zip##*/}" SHA256SUMS | LC_ALL=C sort | xargs)
    expect_equal "$expected" "$(LC_ALL=C ls -A "$dist" | xargs)" "files in dist/" &&
        (cd "$dist" && sha256sum --quiet -c SHA256SUMS)
}
check "dist/: the .deb and the zip named by version $version, their sums right" release_files_named_by_the_version || exit 1

field() { dpkg-deb -f "$deb" "$1"; }
package_fields() {
    local bad=0
    expect_equal norvane "$(field Package)" Package || bad=1
    expect_equal "$version" "$(field Version)" Version || bad=1
    expect_equal "$arch" "$(field Architecture)" Architecture || bad=1
    expect_equal electronics "$(field Section)" Section || bad=1
    [[ $(field Maintainer) =~ ^[^\<]+\ \<[^@]+@[^\>]+\>$ ]] || { echo "  Maintainer: $(field Maintainer)" >&2; bad=1; }
    [[ $(field Description) == *"serial port"* ]] || { echo "  no description" >&2; bad=1; }
    # Worked out from the program's libraries, with their versions.
    local depends
    depends=$(field Depends)
    for library in libc6 libstdc++6 libgtkmm-3.0-1v5; do
        [[ $depends =~ (^|, )"$library"\ \(\>=\ [^\)]+\) ]] || { echo "  Depends lacks $library: $depends" >&2; bad=1; }
    done
    return $bad
}
check "package: fields (version $version, architecture, section, maintainer, dependencies)" package_fields

dpkg-deb -x "$deb" "$work/root"
package_files() {
    local bad=0 file program size
    for program in "${programs[@]}"; do
        file=$work/root/usr/bin/$program
        [ -x "$file" ] || { echo "  no usr/bin/$program" >&2; bad=1; continue; }
        if readelf -S "$file" | grep -q '\.symtab'; then
            echo "  usr/bin/$program is not stripped" >&2
            bad=1
        fi
    done
    for size in 16x16 32x32 48x48 128x128 256x256; do
        [ -f "$work/root/usr/share/icons/hicolor/$size/apps/norvane.png" ] || { echo "  no $size icon" >&2; bad=1; }
    done
    for file in usr/share/icons/hicolor/scalable/apps/norvane.svg \
        usr/share/applications/norvane.desktop usr/share/doc/norvane/copyright \
        usr/share/doc/norvane/changelog.gz usr/share/man/man1/norvane.1.gz; do
        [ -f "$work/root/$file" ] || { echo "  no $file" >&2; bad=1; }
    done
    return $bad
}
check "package: ${programs[*]} stripped, desktop entry, icons, manual page, copyright" package_files

manual_page() {
    local page
    page=$(zcat "$work/root/usr/share/man/man1/norvane.1.gz") || return 1
    [[ $page == *".TH NORVANE 1 \"\" \"Norvane $version\""* ]] || { echo "  .TH names no version $version" >&2; return 1; }
    local topic
    for topic in NORVANE_COM dialout "EXIT STATUS" norvane\\-devsim; do
        [[ $page == *"$topic"* ]] || { echo "  the manual page says nothing of $topic" >&2; return 1; }
    done
}
check "package: the manual page names version $version, the ports, dialout, exit statuses, simulator" manual_page

lintian_errors() {
    lintian --tag-display-limit 0 "$deb" >"$work/lintian" 2>&1
    sed 's/^/  /' "$work/lintian"
    ! grep -q '^E:' "$work/lintian"
}
check "package: lintian reports no error" lintian_errors

unzip -q "$zip" -d "$work/zip"
zip_contents() {
    expect_equal "$folder/README.txt $folder/norvane.exe" "$(unzip -Z1 "$zip" | xargs)" "zip entries" || return 1
    local readme=$work/zip/$folder/README.txt
    # Every line ends with CR LF.
    expect_equal "$(wc -l <"$readme")" "$(grep -c $'\r$' "$readme")" "CRLF lines of README.txt" &&
        grep -q "COM1" "$readme" && grep -q "Exit status" "$readme" && grep -q "Norvane $version" "$readme"
}
check "zip: $folder/ holds norvane.exe and a CRLF README.txt" zip_contents

exe=$work/zip/$folder/norvane.exe
exe_headers() {
    local headers
    headers=$(x86_64-w64-mingw32-objdump -p "$exe") || return 1
    grep -q "file format pei-i386" <<<"$headers" || { echo "  not PE32 i386" >&2; return 1; }
    # A fixed time stamp (zero), or two builds differ; no symbol table.
    grep -Eq "^Time/Date[[:space:]]+Thu Jan  1 00:00:00 1970" <<<"$headers" || { grep "^Time/Date" <<<"$headers" >&2; return 1; }
    grep -q "symbols stripped" <<<"$headers" || { echo "  symbols not stripped" >&2; return 1; }
}
check "zip: norvane.exe is PE32 for i386, stripped, with a zero time stamp" exe_headers

# The version resource: ProductVersion and FileVersion texts (UTF-16), and the fixed part's
# numbers (after the signature FEEF04BD: FileVersion high and low words).
exe_version() {
    local texts bad=0 name
    texts=$(strings -el "$exe")
    for name in ProductVersion FileVersion; do
        expect_equal "$version" "$(grep -A1 -x "$name" <<<"$texts" | sed -n 2p)" "$name" || bad=1
    done
    local offset numbers
    offset=$(LC_ALL=C grep -obUaP '\xbd\x04\xef\xfe' "$exe" | head -1 | cut -d: -f1)
    numbers=$(od -An -tu2 -j $((offset + 8)) -N 8 "$exe" | xargs)
    local major minor patch
    IFS=. read -r major minor patch <<<"$version"
    expect_equal "$minor $major 0 ${patch:-0}" "$numbers" "FILEVERSION words" || bad=1
    return $bad
}
check "zip: norvane.exe's version resource says $version" exe_version

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
