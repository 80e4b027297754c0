#!/usr/bin/env bash
# Fails on a C++ source that is not in the tree's one style (.clang-format),
# naming each file and line; `clang-format -i FILE` puts it right.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
clang-format --version
clang-format --dry-run -Werror "${sources[@]}"
echo "check-format: ${#sources[@]} sources in the tree's style"
