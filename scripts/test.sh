#!/usr/bin/env bash
# Installs what is missing, checks the layers, builds build/ with warnings as errors and runs
# every test. Exit status non-zero on any failure.
set -euo pipefail
racine=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/deps.sh
source "$racine/scripts/deps.sh"
pontex_installe_dependances
# The layers first: a wrong include fails fast, before a long build.
bash "$racine/scripts/verifie_couches.sh"
pontex_construit
export QT_QPA_PLATFORM=offscreen
cd "${PONTEX_BUILD:-$racine/build}"
ctest --output-on-failure --timeout 300
