#!/usr/bin/env bash
# A living demo shop, in one command. Installs what is missing, builds, lays
# out demo/ (the shop's installed folder, a sample cash register, the transit
# folder shared with the stock server), starts a simulated stock server and
# Pontex, and tells in this terminal what every exchange does. Runs until
# Ctrl-C, then stops every program it started.
#
#   scripts/demo.sh           go on with the demo shop of an earlier run, if any
#   scripts/demo.sh --fresh   start again from a new demo shop
#
# Pontex opens its window on the display when there is one and runs
# offscreen otherwise. PONTEX_BUILD names another build folder, PONTEX_DEMO
# another demo folder. Sourced, this file only defines the functions below
# (the demo's test uses them).

# The demo's cash register: about 1,500 articles; the last 30 index entries
# (the newest articles' codes and references) are left unsorted, as the cash
# register leaves the articles created since it last sorted its index.
PONTEX_DEMO_ARTICLES=1500
PONTEX_DEMO_QUEUE=30

# What the demo runs, and nothing more: the three programs and pontex-etat
# (installed together into the shop's folder), the sample-register maker and
# the simulated stock server. The tests and benchmarks are left for
# scripts/test.sh, so the first exchange comes within minutes of the command.
PONTEX_DEMO_CIBLES=(Pontex relvano kestrap pontex-etat fabrique_caisse serveur_simule)

# True when the folder holds a complete demo shop from an earlier run.
demo_presente() {
  [ -f "$1/.demo-pontex" ] && [ -f "$1/caisse/w_caiar4.wdo" ] && [ -d "$1/transit/import" ]
}

# The shop's folder inside the demo: the installation prefix, or its bin/
# when the build installs there.
demo_boutique() { # DEMO BUILD
  local bindir
  bindir=$(sed -n 's/^CMAKE_INSTALL_BINDIR:[A-Z]*=//p' "$2/CMakeCache.txt" 2>/dev/null)
  case ${bindir:-.} in
    . | ./) printf '%s\n' "$1/shop" ;;
    *) printf '%s\n' "$1/shop/$bindir" ;;
  esac
}

# "Pontex.wdo" of the demo shop. It is Windows-1252 text with CR LF line
# ends, and everything after a "|" is a comment. Written at every start, so
# that the demo still finds its folders after the repository has moved.
demo_ecrit_configuration() { # DEMO SHOP
  local demo=$1 boutique=$2 transit caisse
  case $demo in
    *'|'*)
      echo "The demo folder's path holds a '|', which Pontex.wdo would cut: $demo" >&2
      return 1
      ;;
  esac
  if ! transit=$(printf '%s' "$demo/transit\\" | iconv -f UTF-8 -t WINDOWS-1252) ||
    ! caisse=$(printf '%s' "$demo/caisse\\" | iconv -f UTF-8 -t WINDOWS-1252); then
    echo "The demo folder's path cannot be written in Windows-1252: $demo" >&2
    return 1
  fi
  {
    printf '%s\r\n' \
      "#TRANSIT#$transit   | transit folder shared with the stock server" \
      "#FICBASE#$caisse   | the cash register's data files" \
      "#REFARTI#1   | the server knows the articles by their alternative reference" \
      "#NOM_STO#stock_   | name of the stock export files" \
      "#NOM_MVT#ventes_   | name of the test sales files" \
      "#NUMPOST#3   | workstation number, on every stock movement" \
      "#UTILISA#12   | user number, on every stock movement" \
      "#TIM_ANA#2   | minutes between two exchanges"
  } >"$boutique/Pontex.wdo"
}

# Lays the demo out in DEMO from the build BUILD: afresh when FRESH is 1 or
# when DEMO holds no complete demo; the programs are installed again either
# way. Prints the shop's folder.
demo_dispose() { # DEMO BUILD FRESH
  local demo=$1 build=$2 neuf=${3:-0} boutique
  if [ "$neuf" = 1 ] || ! demo_presente "$demo"; then
    # Only what the demo itself puts there.
    rm -rf -- "$demo/.demo-pontex" "$demo/shop" "$demo/caisse" "$demo/transit" "$demo/serveur" \
      "$demo/pontex.log"
    mkdir -p "$demo/transit/import/histo" "$demo/transit/export/histo" "$demo/serveur/recus" ||
      return 1
    "$build/tools/fabrique_caisse" "$demo/caisse" --articles "$PONTEX_DEMO_ARTICLES" \
      --queue "$PONTEX_DEMO_QUEUE" --graine 1 >/dev/null || return 1
  fi
  mkdir -p "$demo/shop" || return 1
  cmake --install "$build" --prefix "$demo/shop" >/dev/null || return 1
  boutique=$(demo_boutique "$demo" "$build")
  [ -x "$boutique/Pontex" ] || {
    echo "No Pontex in $boutique after the installation" >&2
    return 1
  }
  demo_ecrit_configuration "$demo" "$boutique" || return 1
  touch "$demo/.demo-pontex"
  printf '%s\n' "$boutique"
}

# Processes running a program of the shop's folder. Pontex restarts through
# relvano at every cycle, each time in a new session and with a new process
# number: they are found by the program they run.
demo_processus() { # SHOP
  local dossier p exe
  dossier=$(cd "$1" 2>/dev/null && pwd -P) || return 0
  for p in /proc/[0-9]*; do
    exe=$(readlink "$p/exe" 2>/dev/null) || continue
    case $exe in
      "$dossier"/*) printf '%s\n' "${p#/proc/}" ;;
    esac
  done
}

# Stops Pontex, relvano and kestrap of the shop's folder, including one that
# is being started at that very moment: done only when two looks in a row
# find nothing. Ends with failure when some program would not stop.
demo_arrete_programmes() { # SHOP
  local pids vides=0 tour
  # Pontex applies a movement file through its working file: stopped in
  # the middle, an article's stock would have changed without its movement
  # being recorded. It takes well under a second; wait for it to end.
  for tour in $(seq 1 100); do
    [ -e "$1/prov_stk_ana_ron.txt" ] || break
    sleep 0.1
  done
  for tour in $(seq 1 40); do
    pids=$(demo_processus "$1")
    if [ -z "$pids" ]; then
      vides=$((vides + 1))
      [ $vides -ge 2 ] && return 0
    else
      vides=0
      # shellcheck disable=SC2086
      if [ "$tour" -le 20 ]; then kill -TERM $pids 2>/dev/null; else kill -KILL $pids 2>/dev/null; fi
    fi
    sleep 0.3
  done
  [ -z "$(demo_processus "$1")" ]
}

# Number of movement files waiting in the import folder.
demo_fichiers_import() { # DEMO
  local f n=0
  for f in "$1"/transit/import/*.txt; do [ -e "$f" ] && n=$((n + 1)); done
  echo $n
}

# Waits (at most 60 s) until the stock server has delivered its first file:
# more files wait in the import folder than BEFORE. Pontex lists the import
# folder when it starts, and only that list is taken at its exchange: a file
# arriving later waits for the next one.
demo_attend_livraison() { # DEMO SERVER_PID BEFORE
  local _
  for _ in $(seq 1 600); do
    [ "$(demo_fichiers_import "$1")" -gt "${3:-0}" ] && return 0
    kill -0 "$2" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# Starts Pontex from the shop's folder, as the shop's start-at-login entry
# does; its output goes to LOG.
demo_lance_pontex() { # SHOP LOG
  (cd "$1" && exec ./Pontex) </dev/null >>"$2" 2>&1 &
}

demo_main() {
  local racine neuf=0 build demo boutique sim ecran
  racine=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  case ${1:-} in
    --fresh) neuf=1 ;;
    "") ;;
    -h | --help)
      sed -n '2,14s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"
      return 0
      ;;
    *)
      echo "Unknown option: $1 (scripts/demo.sh --help)" >&2
      return 2
      ;;
  esac

  # shellcheck source=scripts/deps.sh
  source "$racine/scripts/deps.sh"
  pontex_installe_dependances || return 1
  echo "Building the programs (the first time takes a few minutes)..."
  build=${PONTEX_BUILD:-$racine/build}
  mkdir -p "$build" || return 1
  # The build's output is shown only when it fails.
  if ! pontex_construit_cibles "${PONTEX_DEMO_CIBLES[@]}" >"$build/demo-construction.log" 2>&1; then
    tail -n 40 "$build/demo-construction.log" >&2
    echo "The build failed (whole output: $build/demo-construction.log)." >&2
    return 1
  fi
  demo=${PONTEX_DEMO:-$racine/demo}
  mkdir -p "$demo" && demo=$(cd "$demo" && pwd -P) || return 1

  # A Pontex left running by an earlier demo would work on the same files.
  boutique=$(demo_boutique "$demo" "$build")
  if [ -n "$(demo_processus "$boutique")" ]; then
    echo "Stopping the Pontex of an earlier demo..."
    demo_arrete_programmes "$boutique"
  fi
  if [ $neuf = 0 ] && demo_presente "$demo"; then
    echo "Going on with the demo shop in $demo (scripts/demo.sh --fresh starts a new one)."
  elif [ $neuf = 1 ] && demo_presente "$demo"; then
    echo "--fresh: deleting the old demo shop in $demo (its cash register, transit folder," \
      "the server's account and Pontex's journal) and laying out a new one."
  fi
  boutique=$(demo_dispose "$demo" "$build" $neuf) || return 1

  ecran="on the display ${DISPLAY:-}${WAYLAND_DISPLAY:+ $WAYLAND_DISPLAY}"
  if [ -z "${QT_QPA_PLATFORM:-}" ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    export QT_QPA_PLATFORM=offscreen
  fi
  [ "${QT_QPA_PLATFORM:-}" = offscreen ] && ecran="offscreen (there is no display)"

  cat <<EOF

Demo shop in $demo:
  shop/     Pontex, relvano and kestrap as installed for a shop, with Pontex.wdo
  caisse/   the cash register: $PONTEX_DEMO_ARTICLES articles with their index and movement file
  transit/  the folder Pontex shares with the stock server (import/, export/)
  serveur/  the simulated stock server: the exports it collected, and this account

At every exchange Pontex takes the server's movement file from transit/import,
adds each quantity to the article's stock and records a stock movement, lists
the references it does not know in the day's error file, and writes the stock
export into transit/export for the server. Then it waits 2 minutes, restarts
itself through relvano, and runs the next exchange.
Pontex runs $ecran; its window's journal says the same as the lines below.
Press Ctrl-C to stop.

EOF

  sim=
  demo_fin() {
    trap - INT TERM HUP
    echo
    echo "Stopping..."
    [ -n "$sim" ] && kill -TERM "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
    demo_arrete_programmes "$boutique" || echo "Some programs of $boutique did not stop." >&2
    cat <<EOF
Everything the demo started has stopped. The files stay in $demo:
  shop/Pontex.wdo         Pontex's settings (shop/ is the installed folder)
  caisse/W_CAIREC.WDO     the cash register's stock movements; articles in w_caiar4.wdo
  transit/import/         kept copies of the movement files (*.old), error files (erreurs_*.err)
  serveur/recus/          the stock exports the server collected
  serveur/echanges.txt    the account of every exchange
  pontex.log              what Pontex printed
scripts/demo.sh goes on with this shop; scripts/demo.sh --fresh starts a new one.
EOF
  }
  # Closing the terminal stops the demo too: a restarted Pontex runs in a
  # session of its own and would not get the hang-up.
  trap 'demo_fin; exit 0' INT TERM HUP

  local attente
  attente=$(demo_fichiers_import "$demo")
  "$build/tools/serveur_simule" --boutique "$boutique" --recus "$demo/serveur/recus" \
    --journal "$demo/serveur/echanges.txt" &
  sim=$!
  demo_attend_livraison "$demo" "$sim" "$attente" || {
    echo "The stock server delivered no file." >&2
    demo_fin
    return 1
  }
  demo_lance_pontex "$boutique" "$demo/pontex.log"

  # A display that cannot be opened ends Pontex at once: offscreen then.
  sleep 3
  if [ "${QT_QPA_PLATFORM:-}" != offscreen ] && [ -z "$(demo_processus "$boutique")" ]; then
    echo "Pontex could not open its window $ecran (see $demo/pontex.log); running it offscreen."
    export QT_QPA_PLATFORM=offscreen
    demo_lance_pontex "$boutique" "$demo/pontex.log"
  fi

  local statut=0
  wait "$sim" || statut=$?
  # The server stopped by itself: something is wrong.
  sim=
  echo "The stock server stopped (status $statut)." >&2
  demo_fin
  return 1
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -uo pipefail
  demo_main "$@"
  exit $?
fi
