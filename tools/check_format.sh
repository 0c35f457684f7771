#!/bin/sh
# Fails when a tracked C or C++ source differs from .clang-format's layout.
set -eu
cd "$(dirname "$0")/.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    files=$(git ls-files '*.c' '*.cpp' '*.h')
else
    files=$(find core platform control viewer client tools tests -name '*.c' -o -name '*.cpp' -o -name '*.h' 2>/dev/null)
fi
# shellcheck disable=SC2086
clang-format --dry-run -Werror $files
echo "check_format: $(echo "$files" | wc -w) sources formatted"
