#!/usr/bin/env bash
# Runs Pontex on a demo shop. Not ready yet: the main program is still being
# built; this script only builds everything for now.
set -euo pipefail
racine=$(cd "$(dirname "$0")/.." && pwd)
source "$racine/scripts/deps.sh"
pontex_installe_dependances
pontex_construit
echo "The demo shop is not available yet: the Pontex program is still being built."
