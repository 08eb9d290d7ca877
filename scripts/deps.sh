#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need. Quiet and quick when
# everything is present already, so every other script can call it first.
set -euo pipefail

packages=(
    g++ cmake ninja-build      # the build
    libgtest-dev libgmock-dev  # the tests
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
((${#missing[@]} == 0)) && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
