#!/usr/bin/env bash
# The demo shop, end to end, so that it cannot rot: lays a demo out in a
# temporary folder from this build (installed folder, sample cash register,
# transit folder), runs the stock-server simulator for one exchange with the
# installed Pontex offscreen, and checks what the exchange left in the files
# by reading them directly, not through the simulator. Then checks that the
# demo's stop finds and ends every program it started, and that laying the
# demo out again keeps the shop's files.
#
#   test_demo.sh SOURCE_FOLDER BUILD_FOLDER
set -uo pipefail
source_dir=$1
build=$2
# shellcheck source=scripts/demo.sh
source "$source_dir/scripts/demo.sh"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/pontex-demo-XXXXXX") || exit 1
demo=$tmp/demo
boutique=
sim=
nettoie() {
  if [ -n "$sim" ]; then
    kill -TERM "$sim" 2>/dev/null
    wait "$sim" 2>/dev/null
  fi
  [ -n "$boutique" ] && demo_arrete_programmes "$boutique"
  rm -rf -- "$tmp"
}
trap nettoie EXIT
trap 'exit 130' INT TERM

echec() {
  echo "FAILED: $*" >&2
  if [ -s "$demo/pontex.log" ]; then
    echo "--- pontex.log" >&2
    tail -n 20 "$demo/pontex.log" >&2
  fi
  exit 1
}

# A little-endian Long of a file at a byte offset.
long_a() { od -An -t d4 -j "$2" -N 4 "$1" | tr -d ' '; }

# --- The layout -------------------------------------------------------------
mkdir -p "$demo"
boutique=$(demo_dispose "$demo" "$build" 1) || echec "laying the demo out"
for f in Pontex relvano kestrap qz_img_024.gif Kestrap.ico kestrap.wdo Pontex.desktop Pontex.wdo; do
  [ -f "$boutique/$f" ] || echec "$f is missing from the installed folder $boutique"
done
grep -q "^Exec=$boutique/Pontex --sans-focus\$" "$boutique/Pontex.desktop" ||
  echec "Pontex.desktop does not start $boutique/Pontex"
grep -q "^Path=$boutique\$" "$boutique/Pontex.desktop" ||
  echec "Pontex.desktop does not start Pontex in $boutique"

wdo=$boutique/Pontex.wdo
# Windows text: every line ends with CR LF.
[ "$(grep -c $'\r$' "$wdo")" = "$(wc -l <"$wdo")" ] || echec "Pontex.wdo lines do not all end with CR LF"
for ligne in "#TRANSIT#$demo/transit\\" "#FICBASE#$demo/caisse\\" '#REFARTI#1' '#NOM_STO#stock_' \
  '#TIM_ANA#2'; do
  grep -qF -- "$ligne " "$wdo" || echec "Pontex.wdo lacks $ligne"
done
grep -q '^#NUMPOST#[0-9]' "$wdo" && grep -q '^#UTILISA#[0-9]' "$wdo" ||
  echec "Pontex.wdo lacks the workstation or user number"

for d in import import/histo export export/histo; do
  [ -d "$demo/transit/$d" ] || echec "transit/$d is missing"
done
caisse=$demo/caisse
[ "$(long_a "$caisse/w_caiar4.wdo" 105)" = 1500 ] || echec "the register does not count 1500 articles"
[ -f "$caisse/w_cai020.wdo" ] || echec "the register has no main file"
total=$(long_a "$caisse/W_caiind.WDO" 16)
triees=$(long_a "$caisse/W_caiind.WDO" 20)
[ $((total - triees)) -gt 0 ] && [ $((total - triees)) -le 50 ] ||
  echec "the index has no short unsorted tail ($triees sorted of $total)"
[ "$(long_a "$caisse/W_CAIREC.WDO" 48)" = 0 ] || echec "the movement file is not empty"

# --- One exchange -----------------------------------------------------------
export QT_QPA_PLATFORM=offscreen
"$build/tools/serveur_simule" --boutique "$boutique" --recus "$demo/serveur/recus" \
  --echanges 1 --attente-max 60 --graine 7 >"$tmp/serveur.txt" 2>&1 &
sim=$!
demo_attend_livraison "$demo" "$sim" || echec "the stock server delivered no file"
demo_lance_pontex "$boutique" "$demo/pontex.log"
wait "$sim"
statut=$?
sim=
cat "$tmp/serveur.txt"
[ $statut = 0 ] || echec "the stock server ended with status $statut"

recus=("$demo"/serveur/recus/stock_*.txt)
[ ${#recus[@]} = 1 ] && [ -f "${recus[0]}" ] || echec "the server did not collect one export"
compgen -G "$demo/transit/export/stock_*.txt" >/dev/null && echec "an export was left in export/"
lignes=$(wc -l <"${recus[0]}")
[ "$lignes" -gt 1000 ] && [ "$lignes" -lt 1500 ] || echec "the export holds $lignes lines"
[ "$(grep -c $'\t\r$' "${recus[0]}")" = "$lignes" ] || echec "export lines not ending with TAB CR LF"

[ "$(long_a "$caisse/W_CAIREC.WDO" 48)" = 12 ] || echec "the exchange did not record 12 movements"
[ "$(($(stat -c %s "$caisse/W_CAIREC.WDO") / 64))" = 13 ] ||
  echec "the movement file does not hold its header and 12 movements"
compgen -G "$demo/transit/import/mvt_*.txt" >/dev/null && echec "the movement file was not taken"
compgen -G "$demo/transit/import/mvt_*.old" >/dev/null || echec "no kept copy of the movement file"
erreurs=("$demo"/transit/import/erreurs_*.err)
[ "$(grep -c '^Erreur reference : NOUV-' "${erreurs[0]}" 2>/dev/null)" = 1 ] ||
  echec "the day's error file does not list the unknown reference"
[ -e "$boutique/prov_stk_ana_ron.txt" ] && echec "the working file was left behind"

# --- Stop, then lay out again -----------------------------------------------
[ -n "$(demo_processus "$boutique")" ] || echec "no program of the demo found running"
demo_arrete_programmes "$boutique" || echec "the programs of the demo did not stop"
[ -z "$(demo_processus "$boutique")" ] || echec "a program of the demo is still running"

demo_dispose "$demo" "$build" 0 >/dev/null || echec "laying the demo out again"
[ "$(long_a "$caisse/W_CAIREC.WDO" 48)" = 12 ] || echec "laying out again lost the movements"
[ -f "${recus[0]}" ] || echec "laying out again lost the collected export"
echo "Demo shop: laid out, one exchange applied and collected, stopped, kept."
