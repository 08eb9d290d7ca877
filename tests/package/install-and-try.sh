#!/usr/bin/env bash
# The Debian packages as a user installs them: `apt-get install ./norvane_*.deb
# ./norvane-devsim_*.deb` in a throwaway Debian root, so that apt resolves their dependencies
# for real; then, as installed: norvane --version, the manual pages where man finds them,
# norvane-devsim with norvane-console --json programming the simulated device, the udev rule
# (udevadm verify, where udevadm has it), and a purge that leaves nothing behind.
#
# The root is this machine's release, bootstrapped once (debootstrap --variant=minbase, from
# the archives this machine's apt sources name) with man-db, the package lists and the
# packages' dependencies downloaded but not installed, and kept in <cache>. Each run installs
# into an overlay over it that is thrown away afterwards, so a second run needs no network.
#   install-and-try.sh <dist> <version> <cache folder>
set -uo pipefail
# The mounts live in a namespace of their own and vanish with this script, however it ends.
[ -n "${NORVANE_IN_MOUNT_NAMESPACE:-}" ] ||
    { [ "$(id -u)" -eq 0 ] || { echo "SKIP: the throwaway root needs root (chroot, mounts)"; exit 77; }
      exec unshare --mount --propagation private \
          env NORVANE_IN_MOUNT_NAMESPACE=1 "$0" "$@"; }
source "$(dirname "${BASH_SOURCE[0]}")/../windows/lib.sh"

dist=$(realpath "$1")
version=$2
cache=$3
arch=$(dpkg --print-architecture)
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
packages=("norvane_${version}_$arch.deb" "norvane-devsim_${version}_$arch.deb")
base=$cache/$codename-$arch
export LC_ALL=C.UTF-8

# This machine's own archives for its release: "<uri> <suite> <component>" for every suite of
# the release (bookworm, bookworm-updates, bookworm-security, ...).
archives() {
    apt-get indextargets --no-release-info --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' \
        "Identifier: Packages" "Architecture: $arch" |
        awk -v release="$codename" '$2 == release || index($2, release "-") == 1' | sort -u
}

# in_root <root> <command...>: runs a command in the root with a plain environment.
in_root() {
    local root=$1
    shift
    chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 HOME=/root \
        DEBIAN_FRONTEND=noninteractive "$@"
}

mount_system() {
    local root=$1
    mount -t proc proc "$root/proc" &&
        mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts "$root/dev/pts" &&
        mount --bind "$root/dev/pts/ptmx" "$root/dev/ptmx"
}

make_base() {
    local new=$base.new mirror
    mirror=$(archives | awk -v release="$codename" '$2 == release && $3 == "main" { print $1; exit }')
    [ -n "$mirror" ] || { echo "  no archive for $codename in this machine's apt sources" >&2; return 1; }
    rm -rf "$new"
    mkdir -p "$cache"
    echo "  debootstrap $codename from $mirror (once; kept in $base)"
    debootstrap --variant=minbase --include=man-db "$codename" "$new" "$mirror" \
        >"$cache/debootstrap.log" 2>&1 || { tail -20 "$cache/debootstrap.log" >&2; return 1; }
    archives | awk '{ print "deb " $1 " " $2 " " $3 }' >"$new/etc/apt/sources.list"
    # Nothing started in the root; no manual page index rebuilt at every install.
    printf '#!/bin/sh\nexit 101\n' >"$new/usr/sbin/policy-rc.d"
    chmod 755 "$new/usr/sbin/policy-rc.d"
    echo "man-db man-db/auto-update boolean false" | in_root "$new" debconf-set-selections
    cp "${packages[@]/#/$dist/}" "$new/tmp/"
    (mount_system "$new" &&
        in_root "$new" apt-get update -qq &&
        in_root "$new" sh -c "cd /tmp && apt-get install -qq --download-only --no-install-recommends \
            ${packages[*]/#/./}") >"$cache/base.log" 2>&1 ||
        { tail -20 "$cache/base.log" >&2; return 1; }
    umount "$new/dev/ptmx" "$new/dev/pts" "$new/proc"
    rm -f "${packages[@]/#/$new/tmp/}"
    mv "$new" "$base"
}

if [ ! -d "$base" ]; then
    check "throwaway root: $codename $arch bootstrapped from this machine's apt sources" make_base || exit 1
fi

run=$(mktemp -d "$cache/run.XXXXXX")
devsim=""
cleanup() {
    [ -z "$devsim" ] || kill "$devsim" 2>/dev/null
    # Never remove through a mount: the overlay and the root's /proc go first.
    if ! mountpoint -q "$run/root" || umount -R "$run/root"; then
        rm -rf --one-file-system "$run"
    fi
}
trap cleanup EXIT
mkdir "$run/upper" "$run/work" "$run/root"
root=$run/root
mount -t overlay overlay -o "lowerdir=$base,upperdir=$run/upper,workdir=$run/work" "$root" &&
    mount_system "$root" || { echo "FAIL mounting the throwaway root"; exit 1; }
cp "${packages[@]/#/$dist/}" "$root/tmp/"

install_packages() {
    # A root thrown away after the run needs no file synced to its disk.
    in_root "$root" sh -c "cd /tmp && apt-get install -y -q --no-install-recommends \
        -o Dpkg::Options::=--force-unsafe-io ${packages[*]/#/./}" >"$run/install.log" 2>&1 ||
        { tail -20 "$run/install.log" >&2; return 1; }
    local package
    for package in norvane norvane-devsim; do
        expect_equal "install ok installed" "$(in_root "$root" dpkg-query -W -f '${Status}' "$package")" \
            "$package" || return 1
    done
    grep -E "^[0-9]+ upgraded, [0-9]+ newly installed" "$run/install.log" | sed 's/^/  /'
}
check "apt-get install ./${packages[0]} ./${packages[1]}: dependencies resolved" install_packages || exit 1
# Archives the root fetched since its base was made are kept for the next run.
cp -n "$run/upper/var/cache/apt/archives/"*.deb "$base/var/cache/apt/archives/" 2>/dev/null

version_line() {
    local out
    out=$(in_root "$root" norvane --version) || return 1
    [[ $out == *"Norvane Version $version"* ]] || { echo "  norvane --version: $out" >&2; return 1; }
}
check "norvane --version names $version, without a display" version_line

manual_pages() {
    local page found
    for page in norvane norvane-console norvane-devsim; do
        found=$(in_root "$root" man -w "$page") || return 1
        expect_equal "/usr/share/man/man1/$page.1.gz" "$found" "man -w $page" || return 1
    done
}
check "man -w finds norvane, norvane-console and norvane-devsim" manual_pages

# The demo image fits a TV device; every port but COM1 is nothing. The device greets every
# 3 s: a greeting that crosses the program's start command is an unexpected reply (status 19).
# The program keeps to the pace of 9600 baud: the whole image takes about a minute.
program_simulated_device() {
    local pty status
    coproc DEVSIM {
        exec chroot "$root" env -i PATH=/usr/bin:/bin norvane-devsim --kind TV --serial 7654321 \
            --greeting-ms 3000 --exit-after-run
    }
    devsim=$DEVSIM_PID
    read -r -t 20 pty <&"${DEVSIM[0]}" || { echo "  norvane-devsim printed no terminal" >&2; return 1; }
    in_root "$root" env NORVANE_COM1="$pty" NORVANE_COM2= NORVANE_COM3= NORVANE_COM4= \
        NORVANE_COM5= NORVANE_COM6= NORVANE_COM7= NORVANE_COM8= \
        timeout 120 norvane-console --json >"$run/console.json" 2>"$run/console.err"
    status=$?
    wait "$devsim"
    devsim=""
    sed 's/^/  /' "$run/console.err"
    expect_equal 0 "$status" "norvane-console's status" || { cat "$run/console.json" >&2; return 1; }
    grep -q '^{"event":"found","port":"COM1","path":"[^"]*","device":"Tarvik","serial":"7654321 *"}$' \
        "$run/console.json" || { echo "  no device found on COM1:" >&2; cat "$run/console.json" >&2; return 1; }
    expect_equal '{"event":"result","status":0,"message":"Device correctly programmed"}' \
        "$(tail -1 "$run/console.json")" "last line"
}
check "norvane-devsim and norvane-console --json program the simulated device, status 0" \
    program_simulated_device

udev_rule() {
    local rule=$root/usr/lib/udev/rules.d/60-norvane.rules
    [ -f "$rule" ] || { echo "  no /usr/lib/udev/rules.d/60-norvane.rules" >&2; return 1; }
    if udevadm verify --help >/dev/null 2>&1; then
        udevadm verify "$rule"
    else
        echo "  udevadm verify is not here (systemd 253 or later has it): not run"
    fi
}
check "the udev rule is installed (and udevadm verify accepts it, where it exists)" udev_rule

purge() {
    in_root "$root" apt-get purge -y -q norvane norvane-devsim >"$run/purge.log" 2>&1 ||
        { tail -20 "$run/purge.log" >&2; return 1; }
    local file
    for file in usr/bin/norvane usr/bin/norvane-console usr/bin/norvane-devsim \
        usr/lib/udev/rules.d/60-norvane.rules usr/share/doc/norvane; do
        [ ! -e "$root/$file" ] || { echo "  /$file is left behind" >&2; return 1; }
    done
}
check "apt-get purge removes both packages' files" purge

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
