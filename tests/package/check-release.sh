#!/usr/bin/env bash
# Checks the release files that scripts/package.sh left in dist/ against the project's version
# and debian/: the sums; both Debian packages' fields, files, manual pages, AppStream data and
# lintian's verdict; the Windows zip's files, its exes' headers and version resource; the
# installer's tables and files. The console program's exe is checked where the Windows build
# has it.
#   check-release.sh <dist> <version> <deb architecture>
set -uo pipefail
here=$(dirname "${BASH_SOURCE[0]}")
source "$here/../windows/lib.sh"
repo=$(realpath "$here/../..")

dist=$1
version=$2
arch=$3
deb=$dist/norvane_${version}_$arch.deb
devsim_deb=$dist/norvane-devsim_${version}_$arch.deb
zip=$dist/norvane-$version-win32.zip
msi=$dist/norvane-$version.msi
folder=norvane-$version-win32
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The release's time: every file of it carries the newest changelog entry's.
epoch=$(dpkg-parsechangelog -l "$repo/debian/changelog" -STimestamp)
maintainer=$(sed -n 's/^Maintainer: //p' "$repo/debian/control")

release_files_named_by_the_version() {
    local expected
    expected=$(printf '%s\n' "${deb##*/}" "${devsim_deb##*/}" "${zip##*/}" "${msi##*/}" SHA256SUMS |
        LC_ALL=C sort | xargs)
    expect_equal "$expected" "$(LC_ALL=C ls -A "$dist" | xargs)" "files in dist/" &&
        (cd "$dist" && sha256sum --quiet -c SHA256SUMS)
}
check "dist/: both .debs, the zip and the installer named by version $version, their sums right" \
    release_files_named_by_the_version || exit 1

# fields <deb> <package> <libraries it must depend on, with versions...>
fields() {
    local file=$1 package=$2 bad=0 library depends
    shift 2
    field() { dpkg-deb -f "$file" "$1"; }
    expect_equal "$package" "$(field Package)" Package || bad=1
    expect_equal "$version" "$(field Version)" Version || bad=1
    expect_equal "$arch" "$(field Architecture)" Architecture || bad=1
    expect_equal electronics "$(field Section)" Section || bad=1
    expect_equal "$maintainer" "$(field Maintainer)" Maintainer || bad=1
    [[ $(field Description) == *"serial port"* || $(field Description) == *NORVANE_COM* ]] ||
        { echo "  $package: no description" >&2; bad=1; }
    # Worked out from the programs' libraries, with their versions.
    depends=$(field Depends)
    for library in "$@"; do
        [[ $depends =~ (^|, )"$library"\ \(\>=\ [^\)]+\) ]] ||
            { echo "  $package: Depends lacks $library: $depends" >&2; bad=1; }
    done
    return $bad
}
check "norvane: fields (version $version, architecture, section, maintainer, dependencies)" \
    fields "$deb" norvane libc6 libstdc++6 libgtkmm-3.0-1v5
check "norvane-devsim: fields" fields "$devsim_deb" norvane-devsim libc6 libstdc++6

dpkg-deb -x "$deb" "$work/root"
dpkg-deb -x "$devsim_deb" "$work/root"
root=$work/root
# files <path under the root...>: each is there.
files() {
    local file bad=0
    for file in "$@"; do
        [ -f "$root/$file" ] || { echo "  no $file" >&2; bad=1; }
    done
    return $bad
}
package_files() {
    local bad=0 program size
    for program in norvane norvane-console norvane-devsim; do
        files "usr/bin/$program" || { bad=1; continue; }
        if readelf -S "$root/usr/bin/$program" | grep -q '\.symtab'; then
            echo "  usr/bin/$program is not stripped" >&2
            bad=1
        fi
    done
    for size in 16x16 32x32 48x48 128x128 256x256; do
        files "usr/share/icons/hicolor/$size/apps/norvane.png" || bad=1
    done
    files usr/share/icons/hicolor/scalable/apps/norvane.svg usr/share/applications/norvane.desktop \
        usr/share/metainfo/com.halvio.Norvane.metainfo.xml \
        usr/share/doc/norvane/changelog.gz usr/share/doc/norvane-devsim/changelog.gz || bad=1
    # The maintainer is one line, which Debian's formats repeat.
    expect_equal "$maintainer" "$(dpkg-parsechangelog -l "$repo/debian/changelog" -SMaintainer)" \
        "debian/changelog's maintainer" || bad=1
    expect_equal "$maintainer" "$(sed -n 's/^Upstream-Contact: //p' "$repo/debian/copyright")" \
        "debian/copyright's contact" || bad=1
    local package
    for package in norvane norvane-devsim; do
        cmp -s "$repo/debian/copyright" "$root/usr/share/doc/$package/copyright" ||
            { echo "  $package's copyright is not debian/copyright" >&2; bad=1; }
    done
    return $bad
}
check "packages: programs stripped, desktop entry, icons, AppStream data, copyright, one maintainer" \
    package_files

# The user at the seat opens USB serial adapters; nothing else is given away.
udev_rule() {
    local rule=$root/usr/lib/udev/rules.d/60-norvane.rules
    [ -f "$rule" ] || { echo "  no /usr/lib/udev/rules.d/60-norvane.rules" >&2; return 1; }
    expect_equal 'SUBSYSTEM=="tty", KERNEL=="ttyUSB[0-9]*|ttyACM[0-9]*", TAG+="uaccess"' \
        "$(grep -v '^#' "$rule")" "rule"
}
check "norvane: the udev rule tags ttyUSB* and ttyACM* with uaccess, and nothing more" udev_rule

appstream() {
    local metainfo=$root/usr/share/metainfo/com.halvio.Norvane.metainfo.xml
    appstreamcli validate --no-net "$metainfo" | sed 's/^/  /'
    [ "${PIPESTATUS[0]}" -eq 0 ] &&
        grep -q "<release version=\"$version\" date=\"$(date -u -d "@$epoch" +%F)\"/>" "$metainfo" ||
        { echo "  no release $version of the changelog's day" >&2; return 1; }
}
check "norvane: appstreamcli validate --no-net accepts the metainfo; release $version" appstream

# page <name>: the manual page's text, as man shows it.
page() { LC_ALL=C MANWIDTH=200 man -l "$root/usr/share/man/man1/$1.1.gz" 2>/dev/null; }
# options_of <program>: the options its --help lists.
options_of() { "$root/usr/bin/$1" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u; }
# mentions <name> <text...>: the manual page says each.
mentions() {
    local name=$1 topic bad=0
    shift
    for topic in "$@"; do
        page "$name" | grep -qF -- "$topic" || { echo "  $name(1) says nothing of $topic" >&2; bad=1; }
    done
    return $bad
}
manual_pages() {
    local name bad=0 option
    for name in norvane norvane-console norvane-devsim; do
        files "usr/share/man/man1/$name.1.gz" || { bad=1; continue; }
        zcat "$root/usr/share/man/man1/$name.1.gz" | grep -q "^\.TH [^ ]* 1 \"\" \"Norvane $version\"" ||
            { echo "  $name(1): .TH names no version $version" >&2; bad=1; }
        # Every option the program knows has its entry.
        for option in $(options_of "$name"); do
            page "$name" | grep -qE -- "^ +(--[a-z-]+ \| )?$option( |$)" ||
                { echo "  $name(1) has no entry for $option" >&2; bad=1; }
        done
    done
    mentions norvane NORVANE_COM1 dialout 60-norvane.rules "EXIT STATUS" "norvane-console(1)" \
        "norvane-devsim(1)" || bad=1
    mentions norvane-console '{"event":"result"' "EXIT STATUS" NORVANE_COM1 SIGTERM "norvane(1)" || bad=1
    return $bad
}
check "manual pages: version $version, every option of each program's --help, cross references" \
    manual_pages

# Errors and warnings fail; so does any hardening information (the programs are built with
# every hardening flag). Overrides are listed in debian/*.lintian-overrides, with the reason.
lintian_verdict() {
    lintian --display-info --tag-display-limit 0 "$deb" "$devsim_deb" >"$work/lintian" 2>&1
    grep -v '^running with root privileges' "$work/lintian" | sed 's/^/  /'
    ! grep -qE '^(E|W): |hardening-' "$work/lintian"
}
check "packages: lintian reports no error, no warning, no hardening-* information" lintian_verdict

unzip -q "$zip" -d "$work/zip"
stage=$work/zip/$folder
programs=(norvane.exe)
[ ! -e "$stage/norvane-console.exe" ] || programs+=(norvane-console.exe)
texts=(README.txt LICENSE.txt licences/mingw-w64-runtime.txt licences/gcc-runtime.txt licences/GPL-3.txt)
zip_contents() {
    expect_equal "${programs[*]/#/$folder/} ${texts[*]/#/$folder/}" "$(unzip -Z1 "$zip" | xargs)" \
        "zip entries" || return 1
    local text bad=0
    for text in "${texts[@]}"; do
        # Every line ends with CR LF.
        expect_equal "$(wc -l <"$stage/$text")" "$(grep -c $'\r$' "$stage/$text")" \
            "CRLF lines of $text" || bad=1
    done
    grep -q "Norvane $version" "$stage/README.txt" && grep -q "COM1" "$stage/README.txt" &&
        grep -q "Exit status" "$stage/README.txt" || { echo "  README.txt" >&2; bad=1; }
    cmp -s "$repo/LICENSE" <(tr -d '\r' <"$stage/LICENSE.txt") || { echo "  LICENSE.txt" >&2; bad=1; }
    grep -q "winpthreads" "$stage/licences/mingw-w64-runtime.txt" &&
        grep -q "GCC RUNTIME LIBRARY EXCEPTION" "$stage/licences/gcc-runtime.txt" &&
        grep -q "GNU GENERAL PUBLIC LICENSE" "$stage/licences/GPL-3.txt" ||
        { echo "  a runtime licence is missing" >&2; bad=1; }
    return $bad
}
check "zip: $folder/ holds ${programs[*]}, README.txt, LICENSE.txt and the runtime's licences, CRLF" \
    zip_contents

exe_headers() {
    local exe headers bad=0
    for exe in "${programs[@]}"; do
        headers=$(x86_64-w64-mingw32-objdump -p "$stage/$exe") || return 1
        grep -q "file format pei-i386" <<<"$headers" || { echo "  $exe: not PE32 i386" >&2; bad=1; }
        # A fixed time stamp (zero), or two builds differ; no symbol table.
        grep -Eq "^Time/Date[[:space:]]+Thu Jan  1 00:00:00 1970" <<<"$headers" ||
            { echo "  $exe: $(grep "^Time/Date" <<<"$headers")" >&2; bad=1; }
        grep -q "symbols stripped" <<<"$headers" || { echo "  $exe: symbols not stripped" >&2; bad=1; }
    done
    return $bad
}
check "zip: ${programs[*]}: PE32 for i386, stripped, with a zero time stamp" exe_headers

# The version resource: ProductVersion and FileVersion texts (UTF-16), and the fixed part's
# numbers (after the signature FEEF04BD: FileVersion high and low words).
exe_version() {
    local exe=$stage/norvane.exe texts bad=0 name
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

# table <name>: the installer's table, rows only.
table() { msiinfo export "$msi" "$1" | tr -d "\r" | tail -n +4; }
property() { table Property | awk -F'\t' -v name="$1" '$1 == name { print $2 }'; }
installer_tables() {
    local bad=0
    expect_equal Norvane "$(property ProductName)" ProductName || bad=1
    expect_equal "$version" "$(property ProductVersion)" ProductVersion || bad=1
    expect_equal Halvio "$(property Manufacturer)" Manufacturer || bad=1
    expect_equal "$maintainer" "$(property ARPCONTACT)" "ARPCONTACT (the uninstall entry's contact)" || bad=1
    # Per machine; and the product's one upgrade code, which a later version must keep.
    expect_equal 1 "$(property ALLUSERS)" ALLUSERS || bad=1
    expect_equal "{7D3B2C61-0E4A-4F8B-9A52-3C1E6F0B8D47}" "$(property UpgradeCode)" UpgradeCode || bad=1
    table Upgrade | grep -q WIX_UPGRADE_DETECTED || { echo "  no major upgrade" >&2; bad=1; }
    expect_equal "INSTALLDIR ProgramFilesFolder Norvane" \
        "$(table Directory | awk -F'\t' '$1 == "INSTALLDIR" { print $1, $2, $3 }')" INSTALLDIR || bad=1
    expect_equal "ProgramMenuFolder Norvane WindowProgram" \
        "$(table Shortcut | awk -F'\t' '{ print $2, $3, $4 }')" "Start-menu shortcut" || bad=1
    local summary
    summary=$(TZ=UTC0 msiinfo suminfo "$msi")
    grep -qx "Template: Intel;1033" <<<"$summary" || { echo "  not a 32-bit installer" >&2; bad=1; }
    grep -qx "Created: $(TZ=UTC0 LC_ALL=C date -d "@$epoch" '+%a %b %e %H:%M:%S %Y')" <<<"$summary" ||
        { echo "  not created at the release's time: $(grep Created <<<"$summary")" >&2; bad=1; }
    return $bad
}
check "installer: Norvane $version by Halvio, per machine, Start-menu shortcut, upgrades, dated" \
    installer_tables

installer_files() {
    msiextract -C "$work/msi" "$msi" >/dev/null || return 1
    local installed=$work/msi/Program\ Files/Norvane file bad=0
    expect_equal $((${#programs[@]} + ${#texts[@]})) "$(table File | wc -l)" "files in the installer" ||
        bad=1
    for file in "${programs[@]}" "${texts[@]}"; do
        cmp -s "$stage/$file" "$installed/$file" || { echo "  $file differs from the zip's" >&2; bad=1; }
    done
    return $bad
}
check "installer: installs the zip's files, byte for byte, under Program Files\\Norvane" installer_files

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
