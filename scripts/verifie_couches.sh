#!/usr/bin/env bash
# Keeps the layers as CODING.md draws them: every include between our own
# folders points down, and the core (pontex/shared, data, exchange, and the
# tools and pontex-etat built on it) includes no Qt header, so that it still
# builds for Windows without Qt and is tested without a display.
#
#   core:     pontex/shared <- pontex/data <- pontex/exchange <- tools, etat
#   widgets:  pontex/fenetres
#   windows:  pontex/app, kestrap, relvano (none includes another)
#
# Usage: scripts/verifie_couches.sh [tree]   (default: this repository)
# Prints each wrong include and exits 1 when there is one.
set -euo pipefail
racine=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$racine"

# Tests and benchmarks stand outside the layers: they may include anything.
{ git ls-files -- '*.h' '*.cpp' 2>/dev/null || find . -name '*.h' -o -name '*.cpp' | sed 's#^\./##'; } |
  grep -E '^(pontex/|tools/|etat/|kestrap/|relvano/)' | xargs awk '
    # The layer of a folder, higher above; -1 outside the layers.
    function couche(d) {
      if (d == "pontex/shared") return 0
      if (d == "pontex/data") return 1
      if (d == "pontex/exchange") return 2
      if (d == "tools" || d == "etat") return 3
      if (d == "pontex/fenetres") return 4
      if (d == "pontex/app" || d == "kestrap" || d == "relvano") return 5
      return -1
    }
    function dossier(chemin,   p) {
      split(chemin, p, "/")
      return p[1] == "pontex" ? p[1] "/" p[2] : p[1]
    }
    function faute(texte) {
      printf "%s:%d: %s: %s\n", FILENAME, FNR, $0, texte
      fautes++
    }
    FNR == 1 { source = dossier(FILENAME); niveau = couche(source) }
    /^[ \t]*#[ \t]*include/ {
      inclus = $0
      sub(/^[^<"]*[<"]/, "", inclus)
      sub(/[>"].*$/, "", inclus)
      if (inclus ~ /^Q[A-Za-z]*(\/.*)?$/ || inclus ~ /^q[a-z_]*\.h$/) {
        # Qt: <QWidget>, <QtCore/...>, <qdrawutil.h>.
        if (niveau <= 3) faute("Qt header in the core")
      } else if (inclus ~ /\//) {
        cible = dossier(inclus)
        n = couche(cible)
        if (n >= 0 && cible != source) {
          if (n > niveau) faute(source " includes " cible ", a higher layer")
          else if (n == niveau) faute(source " includes " cible ", beside it")
          else if (cible == "tools") faute("tools/ is for the tests only")
        }
      }
    }
    END {
      if (fautes > 0) {
        printf "%d include(s) against the layers (see CODING.md)\n", fautes > "/dev/stderr"
        exit 1
      }
      print "Layers: every include points down, no Qt in the core."
    }' || exit 1
