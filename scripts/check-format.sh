#!/usr/bin/env bash
# Checks that every C++ file the repository tracks is formatted as .clang-format says; prints
# the files that drift and fails. Changes nothing: `clang-format -i <file>` mends a file.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
drift=$(clang-format --dry-run "${files[@]}" 2>&1 | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: warning:.*/\1/p' | sort -u)
if [ -n "$drift" ]; then
    echo "Not formatted as .clang-format says (clang-format -i mends them):"
    echo "$drift"
    exit 1
fi
echo "format: ${#files[@]} files as .clang-format says"
