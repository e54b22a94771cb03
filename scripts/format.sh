#!/usr/bin/env bash
# Formats every tracked C/C++ file with the repository's .clang-format
# (clang-format 14), or with --check lists the files that differ and fails.
#   usage: scripts/format.sh [--check] [FILE...]
set -euo pipefail
cd "$(dirname "$0")/.."
check=0
if [ "${1:-}" = "--check" ]; then check=1; shift; fi
format=clang-format-14
command -v "$format" >/dev/null 2>&1 || format=clang-format
if [ $# -gt 0 ]; then files=("$@"); else mapfile -t files < <(git ls-files '*.cpp' '*.h'); fi
if [ $check -eq 0 ]; then
  "$format" -i "${files[@]}"
  exit 0
fi
# One run over every file; each difference is reported as a warning naming its file.
if report=$("$format" --dry-run --Werror "${files[@]}" 2>&1); then
  echo "format: ${#files[@]} files as .clang-format says"
  exit 0
fi
echo "$report" | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/format: differs from .clang-format: \1/p' | sort -u
echo "format: run scripts/format.sh to fix"
exit 1
