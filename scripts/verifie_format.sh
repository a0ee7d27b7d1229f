#!/usr/bin/env bash
# Checks that every C++ file of the repository is laid out as .clang-format
# says. Exit status 1 with the files to run clang-format on.
set -euo pipefail
cd "$(dirname "$0")/.."

format=$(command -v clang-format || command -v clang-format-14 || true)
if [ -z "$format" ]; then
  echo "clang-format is missing (Debian package clang-format; scripts/deps.sh installs it)" >&2
  exit 1
fi

mapfile -t fichiers < <(git ls-files -- '*.cpp' '*.h' '*.c')
mal=()
for f in "${fichiers[@]}"; do
  [ -f "$f" ] || continue
  "$format" --style=file --dry-run --Werror "$f" >/dev/null 2>&1 || mal+=("$f")
done
if [ ${#mal[@]} -gt 0 ]; then
  echo "Not formatted (run: clang-format -i ${mal[*]})" >&2
  exit 1
fi
echo "Format: ${#fichiers[@]} C++ file(s) as .clang-format says."
