#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need, as listed in
# scripts/packages/*.txt (one package a line, # for comments). Quiet and quick when everything
# is present already, so every other script can call it first. With arguments, only those
# lists are read (for example: deps.sh build app, what building and running the program need).
# deps.sh --check <lists>: installs nothing; the exit status says whether all are there.
set -euo pipefail
cd "$(dirname "$0")/packages"

check=false
if [ "${1:-}" = "--check" ]; then
    check=true
    shift
fi
lists=("$@")
((${#lists[@]} == 0)) && lists=(*.txt) || lists=("${lists[@]/%/.txt}")

missing=()
for package in $(sed 's/#.*//' "${lists[@]}"); do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
((${#missing[@]} == 0)) && exit 0
$check && exit 1

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
