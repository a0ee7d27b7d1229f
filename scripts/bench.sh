#!/usr/bin/env bash
# Builds in release mode (build-release/, or $PONTEX_BUILD_RELEASE) and
# measures what a large shop waits for, against two floors: the shared one
# (../shared/bench/floor.c beside the repository, the fixed yardstick) and
# ours (bench/plancher: the file operations an exchange requires and nothing
# else, each read as few calls as the files allow), turn about on the same
# register and file, since the machine is too noisy for absolute times alone:
#  - the Pontex program as the shop starts it, on two registers of 32,767
#    articles (shapes A and B below) with a 100,000-record movement file
#    waiting, timed from outside: its apply phase from the first movement
#    record to the last (the movement file's header count, polled by the
#    floor's watch), its processor time and memory; offscreen, with and
#    without the syncs of its power-cut groups, and with its window shown on
#    a virtual X display (Xvfb);
#  - the exchange core in-process (bench_echange), article lookups, export.
# Prints one table (Markdown), ready for README.md.
#
# PONTEX_BENCH_TOURS sets the turns of each shape and display (3; 7 or more
# for figures to quote); PONTEX_BENCH_PROGRAMME=1 measures the programs only.
set -uo pipefail
export LC_ALL=C
racine=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/deps.sh
source "$racine/scripts/deps.sh"
# shellcheck source=scripts/bench-fonctions.sh
source "$racine/scripts/bench-fonctions.sh"
pontex_installe_dependances || exit 1

build=${PONTEX_BUILD_RELEASE:-$racine/build-release}
echo "Building in release mode in $build..." >&2
# Warnings are the test build's business (scripts/test.sh): the optimiser's
# own false alarms must not stop a measurement.
mkdir -p "$build" || exit 1
# PONTEX_MESURE: the switch that turns the group syncs off, for this
# benchmark's row with and without them; no other build has it.
# Only what is measured is built: on a shared two-core machine the other
# programs cost minutes.
{
  PONTEX_BUILD=$build PONTEX_BUILD_TYPE=Release pontex_configure -DPONTEX_TESTS=OFF \
    -DPONTEX_WERROR=OFF -DPONTEX_MESURE=ON &&
    cmake --build "$build" --target Pontex plancher attente_disque bench_echange bench_recherche \
      fabrique_caisse serveur_simule
} >"$build/construction.log" 2>&1 || {
  tail -n 30 "$build/construction.log" >&2
  echo "The release build failed (whole log: $build/construction.log)." >&2
  exit 1
}

plancher=$build/bench/plancher
[ -x "$plancher" ] || {
  echo "No floor program in $build/bench (built with -DPONTEX_BENCH=ON?)." >&2
  exit 1
}
reference=
# Beside the repository, or beside its main checkout for a git worktree.
reference_source=$racine/../shared/bench/floor.c
commun=$(git -C "$racine" rev-parse --path-format=absolute --git-common-dir 2>/dev/null)
if [ ! -f "$reference_source" ] && [ -n "$commun" ] && [ -f "$commun/../../shared/bench/floor.c" ]; then
  reference_source=$commun/../../shared/bench/floor.c
fi
if [ -f "$reference_source" ] &&
  ${CC:-cc} -O2 -o "$build/bench/floor" "$reference_source" >>"$build/construction.log" 2>&1; then
  reference=$build/bench/floor
fi
tours=${PONTEX_BENCH_TOURS:-3}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/pontex-bench-XXXXXX") || exit 1
pontex_pid=
xvfb_pid=
nettoie() {
  for p in $pontex_pid $xvfb_pid; do
    kill "$p" 2>/dev/null
    wait "$p" 2>/dev/null
  done
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

recherche=
echange=
# PONTEX_BENCH_PROGRAMME=1: the program's rows only (quicker, while working
# on the window side).
if [ "${PONTEX_BENCH_PROGRAMME:-0}" != 1 ]; then
  echo "Article lookups..." >&2
  recherche=$(mesure_programme "$build/bench/bench_recherche")
  echo "Applying movements and exporting, the core against the floor..." >&2
  echange=$(PONTEX_PLANCHER=$plancher mesure_programme "$build/bench/bench_echange")
fi

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

# --- The Pontex program on two shops, against both floors -------------------
# Shape A: the sample maker's register, 32,767 articles indexed by code and
# reference (63,875 entries, the last 500 unsorted), the delivery drawn by the
# stock server from what it can send. Shape B: 32,767 articles coded
# ART000001..., indexed by code only (30,000 sorted, 2,767 unsorted), the
# delivery 100,000 records ART%06d drawn evenly, 8 % of them in the tail.
boutique=$tmp/shop
mkdir -p "$boutique" "$tmp/transit/import/histo" "$tmp/transit/export/histo"
cp "$build/bin/qz_img_024.gif" "$boutique/" 2>/dev/null
printf '%s\r\n' "#TRANSIT#$tmp/transit\\" "#FICBASE#$tmp/caisse\\" '#REFARTI#1' '#NOM_STO#stock_' \
  '#NUMPOST#1' '#UTILISA#1' '#TIM_ANA#60' >"$boutique/Pontex.wdo"
forme=A


# The register of a shape in caisse0_SHAPE and its delivery in mvt_SHAPE.txt.
prepare_forme() { # SHAPE
  forme=$1
  if [ "$1" = A ]; then
    "$build/tools/fabrique_caisse" "$tmp/caisse0_A" --articles 32767 --queue 500 --graine 2 \
      >/dev/null || return 1
    caisse_neuve
    # Every reference known to the register: the comparison is of applied records.
    "$build/tools/serveur_simule" --boutique "$boutique" --ecrit-mouvements "$tmp/mvt_A.txt" \
      --records 100000 --graine 3 >/dev/null || return 1
  else
    "$build/tools/fabrique_caisse" "$tmp/caisse0_B" --articles 32767 --queue 2767 --graine 2 \
      --codes-seuls --prefixe-codes ART >/dev/null || return 1
    awk 'BEGIN { srand(3); for (i = 0; i < 100000; i++)
      printf "ART%06d\t%d\n", 1 + int(rand() * 32767), int(rand() * 15) - 5 }' >"$tmp/mvt_B.txt"
  fi
}
records=100000

# One run of Pontex, as the shop starts it, with the watch beside it.
# Prints "apply WHOLE START IDLE_KB PEAK_KB PROCESSOR SYNCS" (seconds, kB;
# SYNCS the time it waited in its syncs, timed inside it); fails when the
# exchange did not come to its export. With sans_syncs=1 (a benchmark build
# only) the groups are not put on the disk.
pontex_une_fois() { # PLATFORM [DISPLAY]
  caisse_neuve
  rm -f "$tmp"/transit/export/stock_*.txt "$tmp"/transit/export/histo/* "$tmp"/transit/import/*.old
  rm -rf "$boutique/journal" "$boutique/W_intlog.wdo" "$boutique/fichiers_appliques.wdo"
  cp "$tmp/mvt_$forme.txt" "$tmp/transit/import/mvt.txt"
  # Older than the two seconds by which Pontex leaves a file still being written.
  touch -d '-1 minute' "$tmp/transit/import/mvt.txt"
  guette_depuis_la "$tmp/transit/export" "$boutique/prov_stk_ana_ron.txt"
  local guet=$guet_pid repos= debut=- lance
  lance=$(date +%s%N)
  rm -f "$tmp/attente.txt"
  (cd "$boutique" && QT_QPA_PLATFORM=$1 DISPLAY=${2:-} \
    PONTEX_MESURE_SANS_SYNCS=${sans_syncs:-0} LD_PRELOAD=$build/bench/libattente_disque.so \
    PONTEX_ATTENTE_DISQUE=$tmp/attente.txt exec "$build/bin/Pontex") >>"$tmp/pontex.log" 2>&1 &
  pontex_pid=$!
  # Start-up: launch to the main window shown on the display.
  if [ -n "${2:-}" ] && command -v xdotool >/dev/null &&
    DISPLAY=$2 timeout 30 xdotool search --sync --onlyvisible --pid "$pontex_pid" >/dev/null 2>&1; then
    debut=$(awk -v l="$lance" -v f="$(date +%s%N)" 'BEGIN { print (f - l) / 1e9 }')
  fi
  # Idle: the window up, the five-second countdown running.
  sleep 3
  repos=$(sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$pontex_pid/status" 2>/dev/null)
  local cpu_repos cpu_fin
  cpu_repos=$(temps_processeur "$pontex_pid")
  wait "$guet"
  local pic
  pic=$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$pontex_pid/status" 2>/dev/null)
  cpu_fin=$(temps_processeur "$pontex_pid")
  kill "$pontex_pid" 2>/dev/null
  wait "$pontex_pid" 2>/dev/null
  pontex_pid=
  # watch: copy C first F last L export E
  read -r _ _ copie _ premier _ dernier _ export <"$tmp/guet.txt"
  if [ -z "${export:-}" ] || awk -v e="$export" 'BEGIN { exit !(e < 0) }'; then
    echo "Pontex did not come to its export (log: $tmp/pontex.log)" >&2
    tail -n 20 "$tmp/pontex.log" >&2
    return 1
  fi
  local syncs
  syncs=$(awk '{ t += $1 } END { print t + 0 }' "$tmp/attente.txt" 2>/dev/null || echo 0)
  awk -v c="$copie" -v p="$premier" -v d="$dernier" -v e="$export" -v r="$repos" -v h="$pic" \
    -v s="$debut" -v u="$cpu_repos" -v v="$cpu_fin" -v y="$syncs" \
    'BEGIN { print d - p, e - c, s, r, h, v - u, y }'
}

# Processor time (user + system, seconds) a process has used so far. A
# busy machine stretches the elapsed times of a run, much less the
# processor time it takes: the ratio of these is the steadier of the two.
temps_processeur() { # PID
  awk -v hz="$(getconf CLK_TCK)" '{ sub(/.*\) /, ""); print ($12 + $13) / hz }' "/proc/$1/stat" 2>/dev/null
}


# One run of a floor program (ours, or the shared one) on the same register:
# "apply export processor" (s), its apply timed by the same watch as
# Pontex's, its export as it times it, its processor time as bash's time
# keyword gives it (user and system, apply and export).
sol_une_fois() { # PROGRAM
  caisse_neuve
  rm -f "$tmp/sol.err"
  guette_depuis_la - -
  local guet=$guet_pid cpu_apply cpu_export ms
  # The shared floor reads the unsorted tail in blocks, as Pontex does.
  cpu_apply=$( { TIMEFORMAT='%U %S'; time FLOOR_CHUNK=1 "$1" apply "$tmp/caisse" \
    "$tmp/mvt_$forme.txt" "$tmp/sol.err" >/dev/null 2>&1; } 2>&1)
  wait "$guet"
  cpu_export=$( { TIMEFORMAT='%U %S'; time "$1" export "$tmp/caisse" \
    "$tmp/sol_export.txt" 1 >"$tmp/sol_export.log" 2>&1; } 2>&1)
  ms=$(sed -n 's/^floor export: .*, \([0-9.]*\) ms$/\1/p' "$tmp/sol_export.log")
  read -r _ _ _ _ premier _ dernier _ <"$tmp/guet.txt"
  awk -v p="$premier" -v d="$dernier" -v m="$ms" -v a="$cpu_apply" -v b="$cpu_export" \
    'BEGIN { split(a, x, " "); split(b, y, " "); print d - p, m / 1000, x[1] + x[2] + y[1] + y[2] }'
}

# Median, lowest and highest of numbers, one a line: "median min max".
resume() { grep . | sort -g | awk '{ v[NR] = $1 } END {
  if (NR) print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2, v[1], v[NR] }'; }
quotient() { awk -v a="$1" -v b="$2" 'BEGIN { if (a > 0 && b > 0) print a / b }'; }

# Turns of the shared floor, ours and Pontex (and Pontex without its group
# syncs when asked), each turn starting one further along the list, so that
# no program always follows the same one; the ratios are taken per turn.
# Results in resultat[NAME.KEY] as "median min max".
declare -A resultat
compare() { # NAME PLATFORM [DISPLAY] [WITHOUT_SYNCS]
  local nom=$1 tour i n pontex='' sans='' sol='' ref=''
  local -a programmes=(plancher pontex) r_sol=() r_ref=() p_sol=() p_ref=() r_syncs=() accords=()
  local -a pics=() repos=() debuts=() us_pontex=() us_sol=() rs_pontex=() rs_sol=() attentes=()
  [ -n "$reference" ] && programmes=(reference "${programmes[@]}")
  [ "${4:-}" = 1 ] && programmes+=(sans_syncs)
  n=${#programmes[@]}
  for ((tour = 0; tour < tours; tour++)); do
    for ((i = 0; i < n; i++)); do
      case ${programmes[(tour + i) % n]} in
        reference) ref=$(sol_une_fois "$reference") || return 1 ;;
        plancher) sol=$(sol_une_fois "$plancher") || return 1 ;;
        pontex) pontex=$(sans_syncs=0 pontex_une_fois "$2" "${3:-}") || return 1 ;;
        sans_syncs) sans=$(sans_syncs=1 pontex_une_fois "$2" "${3:-}") || return 1 ;;
      esac
    done
    read -r pa _ pd pr ph pc py <<<"$pontex"
    attentes+=("$(awk -v y="$py" -v a="$pa" 'BEGIN { if (a > 0) print y * 100 / a }')")
    read -r fa _ fc <<<"$sol"
    r_sol+=("$(quotient "$pa" "$fa")")
    p_sol+=("$(quotient "$pc" "$fc")")
    us_pontex+=("$(awk -v c="$pc" -v n="$records" 'BEGIN { print c * 1e6 / n }')")
    us_sol+=("$(awk -v c="$fc" -v n="$records" 'BEGIN { print c * 1e6 / n }')")
    rs_pontex+=("$(quotient "$records" "$pa")")
    rs_sol+=("$(quotient "$records" "$fa")")
    debuts+=("$pd")
    repos+=("$pr")
    pics+=("$ph")
    local ligne="  $nom turn $((tour + 1)): Pontex apply $pa s, processor $pc s, syncs ${py:-?} s; floor apply $fa s, processor $fc s"
    if [ -n "$ref" ]; then
      read -r ra _ rc <<<"$ref"
      r_ref+=("$(quotient "$pa" "$ra")")
      p_ref+=("$(quotient "$pc" "$rc")")
      accords+=("$(quotient "$fa" "$ra")")
      ligne+="; shared floor apply $ra s, processor $rc s"
    fi
    if [ -n "$sans" ]; then
      r_syncs+=("$(quotient "$pa" "${sans%% *}")")
      ligne+="; Pontex without group syncs apply ${sans%% *} s"
    fi
    echo "$ligne" >&2
  done
  resultat[$nom.plancher]=$(printf '%s\n' "${r_sol[@]}" | resume)
  resultat[$nom.reference]=$(printf '%s\n' "${r_ref[@]}" | resume)
  resultat[$nom.processeur]=$(printf '%s\n' "${p_sol[@]}" | resume)
  resultat[$nom.processeur_ref]=$(printf '%s\n' "${p_ref[@]}" | resume)
  resultat[$nom.accord]=$(printf '%s\n' "${accords[@]}" | resume)
  resultat[$nom.syncs]=$(printf '%s\n' "${r_syncs[@]}" | resume)
  resultat[$nom.attente]=$(printf '%s\n' "${attentes[@]}" | resume)
  resultat[$nom.us_pontex]=$(printf '%s\n' "${us_pontex[@]}" | resume)
  resultat[$nom.us_plancher]=$(printf '%s\n' "${us_sol[@]}" | resume)
  resultat[$nom.pontex_rs]=$(printf '%s\n' "${rs_pontex[@]}" | resume)
  resultat[$nom.plancher_rs]=$(printf '%s\n' "${rs_sol[@]}" | resume)
  resultat[$nom.debut]=$(printf '%s\n' "${debuts[@]}" | grep -v -- - | resume)
  resultat[$nom.repos]=$(printf '%s\n' "${repos[@]}" | resume)
  resultat[$nom.pic]=$(printf '%s\n' "${pics[@]}" | sort -n | tail -n 1)
}

# The free X display for a window, or nothing.
ecran_libre() {
  local n
  for n in $(seq 90 99); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || {
      echo ":$n"
      return 0
    }
  done
  return 1
}

ecran=
if command -v Xvfb >/dev/null && ecran=$(ecran_libre); then
  Xvfb "$ecran" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  sleep 1
fi
for f in A B; do
  echo "Shape $f: making the register and its delivery..." >&2
  prepare_forme "$f" || exit 1
  echo "Shape $f, offscreen: the floors, Pontex, Pontex without group syncs, $tours turns..." >&2
  compare "offscreen.$f" offscreen "" 1 || exit 1
  if [ -n "$xvfb_pid" ]; then
    echo "Shape $f, with its window on Xvfb $ecran: the floors and Pontex, $tours turns..." >&2
    compare "fenetre.$f" xcb "$ecran" || exit 1
  fi
done
if [ -n "$xvfb_pid" ]; then
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=
fi

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
# A ratio's median and the range of the turns: "1.05× (0.98–1.12)".
rapport() { # NAME.SHAPE KEY
  local m a b
  read -r m a b <<<"${resultat[$1.$2]:-}"
  if [ -z "$m" ]; then echo "n/a"; else echo "**$(nombre "$m" 2)×** ($(nombre "$a" 2)–$(nombre "$b" 2))"; fi
}
median() { # NAME.SHAPE KEY DECIMALS
  local m
  read -r m _ <<<"${resultat[$1.$2]:-}"
  nombre "$m" "$3"
}
# One row, shapes A and B side by side.
ligne() { # TEXT COMMAND...
  local texte=$1
  shift
  echo "| $texte | $("$@" A) | $("$@" B) |"
}
cellule_rapport() { rapport "$1.$3" "$2"; }  # MODE KEY SHAPE
cellule_debit() { # MODE SHAPE
  echo "Pontex $(entier "$(median "$1.$2" pontex_rs 0)"), floor $(entier "$(median "$1.$2" plancher_rs 0)")"
}
cellule_us() { # MODE SHAPE
  echo "Pontex $(median "$1.$2" us_pontex 1) µs, floor $(median "$1.$2" us_plancher 1) µs"
}
cellule_syncs() { # SHAPE
  local m
  read -r m _ <<<"${resultat[offscreen.$1.syncs]:-}"
  echo "$(rapport "offscreen.$1" syncs)$([ -n "$m" ] && awk -v m="$m" 'BEGIN { printf ", groups %+.1f %%", (m - 1) * 100 }')"
}
cellule_attente() { # SHAPE
  local m a b
  read -r m a b <<<"${resultat[offscreen.$1.attente]:-}"
  if [ -n "$m" ]; then printf '**%.1f %%** (%.1f–%.1f)\n' "$m" "$a" "$b"; else echo "n/a"; fi
}
cellule_memoire() { # SHAPE
  local k
  read -r k _ <<<"${resultat[offscreen.$1.repos]:-}"
  echo "$(nombre "$(awk -v k="$k" 'BEGIN { if (k != "") print k / 1024 }')" 1) MB idle," \
    "$(nombre "$(awk -v k="${resultat[offscreen.$1.pic]:-}" 'BEGIN { if (k != "") print k / 1024 }')" 1) MB peak," \
    "$(nombre "$(awk -v k="${resultat[fenetre.$1.pic]:-}" 'BEGIN { if (k != "") print k / 1024 }')" 1) MB peak with its window"
}
charge=$(cut -d ' ' -f 1-3 /proc/loadavg)
echo
echo "Measured on $(date +%Y-%m-%d), $(hostname), ${processeur:-unknown processor}, $(nproc) cores," \
  "release build, load average $charge at the end; $tours turns a shape and display, each turn" \
  "the shared floor (../shared/bench/floor.c), our floor (bench/plancher) and Pontex in rotating order," \
  "a fresh synced register a run; ratios are the median of the turns' ratios (lowest–highest):"
echo
echo "| measure | shape A: 63,875 index entries, 500 unsorted | shape B: 30,000 sorted + 2,767 unsorted, ART%06d |"
echo "|---|---|---|"
ligne "Pontex as the shop starts it (offscreen), 100,000 records: apply phase, first to last movement record, against the shared floor" cellule_rapport offscreen reference
ligne "the same against our floor" cellule_rapport offscreen plancher
ligne "with its window shown (Xvfb), against the shared floor" cellule_rapport fenetre reference
ligne "with its window shown, against our floor" cellule_rapport fenetre plancher
ligne "records/s in the apply phase (offscreen, medians)" cellule_debit offscreen
ligne "processor time (user + system) of the whole exchange against our floor's apply + export" cellule_rapport offscreen processeur
ligne "the same against the shared floor's" cellule_rapport offscreen processeur_ref
ligne "processor time per record (whole exchange; floor: apply + export)" cellule_us offscreen
ligne "Pontex's apply phase with the power-cut groups put on the disk against without (offscreen, turn about)" cellule_syncs
ligne "the time Pontex waits in all its syncs (groups, file's end, export), timed inside it, against its apply phase (offscreen)" cellule_attente
ligne "our floor's apply against the shared floor's" cellule_rapport offscreen accord
ligne "Pontex's memory after 100,000 records (offscreen; highest peak of the runs)" cellule_memoire
echo "| Pontex's start-up: launch to its main window shown on the display (median) |" \
  "$(nombre "$(awk -v s="$(median fenetre.A debut 3)" 'BEGIN { if (s != "n/a") print s * 1000 }')" 0) ms | |"
# The core in-process: the apply procedure called by the benchmark with a
# sink for the journal, against the same floor.
echo "| exchange core in-process, applying 100,000 movements first to last record, against the floor turn about (7 turns, median of the turns' ratios) |" \
  "core $(entier "$(valeur "$echange" BM_PontexContrePlancher pontex_records/s)") records/s," \
  "floor $(entier "$(valeur "$echange" BM_PontexContrePlancher plancher_records/s)") records/s:" \
  "**ratio $(nombre "$(valeur "$echange" BM_PontexContrePlancher rapport)" 2)×**" \
  "(its whole file: $(nombre "$(valeur "$echange" BM_PontexContrePlancher rapport_fichier)" 2)×) |"
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
echo "| stock export of 32,767 articles | $(nombre "$(millisecondes "$echange" BM_ExportStock)" 1) ms |"
echo "| stock export, core and the floor turn about (20 each) |" \
  "core $(nombre "$(valeur "$echange" BM_ExportContrePlancher pontex_ms)" 1) ms," \
  "floor $(nombre "$(valeur "$echange" BM_ExportContrePlancher plancher_ms)" 1) ms:" \
  "**ratio $(nombre "$(valeur "$echange" BM_ExportContrePlancher rapport)" 2)×** |"
