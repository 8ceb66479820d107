#!/usr/bin/env bash
# Checks that every C++ file of the repository is laid out as .clang-format
# says; prints the files that are not and exits 1. With --fix it rewrites
# them instead. Needs clang-format 14 (Debian: clang-format-14); installed
# when run as root and missing.
set -euo pipefail
cd "$(dirname "$0")/.."

formatter=""
for candidate in clang-format-14 clang-format; do
  if command -v "$candidate" >/dev/null 2>&1; then formatter=$candidate; break; fi
done
if [ -z "$formatter" ]; then
  if [ "$(id -u)" -eq 0 ]; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang-format-14 >/dev/null
    formatter=clang-format-14
  else
    echo "format check: clang-format is missing; install it with: apt-get install clang-format-14" >&2
    exit 2
  fi
fi
# Versions lay out some constructs differently; the tree is kept in 14's.
if ! "$formatter" --version | grep -q 'version 14\.'; then
  echo "format check: warning: $("$formatter" --version) is not version 14; differences may be the version's" >&2
fi

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  "$formatter" -i --style=file "${files[@]}"
  exit 0
fi
unformatted=0
for file in "${files[@]}"; do
  if ! "$formatter" --style=file --dry-run --Werror "$file" >/dev/null 2>&1; then
    echo "not formatted: $file"
    unformatted=1
  fi
done
if [ "$unformatted" -ne 0 ]; then
  echo "format check: run tools/format_check.sh --fix (or make format) and review the change" >&2
  exit 1
fi
echo "format check: every file is formatted"
