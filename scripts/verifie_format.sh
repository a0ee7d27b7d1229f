#!/usr/bin/env bash
# Checks that the C++ files this branch changes are laid out as .clang-format
# says. Compared with the merge base with the main branch when the clone
# knows it, else with the previous commit (a shallow clone is deepened by
# one commit to find it). Uncommitted changes count too.
# Exit status 1 with the files to run clang-format on. With no earlier
# commit to be had, every file is checked and the result is only a warning:
# older files were written before the check.
set -euo pipefail
cd "$(dirname "$0")/.."

format=$(command -v clang-format || command -v clang-format-14 || true)
if [ -z "$format" ]; then
  echo "clang-format is missing (Debian package clang-format; scripts/deps.sh installs it)" >&2
  exit 1
fi

base=""
tete=$(git rev-parse -q --verify HEAD 2>/dev/null || true)
for ref in origin/main main; do
  if git rev-parse -q --verify "$ref^{commit}" >/dev/null 2>&1; then
    base=$(git merge-base HEAD "$ref" 2>/dev/null || true)
    [ -n "$base" ] && [ "$base" != "$tete" ] && break
    base=""
  fi
done
if [ -z "$base" ]; then
  base=$(git rev-parse -q --verify 'HEAD~^{commit}' 2>/dev/null || true)
fi
if [ -z "$base" ] && [ "$(git rev-parse --is-shallow-repository 2>/dev/null)" = true ]; then
  git fetch -q --deepen=1 2>/dev/null || true
  base=$(git rev-parse -q --verify 'HEAD~^{commit}' 2>/dev/null || true)
fi

if [ -n "$base" ]; then
  mapfile -t fichiers < <(git diff --name-only --diff-filter=ACMR "$base" -- '*.cpp' '*.h')
  echo "Format: C++ files changed since ${base:0:12}"
else
  mapfile -t fichiers < <(git ls-files -- '*.cpp' '*.h')
  echo "Format: every C++ file (no earlier commit to compare with)"
fi

mal=()
for f in "${fichiers[@]}"; do
  [ -f "$f" ] || continue
  "$format" --style=file --dry-run --Werror "$f" >/dev/null 2>&1 || mal+=("$f")
done
if [ ${#mal[@]} -gt 0 ]; then
  echo "Not formatted (run: clang-format -i ${mal[*]})" >&2
  [ -n "$base" ] && exit 1
  echo "(warning only: no earlier commit to tell this change's files from older ones)" >&2
  exit 0
fi
echo "Format: ${#fichiers[@]} file(s) as .clang-format says."
