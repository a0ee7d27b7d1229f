#!/usr/bin/env bash
# Builds in release mode (build-release/, or $PONTEX_BUILD_RELEASE) and
# measures what a large shop waits for, against the system-call floor (our
# bench/plancher: the file operations an exchange requires and nothing
# else), turn about on the same register and file, since the machine is too
# noisy for absolute times alone:
#  - the Pontex program as the shop starts it, on a register of 32,767
#    articles with a 100,000-record movement file waiting, timed from
#    outside: its apply phase from the first movement record to the last
#    (the movement file's header count, polled by the floor's watch), and the
#    whole exchange from the copy of the file to the export; once offscreen,
#    once with its window shown on a virtual X display (Xvfb);
#  - the exchange core in-process (bench_echange), article lookups, export.
# Prints one table (Markdown), ready for README.md.
#
# When the shared floor program (../shared/bench/floor.c beside the
# repository) is there, it is run beside ours on the same register as a
# cross-check of the floor itself.
#
# PONTEX_BENCH_TOURS sets the turns of each program run (5);
# PONTEX_BENCH_PROGRAMME=1 measures the program alone.
set -uo pipefail
export LC_ALL=C
racine=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/deps.sh
source "$racine/scripts/deps.sh"
# caisse_neuve, guette_depuis_la, mediane: shared with the speed under Wine.
# shellcheck source=scripts/bench-fonctions.sh
source "$racine/scripts/bench-fonctions.sh"
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
tours=${PONTEX_BENCH_TOURS:-5}

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

# --- The Pontex program on a large shop, against the floor -------------------
boutique=$tmp/shop
mkdir -p "$boutique" "$tmp/transit/import/histo" "$tmp/transit/export/histo"
cp "$build/bin/qz_img_024.gif" "$boutique/" 2>/dev/null
"$build/tools/fabrique_caisse" "$tmp/caisse0" --articles 32767 --queue 500 --graine 2 >/dev/null ||
  exit 1
printf '%s\r\n' "#TRANSIT#$tmp/transit\\" "#FICBASE#$tmp/caisse\\" '#REFARTI#1' '#NOM_STO#stock_' \
  '#NUMPOST#1' '#UTILISA#1' '#TIM_ANA#60' >"$boutique/Pontex.wdo"
caisse_neuve
# Every reference known to the register: the comparison is of applied
# records.
"$build/tools/serveur_simule" --boutique "$boutique" --ecrit-mouvements "$tmp/mvt.txt" \
  --records 100000 --graine 3 >/dev/null || exit 1
records=$(grep -c . "$tmp/mvt.txt")

# One run of Pontex, as the shop starts it, with the watch beside it.
# Prints "apply WHOLE START IDLE_KB PEAK_KB" (seconds, kB); fails when the
# exchange did not come to its export.
pontex_une_fois() { # PLATFORM [DISPLAY]
  caisse_neuve
  rm -f "$tmp"/transit/export/stock_*.txt "$tmp"/transit/export/histo/* "$tmp"/transit/import/*.old
  rm -rf "$boutique/journal" "$boutique/W_intlog.wdo" "$boutique/fichiers_appliques.wdo"
  cp "$tmp/mvt.txt" "$tmp/transit/import/mvt.txt"
  # Older than the two seconds by which Pontex leaves a file still being written.
  touch -d '-1 minute' "$tmp/transit/import/mvt.txt"
  guette_depuis_la "$tmp/transit/export" "$boutique/prov_stk_ana_ron.txt"
  local guet=$guet_pid repos= debut=- lance
  lance=$(date +%s%N)
  (cd "$boutique" && QT_QPA_PLATFORM=$1 DISPLAY=${2:-} exec "$build/bin/Pontex") \
    >>"$tmp/pontex.log" 2>&1 &
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
  awk -v c="$copie" -v p="$premier" -v d="$dernier" -v e="$export" -v r="$repos" -v h="$pic" \
    -v s="$debut" -v u="$cpu_repos" -v v="$cpu_fin" 'BEGIN { print d - p, e - c, s, r, h, v - u }'
}

# Processor time (user + system, seconds) a process has used so far. A
# busy machine stretches the elapsed times of a run, much less the
# processor time it takes: the ratio of these is the steadier of the two.
temps_processeur() { # PID
  awk -v hz="$(getconf CLK_TCK)" '{ sub(/.*\) /, ""); print ($12 + $13) / hz }' "/proc/$1/stat" 2>/dev/null
}

# One run of the floor on the same register: "apply export" (s), with its
# apply timed by the same watch as Pontex's and its export as it times it.
plancher_une_fois() {
  caisse_neuve
  rm -f "$tmp/plancher.err"
  guette_depuis_la - -
  local guet=$guet_pid cpu_apply cpu_export
  # Its processor time as bash's time keyword gives it: user and system.
  cpu_apply=$( { TIMEFORMAT='%U %S'; time "$plancher" apply "$tmp/caisse" "$tmp/mvt.txt" \
    "$tmp/plancher.err" >/dev/null 2>&1; } 2>&1)
  wait "$guet"
  local ms
  cpu_export=$( { TIMEFORMAT='%U %S'; time "$plancher" export "$tmp/caisse" \
    "$tmp/plancher_export.txt" 1 >"$tmp/plancher_export.log" 2>&1; } 2>&1)
  ms=$(sed -n 's/^floor export: .*, \([0-9.]*\) ms$/\1/p' "$tmp/plancher_export.log")
  read -r _ _ _ _ premier _ dernier _ <"$tmp/guet.txt"
  awk -v p="$premier" -v d="$dernier" -v m="$ms" -v a="$cpu_apply" -v b="$cpu_export" \
    'BEGIN { split(a, x, " "); split(b, y, " "); print d - p, m / 1000, x[1] + x[2] + y[1] + y[2] }'
}


# The shared floor's own apply time on the same register, beside ours.
reference_une_fois() {
  caisse_neuve
  FLOOR_CHUNK=1 "$reference" apply "$tmp/caisse" "$tmp/mvt.txt" "$tmp/reference.err" |
    sed -n 's/^floor apply: .*, \([0-9.]*\) s, .*/\1/p'
}

# Turns of Pontex and the floor, the order swapped at every turn; the
# ratios are taken per turn, of two runs back to back.
declare -A resultat
compare() { # NAME PLATFORM [DISPLAY]
  local nom=$1 tour pontex plancher_t rapports=() entiers=() debuts=() repos=() pics=()
  local processeurs=()
  local p_apply=() f_apply=()
  for ((tour = 0; tour < tours; tour++)); do
    for etape in 0 1; do
      if (((etape + tour) % 2 == 0)); then
        pontex=$(pontex_une_fois "$2" "${3:-}") || return 1
      else
        plancher_t=$(plancher_une_fois) || return 1
      fi
    done
    read -r pa pe pd pr ph pc <<<"$pontex"
    read -r fa fe fc <<<"$plancher_t"
    p_apply+=("$pa")
    f_apply+=("$fa")
    rapports+=("$(awk -v p="$pa" -v f="$fa" 'BEGIN { print p / f }')")
    entiers+=("$(awk -v p="$pe" -v f="$fa" -v e="$fe" 'BEGIN { print p / (f + e) }')")
    processeurs+=("$(awk -v p="$pc" -v f="$fc" 'BEGIN { if (p > 0 && f > 0) print p / f }')")
    debuts+=("$pd")
    repos+=("$pr")
    pics+=("$ph")
    echo "  $nom turn $((tour + 1)): Pontex apply $pa s, whole $pe s, processor $pc s;" \
      "floor apply $fa s, export $fe s, processor $fc s" >&2
  done
  resultat[$nom.rapport]=$(printf '%s\n' "${rapports[@]}" | mediane)
  resultat[$nom.rapport_min]=$(printf '%s\n' "${rapports[@]}" | sort -g | head -n 1)
  resultat[$nom.rapport_max]=$(printf '%s\n' "${rapports[@]}" | sort -g | tail -n 1)
  resultat[$nom.entier]=$(printf '%s\n' "${entiers[@]}" | mediane)
  resultat[$nom.processeur]=$(printf '%s\n' "${processeurs[@]}" | grep . | mediane)
  resultat[$nom.pontex_rs]=$(printf '%s\n' "${p_apply[@]}" | mediane | awk -v n="$records" '{ print n / $1 }')
  resultat[$nom.plancher_rs]=$(printf '%s\n' "${f_apply[@]}" | mediane | awk -v n="$records" '{ print n / $1 }')
  resultat[$nom.debut]=$(printf '%s\n' "${debuts[@]}" | grep -v -- - | mediane)
  resultat[$nom.repos]=$(printf '%s\n' "${repos[@]}" | mediane)
  resultat[$nom.pic]=$(printf '%s\n' "${pics[@]}" | sort -n | tail -n 1)
}

echo "Pontex offscreen against the floor, $tours turns..." >&2
compare offscreen offscreen || exit 1

# A visible window: Pontex drawn on a virtual X display, as on a screen.
ecran=
for n in $(seq 90 99); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || {
    ecran=:$n
    break
  }
done
if [ -n "$ecran" ] && command -v Xvfb >/dev/null; then
  Xvfb "$ecran" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  sleep 1
  echo "Pontex with its window on Xvfb $ecran against the floor, $tours turns..." >&2
  compare fenetre xcb "$ecran" || exit 1
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=
fi

# The floor itself checked against the shared one, turn about.
accord=
if [ -n "$reference" ]; then
  echo "Our floor against the shared floor program, $tours turns..." >&2
  accords=()
  for ((tour = 0; tour < tours; tour++)); do
    a=$(caisse_neuve
      "$plancher" apply "$tmp/caisse" "$tmp/mvt.txt" "$tmp/plancher.err" |
        sed -n 's/^floor apply: .*, \([0-9.]*\) s, .*/\1/p')
    r=$(reference_une_fois)
    [ -n "$a" ] && [ -n "$r" ] && accords+=("$(awk -v a="$a" -v r="$r" 'BEGIN { print a / r }')")
  done
  accord=$(printf '%s\n' "${accords[@]}" | mediane)
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
# One program row: records/s of both, the median ratio and its spread.
ligne_programme() { # NAME TEXT
  echo "| $2 |" \
    "Pontex $(entier "${resultat[$1.pontex_rs]:-}") records/s," \
    "floor $(entier "${resultat[$1.plancher_rs]:-}") records/s:" \
    "**ratio $(nombre "${resultat[$1.rapport]:-}" 2)×**" \
    "(turns $(nombre "${resultat[$1.rapport_min]:-}" 2)–$(nombre "${resultat[$1.rapport_max]:-}" 2)) |"
}
charge=$(cut -d ' ' -f 1-3 /proc/loadavg)
echo
echo "Measured on $(date +%Y-%m-%d), $(hostname), ${processeur:-unknown processor}, $(nproc) cores," \
  "release build, load average $charge at the end:"
echo
echo "| measure | result |"
echo "|---|---|"
ligne_programme offscreen "Pontex started as the shop starts it (offscreen), 100,000 records on 32,767 articles: apply phase, first to last movement record, against the floor turn about ($tours turns, median of the turns' ratios)"
if [ -n "${resultat[fenetre.rapport]:-}" ]; then
  ligne_programme fenetre "the same with its window shown (Xvfb)"
fi
echo "| whole exchange, working file copied to export file written, against the floor's apply + export (median of the turns' ratios) |" \
  "offscreen **$(nombre "${resultat[offscreen.entier]:-}" 2)×**," \
  "with its window **$(nombre "${resultat[fenetre.entier]:-}" 2)×** |"
echo "| processor time (user + system) of the whole exchange against the floor's apply + export, the steadier measure on a busy machine (median of the turns' ratios) |" \
  "offscreen **$(nombre "${resultat[offscreen.processeur]:-}" 2)×**," \
  "with its window **$(nombre "${resultat[fenetre.processeur]:-}" 2)×** |"
echo "| Pontex's memory: idle after start, and peak after 100,000 journal lines (highest of the runs) |" \
  "$(nombre "$(awk -v k="${resultat[offscreen.repos]:-}" 'BEGIN { if (k != "") print k / 1024 }')" 1) MB idle," \
  "$(nombre "$(awk -v k="${resultat[offscreen.pic]:-}" 'BEGIN { if (k != "") print k / 1024 }')" 1) MB peak offscreen," \
  "$(nombre "$(awk -v k="${resultat[fenetre.pic]:-}" 'BEGIN { if (k != "") print k / 1024 }')" 1) MB with its window |"
echo "| Pontex's start-up: launch to its main window shown on the display (median) |" \
  "$(nombre "$(awk -v s="${resultat[fenetre.debut]:-}" 'BEGIN { if (s != "") print s * 1000 }')" 0) ms |"
if [ -n "$accord" ]; then
  echo "| our floor (bench/plancher) against the shared floor program, same register and file (median of $tours turns) |" \
    "$(nombre "$accord" 2)× |"
fi
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
