#!/usr/bin/env bash
# Builds in release mode (build-release/, or $PONTEX_BUILD_RELEASE) and
# measures what a large shop waits for: article lookups, applying the
# server's stock movements, the stock export, and a whole Pontex start on a
# register of 32,767 articles with a 100,000-record movement file waiting,
# up to the export file, with the memory it took. Prints one table
# (Markdown), ready for README.md.
#
# When the system-call floor (../shared/bench/floor.c beside the repository:
# a minimal C program making exactly the file operations an exchange
# requires) is there, it is built and run on the same register and file,
# turn about with Pontex, and the table gives the ratio of the two: the
# machine is too noisy for absolute times alone.
set -uo pipefail
export LC_ALL=C
racine=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/deps.sh
source "$racine/scripts/deps.sh"
pontex_installe_dependances || exit 1

build=${PONTEX_BUILD_RELEASE:-$racine/build-release}
echo "Building in release mode in $build..." >&2
# Warnings are the test build's business (scripts/test.sh): the optimiser's
# own false alarms must not stop a measurement.
mkdir -p "$build" || exit 1
PONTEX_BUILD=$build PONTEX_BUILD_TYPE=Release pontex_construit -DPONTEX_TESTS=OFF \
  -DPONTEX_WERROR=OFF >"$build/construction.log" 2>&1 || {
  tail -n 30 "$build/construction.log" >&2
  echo "The release build failed (whole log: $build/construction.log)." >&2
  exit 1
}

plancher=
plancher_source=$racine/../shared/bench/floor.c
if [ -f "$plancher_source" ] &&
  ${CC:-cc} -O2 -o "$build/bench/floor" "$plancher_source" >>"$build/construction.log" 2>&1; then
  plancher=$build/bench/floor
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/pontex-bench-XXXXXX") || exit 1
pontex_pid=
nettoie() {
  if [ -n "$pontex_pid" ]; then
    kill "$pontex_pid" 2>/dev/null
    wait "$pontex_pid" 2>/dev/null
  fi
  rm -rf -- "$tmp"
}
trap nettoie EXIT
trap 'exit 130' INT TERM

# Runs one benchmark program with JSON output; prints "name key value" for
# every number of every benchmark.
mesure_programme() { # PROGRAM
  [ -x "$1" ] || return 1
  "$1" --benchmark_format=json 2>/dev/null | awk '
    /^ *"name":/ { gsub(/[",]/, "", $2); nom = $2 }
    /^ *"time_unit":/ { gsub(/[",]/, "", $2); if (nom != "") print nom, "time_unit", $2 }
    /^ *"[^"]+": -?[0-9.e+-]+,?$/ {
      cle = $0; sub(/^ *"/, "", cle); sub(/":.*/, "", cle); gsub(/ /, "_", cle)
      valeur = $NF; sub(/,$/, "", valeur)
      if (nom != "") print nom, cle, valeur
    }'
}

echo "Article lookups..." >&2
recherche=$(mesure_programme "$build/bench/bench_recherche")
echo "Applying movements and exporting..." >&2
echange=$(PONTEX_PLANCHER=$plancher mesure_programme "$build/bench/bench_echange")

# A benchmark's value; its name may carry suffixes ("BM_ExportStock/real_time").
valeur() { # TEXT BENCHMARK KEY
  awk -v n="$2" -v c="$3" '($1 == n || index($1, n "/") == 1) && $2 == c { print $3; exit }' <<<"$1"
}
# A benchmark's time per iteration in milliseconds.
millisecondes() { # TEXT BENCHMARK
  local t u
  t=$(valeur "$1" "$2" real_time)
  u=$(valeur "$1" "$2" time_unit)
  [ -n "$t" ] || return 0
  awk -v t="$t" -v u="$u" 'BEGIN {
    f = (u == "ns") ? 1e-6 : (u == "us") ? 1e-3 : (u == "s") ? 1e3 : 1
    print t * f
  }'
}
nombre() { # VALUE DECIMALS -> "n/a" when missing
  if [ -z "$1" ]; then echo "n/a"; else printf "%.${2}f" "$1"; fi
}
# Thousands separated by a thin space for reading: 812000 -> 812 000.
entier() {
  if [ -z "$1" ]; then
    echo "n/a"
  else
    printf '%.0f' "$1" | sed -e ':a' -e 's/\([0-9]\)\([0-9]\{3\}\)\($\| \)/\1 \2\3/' -e 'ta'
  fi
}

# --- A whole Pontex start on a large shop -----------------------------------
echo "Pontex on 32,767 articles with 100,000 movements waiting (3 runs)..." >&2
boutique=$tmp/shop
mkdir -p "$boutique" "$tmp/transit/import/histo" "$tmp/transit/export/histo"
cp "$build/bin/qz_img_024.gif" "$boutique/" 2>/dev/null
"$build/tools/fabrique_caisse" "$tmp/caisse" --articles 32767 --queue 500 --graine 2 >/dev/null ||
  exit 1
printf '%s\r\n' "#TRANSIT#$tmp/transit\\" "#FICBASE#$tmp/caisse\\" '#REFARTI#1' '#NOM_STO#stock_' \
  '#NUMPOST#1' '#UTILISA#1' '#TIM_ANA#60' >"$boutique/Pontex.wdo"
"$build/tools/serveur_simule" --boutique "$boutique" --ecrit-mouvements "$tmp/mvt.txt" \
  --records 100000 --graine 3 >/dev/null || exit 1

durees=()
memoires=()
for essai in 1 2 3; do
  rm -f "$tmp"/transit/export/stock_*.txt
  cp "$tmp/mvt.txt" "$tmp/transit/import/mvt_$essai.txt"
  # Older than the two seconds by which Pontex leaves a file still being written.
  touch -d '-1 minute' "$tmp/transit/import/mvt_$essai.txt"
  debut=$(date +%s%N)
  (cd "$boutique" && QT_QPA_PLATFORM=offscreen exec "$build/bin/Pontex") >>"$tmp/pontex.log" 2>&1 &
  pontex_pid=$!
  until compgen -G "$tmp/transit/export/stock_*.txt" >/dev/null; do
    if ! kill -0 "$pontex_pid" 2>/dev/null || [ $(($(date +%s%N) - debut)) -gt 180000000000 ]; then
      echo "Pontex wrote no export (log: $tmp/pontex.log)" >&2
      tail -n 20 "$tmp/pontex.log" >&2
      exit 1
    fi
    sleep 0.01
  done
  fin=$(date +%s%N)
  # The most memory the process has held, the whole journal in it.
  memoires+=("$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$pontex_pid/status" 2>/dev/null)")
  kill "$pontex_pid" 2>/dev/null
  wait "$pontex_pid" 2>/dev/null
  pontex_pid=
  [ -e "$tmp/transit/import/mvt_$essai.txt" ] && {
    echo "Pontex did not take the movement file" >&2
    exit 1
  }
  durees+=("$(((fin - debut) / 1000000 - 5000))")
done
mediane=$(printf '%s\n' "${durees[@]}" | sort -n | sed -n 2p)
memoire=$(printf '%s\n' "${memoires[@]}" | sort -n | sed -n 3p)

# --- The table ---------------------------------------------------------------
processeur=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
# Lookups per second of elapsed time, what the shop waits for (the
# benchmark's own rate counts processor time only).
lookup() { # BENCHMARK
  local ms par_seconde=
  ms=$(millisecondes "$recherche" "$1")
  [ -n "$ms" ] && par_seconde=$(awk -v m="$ms" 'BEGIN { if (m > 0) print 1000 / m }')
  echo "$(entier "$par_seconde") lookups/s," \
    "$(nombre "$(valeur "$recherche" "$1" lectures/recherche)" 1) reads/lookup"
}
echo
echo "Measured on $(date +%Y-%m-%d), ${processeur:-unknown processor}, $(nproc) cores, release build:"
echo
echo "| measure | result |"
echo "|---|---|"
echo "| article lookup, 32,767 sorted keys + 1,000 unsorted: key in the sorted part | $(lookup BM_TrouveeTriee) |"
echo "| article lookup: key in the unsorted tail | $(lookup BM_TrouveeQueue) |"
echo "| article lookup: unknown reference | $(lookup BM_Absente) |"
sans=BM_ApplicationMouvements/journal_fichier:0
avec=BM_ApplicationMouvements/journal_fichier:1
echo "| applying 100,000 stock movements to 32,767 articles |" \
  "$(entier "$(valeur "$echange" $sans records/s)") records/s," \
  "$(nombre "$(valeur "$echange" $sans lectures/record)" 1) reads" \
  "and $(nombre "$(valeur "$echange" $sans ecritures/record)" 1) writes per record |"
# The journal file's cost: the same application with every line also
# written to the day's journal file (target: at most 3 % fewer records/s).
baisse=$(awk -v a="$(valeur "$echange" $avec records/s)" -v s="$(valeur "$echange" $sans records/s)" \
  'BEGIN { if (s > 0 && a > 0) print (s - a) * 100 / s }')
echo "| the same with the journal file written too |" \
  "$(entier "$(valeur "$echange" $avec records/s)") records/s ($(nombre "$baisse" 1) % fewer) |"
if [ -n "$plancher" ]; then
  # Both apply phases run first to last record; the whole file adds, on
  # Pontex's side, the checks before and after it and the flush to disk.
  echo "| applying 100,000 stock movements, first to last record, Pontex and the system-call floor turn about in this run (7 turns, median of the turns' ratios) |" \
    "Pontex $(entier "$(valeur "$echange" BM_PontexContrePlancher pontex_records/s)") records/s," \
    "floor $(entier "$(valeur "$echange" BM_PontexContrePlancher plancher_records/s)") records/s:" \
    "**ratio $(nombre "$(valeur "$echange" BM_PontexContrePlancher rapport)" 2)×**" \
    "(Pontex's whole file: $(nombre "$(valeur "$echange" BM_PontexContrePlancher rapport_fichier)" 2)×) |"
fi
echo "| stock export of 32,767 articles | $(nombre "$(millisecondes "$echange" BM_ExportStock)" 1) ms |"
if [ -n "$plancher" ]; then
  echo "| stock export, Pontex and the floor turn about (20 each) |" \
    "Pontex $(nombre "$(valeur "$echange" BM_ExportContrePlancher pontex_ms)" 1) ms," \
    "floor $(nombre "$(valeur "$echange" BM_ExportContrePlancher plancher_ms)" 1) ms:" \
    "**ratio $(nombre "$(valeur "$echange" BM_ExportContrePlancher rapport)" 2)×** |"
fi
echo "| Pontex started offscreen on 32,767 articles with a 100,000-record file waiting: start to export file, 5-second countdown excluded (median of 3) | $(nombre "$(awk -v m="$mediane" 'BEGIN { print m / 1000 }')" 2) s |"
echo "| peak memory of that Pontex process, 100,000 journal lines in it (highest of 3) |" \
  "$(nombre "$(awk -v k="$memoire" 'BEGIN { if (k != "") print k / 1024 }')" 1) MB |"
