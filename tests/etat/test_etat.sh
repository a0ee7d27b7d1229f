#!/usr/bin/env bash
# The programs as a terminal sees them: --help and --version print, exit 0,
# need no display and leave the folder they run in as it was (no lock file,
# no journal); and pontex-etat's exit status for each state of a shop's
# status file, read from the current folder or from a folder given.
#
#   test_etat.sh BIN_FOLDER
set -uo pipefail
bin=$(cd "$1" && pwd) || exit 1
tmp=$(mktemp -d "${TMPDIR:-/tmp}/pontex-etat-XXXXXX") || exit 1
trap 'rm -rf -- "$tmp"' EXIT
fautes=0
echec() {
  echo "FAILED: $*" >&2
  fautes=$((fautes + 1))
}

# --- --help and --version ----------------------------------------------------
version=$(sed -n 's/^project(Pontex VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")
for programme in Pontex relvano kestrap pontex-etat; do
  for option in --version --help; do
    vide=$tmp/vide-$programme$option
    mkdir "$vide"
    # No display at all: a program that opened a window would fail here.
    sortie=$(cd "$vide" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
      timeout 20 "$bin/$programme" "$option" 2>&1)
    code=$?
    [ $code = 0 ] || echec "$programme $option: exit status $code ($sortie)"
    [ -z "$(ls -A "$vide")" ] ||
      echec "$programme $option wrote into its folder: $(ls -A "$vide")"
    case $option in
      --version) [ "$sortie" = "$programme $version" ] || echec "$programme --version printed: $sortie" ;;
      --help) case $sortie in Usage:\ $programme*) ;; *) echec "$programme --help printed: $sortie" ;; esac ;;
    esac
    # The one argument Pontex and relvano act on is said.
    if [ "$option" = --help ] && { [ $programme = Pontex ] || [ $programme = relvano ]; }; then
      case $sortie in *--sans-focus*) ;; *) echec "$programme --help does not name --sans-focus" ;; esac
    fi
  done
done

# --- pontex-etat ---------------------------------------------------------------
# A status file whose last exchange lies AGE seconds back, the next one due
# PERIOD minutes after it, with ERRORS errors.
etat() { # FOLDER AGE PERIOD ERRORS
  local dernier prochain
  dernier=$(date -d "@$(($(date +%s) - $2))" --iso-8601=seconds)
  prochain=$(date -d "@$(($(date +%s) - $2 + $3 * 60 + 7))" --iso-8601=seconds)
  printf '{\n  "version": "%s",\n  "processus": 1,\n  "dernier_echange": "%s",\n  "dernier_echange_bon": null,\n  "fichiers_pris": 1,\n  "mouvements_appliques": 3,\n  "erreurs": %s,\n  "refus": 0,\n  "derniere_erreur": "%s",\n  "minutes_entre_echanges": %s,\n  "prochain_echange": "%s"\n}\n' \
    "$version" "$dernier" "$4" "$([ "$4" = 0 ] || echo '1.00 x Erreur reference : X')" "$3" "$prochain" \
    >"$1/pontex_etat.json"
}
attendu() { # STATUS WORD FOLDER [ARGUMENT]
  local sortie code
  sortie=$(cd "$3" && "$bin/pontex-etat" ${4:+"$4"})
  code=$?
  [ $code = "$1" ] || echec "pontex-etat gave $code, not $1: $sortie"
  case $sortie in "PONTEX $2 - "*) ;; *) echec "pontex-etat printed: $sortie" ;; esac
  [ "$(printf '%s\n' "$sortie" | wc -l)" = 1 ] || echec "pontex-etat printed more than one line"
}
boutique=$tmp/boutique
mkdir "$boutique"
attendu 2 CRITICAL "$boutique"
etat "$boutique" 5 30 0
attendu 0 OK "$boutique"
attendu 0 OK "$tmp" "$boutique"
etat "$boutique" 5 30 2
attendu 1 WARNING "$boutique"
etat "$boutique" $((30 * 60 + 7 + 180)) 30 0
attendu 1 WARNING "$boutique"
etat "$boutique" $((2 * 30 * 60 + 6 * 60)) 30 0
attendu 2 CRITICAL "$boutique"
attendu 2 CRITICAL "$tmp" "$boutique"
# Refusals have their own figure beside the errors.
case $(cd "$boutique" && "$bin/pontex-etat") in *" erreurs=0 refus=0") ;; *) echec "no refus= figure" ;; esac
# Written the moment no exchange can run, or Pontex ends: never OK.
hors_echange() { # FOLDER STATE REASON
  local maintenant
  maintenant=$(date --iso-8601=seconds)
  printf '{"etat": "%s", "raison": "%s", "depuis": "%s", "dernier_echange": "%s",
 "dernier_echange_bon": "%s", "minutes_entre_echanges": 30, "prochain_echange": null}
' \
    "$2" "$3" "$maintenant" "$maintenant" "$maintenant" >"$1/pontex_etat.json"
}
hors_echange "$boutique" verrou_refuse "Le verrou du dossier ne peut pas etre pris"
attendu 1 WARNING "$boutique"
hors_echange "$boutique" arrete_utilisateur "Sortie du logiciel confirmee"
attendu 2 CRITICAL "$boutique"
case $(cd "$boutique" && "$bin/pontex-etat") in *"stopped by the user: Sortie du logiciel confirmee"*) ;; *) echec "no reason for the quit" ;; esac
# Values Pontex never writes: a count that overflows the sum, a negative one, a date ahead.
etat "$boutique" 5 30 9223372036854775807
sed -i 's/"refus": 0/"refus": 1/' "$boutique/pontex_etat.json"
attendu 3 UNKNOWN "$boutique"
etat "$boutique" 5 30 -3
sed -i 's/"refus": 0/"refus": 3/' "$boutique/pontex_etat.json"
attendu 3 UNKNOWN "$boutique"
etat "$boutique" -3600 30 0
attendu 3 UNKNOWN "$boutique"
printf '{"dernier_echange": "2026-12' >"$boutique/pontex_etat.json"
attendu 3 UNKNOWN "$boutique"
rm "$boutique/pontex_etat.json" && mkdir "$boutique/pontex_etat.json"
attendu 3 UNKNOWN "$boutique"

[ $fautes = 0 ] || exit 1
echo "--help, --version and pontex-etat's exit statuses as expected."
