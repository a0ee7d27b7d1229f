# shellcheck shell=bash
# The whole-program checks of the Windows build, run under Wine once the
# programs are cross-built with Qt: one exchange by Pontex.exe compared byte
# for byte with the Linux build's, the installer, the upgrade from the
# programs in C:\Pontex and the speed under Wine. Each is a ctest test of the
# Windows build (tests/windows, label "windows"), which runs this file:
#
#   windows-essais.sh SUITE RACINE WINDOWS_BUILD [QT]
#
# SUITE is echange, installeur, mise_a_jour or bench. Exit status 77 (the
# test skipped), with the reason, where this machine cannot run it: no
# Wine, a build without Qt for Windows, no NSIS. Sourced, it only defines
# the functions.

# Compares two files byte for byte. Differences are allowed only inside one
# field of fixed-length records (record size, field offset, field length),
# record 1 (the header) excepted: the date or time of the run.
essai_compare() { # A B [RECORD OFFSET LENGTH]
  local a=$1 b=$2 taille=${3:-0} debut=${4:-0} longueur=${5:-0} octet o p masques=0
  if [ ! -f "$a" ] || [ ! -f "$b" ]; then
    echo "   missing: $([ -f "$a" ] || echo "$a") $([ -f "$b" ] || echo "$b")" >&2
    return 1
  fi
  if [ "$(stat -c %s "$a")" != "$(stat -c %s "$b")" ]; then
    echo "   $(basename "$a"): $(stat -c %s "$a") bytes on Linux, $(stat -c %s "$b") on Windows" >&2
    return 1
  fi
  while read -r octet _; do
    o=$((octet - 1))
    if [ "$taille" -gt 0 ] && [ $((o / taille)) -ge 1 ]; then
      p=$((o % taille))
      if [ $p -ge "$debut" ] && [ $p -lt $((debut + longueur)) ]; then
        masques=$((masques + 1))
        continue
      fi
    fi
    echo "   $(basename "$a") differs at byte $o" >&2
    return 1
  done < <(cmp -l "$a" "$b" || true)
  printf '   %-24s identical' "$(basename "$a")"
  [ $masques -gt 0 ] && printf ' (but %d bytes of the run'"'"'s date and time)' $masques
  printf '\n'
}

# The one file of FOLDER whose name matches PATTERN, or nothing.
essai_unique() { # FOLDER PATTERN
  # shellcheck disable=SC2206 # the pattern is expanded on purpose
  local trouves=("$1"/$2)
  [ ${#trouves[@]} -eq 1 ] && [ -f "${trouves[0]}" ] && printf '%s\n' "${trouves[0]}"
}

# Waits at most SECONDS for the exchange of the shop in FOLDER: the movement
# file taken in and an export written, then two more seconds for the writes
# that follow.
essai_attend_echange() { # FOLDER SECONDS
  local dossier=$1 limite=$(($(date +%s) + $2))
  while [ "$(date +%s)" -lt "$limite" ]; do
    if [ ! -e "$dossier/transit/import/mvt_serveur.txt" ] &&
      compgen -G "$dossier/transit/export/stock_*.txt" >/dev/null; then
      sleep 2
      return 0
    fi
    sleep 0.5
  done
  echo "   no exchange in $dossier after $2 s" >&2
  return 1
}

# A shop in FOLDER: the sample cash register, the transit folders and, in
# the import folder, a movement file from the server (deliveries, sales,
# decimals, the same article twice, an unknown reference). The references
# are read from the shop's index: "A" + reference, 16 bytes, in entries of 24.
essai_boutique() { # FOLDER FABRIQUE
  local d=$1 t=$'\t' k ref lignes=()
  mkdir -p "$d/transit/import/histo" "$d/transit/export/histo" "$d/shop"
  "$2" "$d/caisse" --articles 300 --queue 20 --graine 7 >/dev/null
  for k in 2 5 9 40 77 150 151 299 320; do
    ref=$(dd if="$d/caisse/W_caiind.WDO" bs=24 skip="$k" count=1 2>/dev/null | head -c 16 |
      cut -c2- | sed 's/ *$//')
    lignes+=("$ref$t$(((k % 7) - 3)).$((k % 100))")
  done
  lignes+=("${lignes[0]%%"$t"*}${t}12" "INCONNU-0001${t}4.5" "$t" "${lignes[3]%%"$t"*}$t-0.25")
  printf '%s\r\n' "${lignes[@]}" >"$d/transit/import/mvt_serveur.txt"
  touch -d '-1 hour' "$d/transit/import/mvt_serveur.txt"
}

# "Pontex.wdo" in SHOP for the transit and cash-register folders given as
# Pontex reads them (ending with a backslash). A long delay: no restart
# during the check.
essai_configuration() { # SHOP TRANSIT CAISSE
  printf '%s\r\n' "#TRANSIT#$2" "#FICBASE#$3" "#REFARTI#1" "#NOM_STO#stock_" "#NOM_MVT#ventes_" \
    "#NUMPOST#3" "#UTILISA#12" "#TIM_ANA#30" >"$1/Pontex.wdo"
}

# Builds what the Linux side needs, when it is not built yet: the programs
# that make the shops and the Linux Pontex, and the floor program
# (bench/plancher) when "plancher" is asked.
essai_linux() { # RACINE LINUX_BUILD [plancher]
  local cibles=(Pontex fabrique_caisse serveur_simule)
  [ "${3:-}" = plancher ] && cibles+=(plancher)
  if [ -x "$2/bin/Pontex" ] && [ -x "$2/tools/fabrique_caisse" ] &&
    [ -x "$2/tools/serveur_simule" ] && { [ -z "${3:-}" ] || [ -x "$2/bench/plancher" ]; }; then
    return 0
  fi
  # shellcheck source=scripts/deps.sh
  source "$1/scripts/deps.sh"
  pontex_installe_dependances || return 1
  [ -f "$2/build.ninja" ] || cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo || return 1
  cmake --build "$2" --target "${cibles[@]}"
}

# One exchange on the same shop by the Linux Pontex (offscreen) and by
# Pontex.exe under Wine; the files they leave must be the same bytes.
windows_echange_compare() { # RACINE WINDOWS_BUILD
  local racine=$1 build=$2 linux=${PONTEX_BUILD:-$1/build} essai pid ok=0 f
  essai_linux "$racine" "$linux" || return 1
  essai="$build/echange"
  rm -rf "$essai"
  essai_boutique "$essai/modele" "$linux/tools/fabrique_caisse"
  cp -a "$essai/modele" "$essai/linux"
  cp -a "$essai/modele" "$essai/windows"
  essai_configuration "$essai/linux/shop" "$essai/linux/transit\\" "$essai/linux/caisse\\"
  essai_configuration "$essai/windows/shop" "$(winepath -w "$essai/windows/transit")\\" \
    "$(winepath -w "$essai/windows/caisse")\\"

  echo "== exchange: Linux Pontex, then Pontex.exe under Wine, on the same shop"
  (cd "$essai/linux/shop" && exec env QT_QPA_PLATFORM=offscreen "$linux/bin/Pontex") \
    >"$essai/linux.log" 2>&1 &
  pid=$!
  essai_attend_echange "$essai/linux" 60 || ok=1
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true

  # Not exec'd: ended by wineserver -k below, wine dies of SIGKILL, and the
  # subshell around it ends quietly.
  (cd "$essai/windows/shop" && wine "$build/bin/Pontex.exe" || true) >"$essai/windows.log" 2>&1 &
  pid=$!
  essai_attend_echange "$essai/windows" 120 || ok=1
  # What a shop's user sees, for whoever reads the logs.
  if command -v import >/dev/null; then
    import -window root "$build/pontex-wine.png" 2>/dev/null || true
  fi
  wineserver -k >/dev/null 2>&1 || true
  wait "$pid" 2>/dev/null || true
  [ $ok -eq 0 ] || return 1

  for f in w_caiar4.wdo w_caur44.wdo W_caiind.WDO w_cai020.wdo; do
    case $f in
      # Article field 9: the date of the last movement.
      w_caiar4.wdo) essai_compare "$essai/linux/caisse/$f" "$essai/windows/caisse/$f" 256 93 10 ;;
      *) essai_compare "$essai/linux/caisse/$f" "$essai/windows/caisse/$f" ;;
    esac || ok=1
  done
  # Movement fields 1 and 2: the date and the hour and minute of the run.
  essai_compare "$essai/linux/caisse/W_CAIREC.WDO" "$essai/windows/caisse/W_CAIREC.WDO" 64 0 15 ||
    ok=1
  # The error file and the export are named after the date and time of the
  # run: one of each, with the same bytes.
  local lin win
  for motif in "import/erreurs_*.err" "export/stock_*.txt" "import/mvt_serveur.old"; do
    lin=$(essai_unique "$essai/linux/transit" "$motif") || true
    win=$(essai_unique "$essai/windows/transit" "$motif") || true
    if [ -z "$lin" ] || [ -z "$win" ]; then
      echo "   not exactly one transit/$motif on each side" >&2
      ok=1
      continue
    fi
    essai_compare "$lin" "$win" || ok=1
  done
  return $ok
}

# Where the Wine user's profile is: the Startup folder kestrap copies the
# entry file into, as a Linux path.
essai_demarrage_wine() {
  local profil
  profil=$(wine cmd /c 'echo %USERPROFILE%' 2>/dev/null | tr -d '\r')
  [ -n "$profil" ] || return 1
  printf '%s/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Startup\n' "$(winepath -u "$profil")"
}

# The program a shortcut starts, and its working folder, as the shortcut
# file holds them (the shell writes them as ANSI and as UTF-16 strings).
essai_cible_raccourci() { # LNK
  { strings -a "$1"; strings -a -el "$1"; } | sort -u
}

# The movement count in the header of a movement file (32 bits at byte 48).
essai_mouvements() { # W_CAIREC.WDO
  od -An -t d4 -j 48 -N 4 "$1" | tr -d ' '
}

# Whether a Pontex.exe runs from the programs' folder, by Wine's command
# lines.
essai_pontex_depuis() { # WINDOWS_FOLDER
  local lignes
  lignes=$(pgrep -af 'Pontex\.exe') || return 1
  grep -qiF "$1\\Pontex.exe" <<<"$lignes"
}

# The installer: silent installation under Wine into its default folders,
# the programs' folder checked (every program and DLL there, none in the
# working folder), the installed Pontex started through its Start-menu
# shortcut (so in C:\Pontex) running an exchange, then the uninstaller,
# which must leave the working folder and every file there.
windows_installeur() { # WINDOWS_BUILD
  local build=$1 paquet programmes travail raccourci ok=0 f
  echo "== installer"
  rm -f "$build"/Pontex-*-win64.exe
  (cd "$build" && cpack -G NSIS >"$build/cpack.log" 2>&1) || {
    cat "$build/cpack.log" >&2
    return 1
  }
  paquet=$(essai_unique "$build" "Pontex-*-win64.exe") || {
    echo "   no Pontex-<version>-win64.exe" >&2
    return 1
  }
  echo "   $(basename "$paquet") ($(du -h "$paquet" | cut -f1))"
  # shellcheck disable=SC2016 # NSIS's variable, as the script holds it
  grep -qF 'InstallDir "$PROGRAMFILES64\Pontex"' "$build"/_CPack_Packages/*/NSIS/project.nsi || {
    echo "   the installer's default folder is not Program Files\\Pontex" >&2
    return 1
  }
  programmes="$WINEPREFIX/drive_c/Program Files/Pontex"
  travail="$WINEPREFIX/drive_c/Pontex"
  rm -rf "$programmes" "$travail" "$WINEPREFIX/drive_c/Boutique"
  wine "$paquet" /S || true
  wineserver -w
  for f in Pontex.exe relvano.exe kestrap.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll \
    libstdc++-6.dll platforms/qwindows.dll imageformats/qgif.dll imageformats/qico.dll \
    qz_img_024.gif Kestrap.ico kestrap.wdo Pontex.lnk Uninstall.exe; do
    [ -f "$programmes/$f" ] || {
      echo "   not installed in Program Files\\Pontex: $f" >&2
      ok=1
    }
  done
  [ -d "$travail" ] || {
    echo "   no working folder C:\\Pontex" >&2
    ok=1
  }
  if [ -d "$travail" ] && [ -n "$(cd "$travail" && find . -mindepth 1 -print -quit)" ]; then
    echo "   the working folder is not empty after installation:" "$(cd "$travail" && find . -mindepth 1)" >&2
    ok=1
  fi
  grep -q $'^#R#Pontex.lnk ' "$programmes/kestrap.wdo" || {
    echo "   kestrap.wdo does not name Pontex.lnk" >&2
    ok=1
  }
  # Both shortcuts: the program in Program Files, run in C:\Pontex.
  raccourci=$(find "$WINEPREFIX/drive_c" -path '*/Start Menu/Programs/Pontex/Pontex.lnk' | head -n1)
  [ -n "$raccourci" ] || {
    echo "   no Start-menu shortcut" >&2
    ok=1
  }
  for f in "$raccourci" "$programmes/Pontex.lnk"; do
    [ -f "$f" ] || continue
    if ! essai_cible_raccourci "$f" | grep -qiF 'Program Files\Pontex\Pontex.exe' ||
      ! essai_cible_raccourci "$f" | grep -qx 'C:\\Pontex'; then
      echo "   $(basename "$(dirname "$f")")/Pontex.lnk does not start Program Files\\Pontex\\Pontex.exe in C:\\Pontex" >&2
      ok=1
    fi
  done
  [ $ok -eq 0 ] || return 1
  echo "   programs in Program Files\\Pontex, C:\\Pontex made empty, shortcuts run there"

  # A shop for the installed Pontex.
  local linux=${PONTEX_BUILD:-$racine/build} boutique="$WINEPREFIX/drive_c/Boutique"
  essai_boutique "$boutique" "$linux/tools/fabrique_caisse"
  essai_configuration "$travail" 'C:\Boutique\transit\' 'C:\Boutique\caisse\'
  wine start "$(winepath -w "$raccourci")" >/dev/null 2>&1 || true
  essai_attend_echange "$boutique" 120 || ok=1
  wineserver -k >/dev/null 2>&1 || true
  [ $ok -eq 0 ] && echo "   the installed Pontex, started from the Start menu, ran an exchange"
  # Everything Pontex wrote is in the working folder, nothing beside the
  # programs.
  local livres ecrits
  livres=$(cd "$build"/_CPack_Packages/*/NSIS/Pontex-*-win64 && find . -type f | sort)
  ecrits=$(cd "$programmes" && find . -type f | sort | comm -23 - <(printf '%s\n' "$livres") |
    grep -vx -e './Uninstall.exe' -e './Pontex.lnk') || true
  [ -z "$ecrits" ] || {
    echo "   written beside the programs:" "$ecrits" >&2
    ok=1
  }
  [ -f "$travail/W_intlog.wdo" ] || {
    echo "   no window-state store in C:\\Pontex" >&2
    ok=1
  }
  local gardes
  gardes=$(cd "$travail" && find . -type f | sort)
  (cd "$travail" && find . -type f -exec sha256sum {} + | sort -k2) >"$build/installeur-avant.sha256"
  # The uninstaller runs from a copy of itself, which removes the original:
  # wait for every program of the prefix to end.
  wine "$programmes/Uninstall.exe" /S || true
  wineserver -w
  [ -e "$programmes" ] && {
    echo "   left by the uninstaller:" "$(cd "$programmes" && find . -mindepth 1)" >&2
    ok=1
  }
  (cd "$travail" && sha256sum --quiet -c "$build/installeur-avant.sha256") || {
    echo "   the uninstaller changed or removed files of C:\\Pontex" >&2
    ok=1
  }
  [ -e "$raccourci" ] && {
    echo "   Start-menu shortcut left by the uninstaller" >&2
    ok=1
  }
  [ $ok -eq 0 ] && echo "   uninstalled; C:\\Pontex kept:" "${gardes//$'\n'/ }"
  return $ok
}

# The installer of the layout before the programs left C:\Pontex, built once
# from that commit's tree and kept in the cache beside Qt (a few minutes the
# first time); prints the folder holding it (installeur.exe) and the list
# of the files it delivers (livres.txt).
# PONTEX_INSTALLEURS names another cache folder.
essai_commit_ancien() { printf '%s\n' "${PONTEX_INSTALLEUR_PRECEDENT:-c898719352518d300e240e7f00c130f4a9764a90}"; }
essai_garde_ancien() { printf '%s/%s\n' "${PONTEX_INSTALLEURS:-$HOME/.cache/pontex/installeurs}" "$(essai_commit_ancien)"; }
windows_ancien_installeur() { # RACINE WINDOWS_BUILD QT
  local racine=$1 build=$2 qt=$3 source construction lanceur=() commit garde
  commit=$(essai_commit_ancien)
  garde=$(essai_garde_ancien)
  if [ -f "$garde/installeur.exe" ] && [ -f "$garde/livres.txt" ]; then
    printf '%s\n' "$garde"
    return 0
  fi
  git -C "$racine" cat-file -e "$commit^{commit}" 2>/dev/null || {
    echo "   commit $commit of the previous installer is not in this clone" \
      "(a shallow clone? git fetch --unshallow): the upgrade is not tested" >&2
    return 2
  }
  echo "   building the previous installer ($commit) once..." >&2
  source="$build/ancien"
  construction="$source/build-windows-qt"
  rm -rf "$source"
  mkdir -p "$source"
  git -C "$racine" archive "$commit" | tar -x -C "$source"
  # ccache only where the machine has it: a fresh CI machine does not.
  if command -v ccache >/dev/null; then
    lanceur=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  fi
  {
    "$qt/bin/qt-cmake" -S "$source" -B "$construction" -G Ninja \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPONTEX_GUI=ON -DPONTEX_BENCH=OFF -DPONTEX_TESTS=OFF \
      "${lanceur[@]}" &&
      cmake --build "$construction" &&
      (cd "$construction" && cpack -G NSIS)
  } >"$build/ancien.log" 2>&1 || {
    tail -n 30 "$build/ancien.log" >&2
    return 1
  }
  mkdir -p "$garde.tmp"
  cp "$construction"/Pontex-*-win64.exe "$garde.tmp/installeur.exe"
  (cd "$construction"/_CPack_Packages/*/NSIS/Pontex-*-win64 && find . -type f | sort) \
    >"$garde.tmp/livres.txt"
  rm -rf "$garde"
  mv "$garde.tmp" "$garde"
  rm -rf "$source"
  printf '%s\n' "$garde"
}

# An upgrade from the layout with the programs in C:\Pontex. The previous
# installer is installed, Pontex started at login from the entry kestrap
# makes runs an exchange, then is killed in the middle of a large delivery,
# which leaves a progress record and its working file. The new installer
# goes over it: the programs leave C:\Pontex, every other file there keeps
# its bytes, the login entry names the new Pontex.exe and, started from it,
# that Pontex finishes the delivery, each record applied once. The
# uninstaller then leaves the shop's files as they are.
windows_mise_a_jour() { # RACINE WINDOWS_BUILD QT
  local racine=$1 build=$2 qt=$3 ancien nouveau ok=0 f
  local c="$WINEPREFIX/drive_c" linux=${PONTEX_BUILD:-$1/build}
  local travail="$c/Pontex" programmes="$c/Program Files/Pontex" boutique="$c/Boutique"
  local essai="$build/mise_a_jour" demarrage entree
  echo "== upgrade from the programs in C:\\Pontex"
  # Without the previous installer's commit (a shallow clone) there is
  # nothing to upgrade from: said, and the test skipped.
  ancien=$(windows_ancien_installeur "$racine" "$build" "$qt")
  case $? in
    0) ;;
    2) return 77 ;;
    *) return 1 ;;
  esac
  nouveau=$(essai_unique "$build" "Pontex-*-win64.exe") || {
    echo "   no new installer" >&2
    return 1
  }
  rm -rf "$travail" "$programmes" "$boutique" "$essai"
  mkdir -p "$essai"
  wine "$ancien/installeur.exe" /S || true
  wineserver -w
  [ -f "$travail/Pontex.exe" ] || {
    echo "   the previous installer put no Pontex.exe into C:\\Pontex" >&2
    return 1
  }

  essai_boutique "$boutique" "$linux/tools/fabrique_caisse"
  # shellcheck disable=SC1003 # Windows folders end with a backslash
  essai_configuration "$travail" 'C:\Boutique\transit\' 'C:\Boutique\caisse\'
  # The start at login as kestrap's "Activer" makes it: the entry file
  # copied into the Startup folder.
  demarrage=$(essai_demarrage_wine) || {
    echo "   no profile folder under Wine" >&2
    return 1
  }
  mkdir -p "$demarrage"
  entree="$demarrage/Pontex.lnk"
  cp "$travail/Pontex.lnk" "$entree"
  wine start "$(winepath -w "$entree")" >/dev/null 2>&1 || true
  essai_attend_echange "$boutique" 120 || ok=1
  wineserver -k >/dev/null 2>&1 || true
  [ $ok -eq 0 ] || return 1
  echo "   previous version installed in C:\\Pontex, one exchange run from the login entry"

  # A large delivery, killed part-way: the progress record and the working
  # file stay.
  local serveur="$essai/serveur" records=20000 avant pendant limite
  mkdir -p "$serveur"
  printf '%s\r\n' "#TRANSIT#$boutique/transit/" "#FICBASE#$boutique/caisse/" "#REFARTI#1" \
    "#NUMPOST#3" "#UTILISA#12" >"$serveur/Pontex.wdo"
  "$linux/tools/serveur_simule" --boutique "$serveur" --ecrit-mouvements "$essai/livraison.txt" \
    --records $records --graine 5 >/dev/null || return 1
  cp "$essai/livraison.txt" "$boutique/transit/import/livraison.txt"
  touch -d '-1 hour' "$boutique/transit/import/livraison.txt"
  avant=$(essai_mouvements "$boutique/caisse/W_CAIREC.WDO")
  wine start "$(winepath -w "$entree")" >/dev/null 2>&1 || true
  limite=$(($(date +%s) + 120))
  pendant=$avant
  while [ "$(date +%s)" -lt $limite ] && [ $((pendant - avant)) -lt 300 ]; do
    sleep 0.2
    pendant=$(essai_mouvements "$boutique/caisse/W_CAIREC.WDO")
  done
  wineserver -k >/dev/null 2>&1 || true
  pendant=$(essai_mouvements "$boutique/caisse/W_CAIREC.WDO")
  if [ ! -f "$travail/reprise_analyse.wdo" ] || [ ! -f "$travail/prov_stk_ana_ron.txt" ] ||
    [ $((pendant - avant)) -ge $records ]; then
    echo "   no delivery left part-way ($((pendant - avant)) of $records applied)" >&2
    return 1
  fi
  echo "   killed after $((pendant - avant)) of $records records: progress record and working file left"

  # Every file of C:\Pontex the previous installer did not deliver, byte
  # for byte.
  local livres donnees
  livres=$( (
    cat "$ancien/livres.txt"
    printf '%s\n' ./Uninstall.exe ./Pontex.lnk
  ) | sort -u)
  donnees=$(cd "$travail" && find . -type f | sort | comm -23 - <(printf '%s\n' "$livres"))
  for f in ./Pontex.wdo ./W_intlog.wdo ./reprise_analyse.wdo ./prov_stk_ana_ron.txt \
    ./fichiers_appliques.wdo; do
    grep -qxF "$f" <<<"$donnees" || {
      echo "   no $f in C:\\Pontex before the upgrade" >&2
      ok=1
    }
  done
  grep -q '^\./journal/' <<<"$donnees" || {
    echo "   no journal in C:\\Pontex before the upgrade" >&2
    ok=1
  }
  (cd "$travail" && printf '%s\n' "$donnees" | xargs -d '\n' sha256sum) >"$essai/donnees.sha256"

  wine "$nouveau" /S || true
  wineserver -w
  for f in Pontex.exe relvano.exe kestrap.exe Qt6Core.dll platforms/qwindows.dll Pontex.lnk \
    kestrap.wdo Uninstall.exe; do
    [ -f "$programmes/$f" ] || {
      echo "   not in Program Files\\Pontex after the upgrade: $f" >&2
      ok=1
    }
  done
  while read -r f; do
    [ -e "$travail/$f" ] && {
      echo "   left in C:\\Pontex by the upgrade: $f" >&2
      ok=1
    }
  done <<<"$livres"
  local restes
  restes=$(cd "$travail" && find . -type f \( -iname '*.exe' -o -iname '*.dll' \))
  [ -z "$restes" ] || {
    echo "   programs left in C:\\Pontex:" "$restes" >&2
    ok=1
  }
  [ "$(cd "$travail" && find . -type f | sort)" = "$donnees" ] || {
    echo "   the files of C:\\Pontex are not the shop's files of before" >&2
    ok=1
  }
  (cd "$travail" && sha256sum --quiet -c "$essai/donnees.sha256") || {
    echo "   the upgrade changed the shop's files" >&2
    ok=1
  }
  if ! essai_cible_raccourci "$entree" | grep -qiF 'Program Files\Pontex\Pontex.exe' ||
    essai_cible_raccourci "$entree" | grep -qiF 'C:\Pontex\Pontex.exe'; then
    echo "   the login entry does not name Program Files\\Pontex\\Pontex.exe" >&2
    ok=1
  fi
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pontex' \
    /v UninstallString 2>/dev/null | grep -qiF 'Program Files\Pontex\Uninstall.exe' || {
    echo "   the system's list of programs does not name the new uninstaller" >&2
    ok=1
  }
  [ $ok -eq 0 ] || return 1
  echo "   upgraded: programs in Program Files\\Pontex, $(wc -l <<<"$donnees") files of the shop" \
    "kept byte for byte, login entry renewed"

  # Started at login again: the new Pontex, from Program Files, finishes the
  # delivery, every record once.
  local depuis=1 apres
  wine start "$(winepath -w "$entree")" >/dev/null 2>&1 || true
  limite=$(($(date +%s) + 180))
  while [ "$(date +%s)" -lt $limite ]; do
    essai_pontex_depuis 'C:\Program Files\Pontex' && depuis=0
    if [ ! -e "$travail/prov_stk_ana_ron.txt" ] && [ ! -e "$travail/reprise_analyse.wdo" ]; then
      sleep 2
      break
    fi
    sleep 0.5
  done
  wineserver -k >/dev/null 2>&1 || true
  apres=$(essai_mouvements "$boutique/caisse/W_CAIREC.WDO")
  [ $depuis -eq 0 ] || {
    echo "   no Pontex.exe seen running from Program Files\\Pontex" >&2
    ok=1
  }
  if [ -e "$travail/prov_stk_ana_ron.txt" ] || [ $((apres - avant)) -ne $records ]; then
    echo "   the delivery was not finished once: $((apres - avant)) movements for $records records" >&2
    ok=1
  fi
  [ $ok -eq 0 ] || return 1
  echo "   the login entry started the new Pontex: delivery finished, $records movements for" \
    "$records records"

  (cd "$travail" && find . -type f -exec sha256sum {} + | sort -k2) >"$essai/avant_retrait.sha256"
  wine "$programmes/Uninstall.exe" /S || true
  wineserver -w
  [ -e "$programmes" ] && {
    echo "   left by the uninstaller:" "$(cd "$programmes" && find . -mindepth 1)" >&2
    ok=1
  }
  [ -e "$entree" ] && {
    echo "   login entry left by the uninstaller" >&2
    ok=1
  }
  (cd "$travail" && sha256sum --quiet -c "$essai/avant_retrait.sha256") || {
    echo "   the uninstaller changed or removed the shop's files" >&2
    ok=1
  }
  [ $ok -eq 0 ] && echo "   uninstalled; the $(wc -l <"$essai/avant_retrait.sha256") files of C:\\Pontex kept"
  return $ok
}

# --- Speed under Wine ----------------------------------------------------------

# The apply rate of Pontex.exe under Wine beside the floor program
# (bench/plancher.cpp, built for Windows) under Wine on the same register and
# delivery, timed from outside by the Linux build's floor program,
# which polls the movement file's header count (first to last new
# movement), turn about. Then where the time goes: the Wine server requests
# each applied record costs (WINEDEBUG=+server, counted by request; the
# difference between a run of 2N and one of N records, so that start-up
# and the export drop out), Pontex's and the floor's.
# PONTEX_BENCH_RECORDS (20000) and PONTEX_BENCH_TOURS (3) set the size.
windows_bench() { # RACINE WINDOWS_BUILD
  local racine=$1 build=$2 linux=${PONTEX_BUILD:-$1/build}
  # The globals of scripts/bench-fonctions.sh, as bench.sh sets them.
  local tmp="$2/bench-windows" plancher records=${PONTEX_BENCH_RECORDS:-20000}
  local tours=${PONTEX_BENCH_TOURS:-3} b="$2/bench-windows" guet_pid
  # shellcheck source=scripts/bench-fonctions.sh
  source "$racine/scripts/bench-fonctions.sh"
  echo "== speed under Wine: Pontex.exe against the floor program, $records records, $tours turns"
  # Both floors built by their build: the Linux one watches, the Windows one
  # (a target of the Windows build, static) is measured.
  essai_linux "$racine" "$linux" plancher || return 1
  plancher=$linux/bench/plancher
  cmake --build "$build" --target plancher_windows >"$build/plancher.log" 2>&1 || {
    tail -n 20 "$build/plancher.log" >&2
    return 1
  }
  rm -rf "$b"
  mkdir -p "$b/shop" "$b/transit/import/histo" "$b/transit/export/histo"
  "$linux/tools/fabrique_caisse" "$b/caisse0" --articles 32767 --queue 500 --graine 2 >/dev/null ||
    return 1
  # The server's delivery names the register with Linux paths, Pontex with
  # Wine's.
  printf '%s\r\n' "#TRANSIT#$b/transit\\" "#FICBASE#$b/caisse0\\" '#REFARTI#1' '#NOM_STO#stock_' \
    '#NUMPOST#1' '#UTILISA#1' '#TIM_ANA#60' >"$b/shop/Pontex.wdo"
  "$linux/tools/serveur_simule" --boutique "$b/shop" --ecrit-mouvements "$b/mvt.txt" \
    --records "$records" --graine 3 >/dev/null || return 1
  head -n $((records / 10)) "$b/mvt.txt" >"$b/mvt_n.txt"
  head -n $((records / 5)) "$b/mvt.txt" >"$b/mvt_2n.txt"
  printf '%s\r\n' "#TRANSIT#$(winepath -w "$b/transit")\\" "#FICBASE#$(winepath -w "$b/caisse")\\" \
    '#REFARTI#1' '#NOM_STO#stock_' '#NUMPOST#1' '#UTILISA#1' '#TIM_ANA#60' >"$b/shop/Pontex.wdo"
  local caisse_w err_w
  caisse_w=$(winepath -w "$b/caisse")
  err_w=$(winepath -w "$b/plancher.err")

  # A traced run starts its own Wine server, which writes the trace.
  serveur_neuf() {
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w 2>/dev/null || true
  }
  # Pontex as the shop starts it, in its folder, on a fresh register and
  # the delivery DELIVERY; prints its apply time (s).
  pontex_une_fois() { # DELIVERY N [WINEDEBUG]
    caisse_neuve
    rm -rf "$b"/transit/export/stock_*.txt "$b"/transit/import/* "$b/shop/journal" \
      "$b/shop/W_intlog.wdo" "$b/shop/fichiers_appliques.wdo"
    mkdir -p "$b/transit/import/histo"
    cp "$1" "$b/transit/import/mvt.txt"
    touch -d '-1 minute' "$b/transit/import/mvt.txt"
    guette_depuis_la "$b/transit/export" "$b/shop/prov_stk_ana_ron.txt" "$2" 300
    local guet=$guet_pid
    [ -n "${3:-}" ] && serveur_neuf
    (
      cd "$b/shop" || exit
      WINEDEBUG=${3:--all} exec wine "$build/bin/Pontex.exe" 2>"$b/wine.log"
    ) >/dev/null &
    local pid=$!
    wait "$guet"
    wineserver -k >/dev/null 2>&1 || true
    wait "$pid" 2>/dev/null || true
    local premier dernier
    read -r _ _ _ _ premier _ dernier _ <"$b/guet.txt"
    awk -v p="$premier" -v d="$dernier" 'BEGIN { if (p < 0 || d < 0) exit 1; print d - p }'
  }
  plancher_une_fois() { # DELIVERY N [WINEDEBUG]
    # Asked of Wine before the traced server is started.
    local livraison_w
    livraison_w=$(winepath -w "$1")
    caisse_neuve
    rm -f "$b/plancher.err"
    guette_depuis_la - - "$2" 300
    local guet=$guet_pid
    [ -n "${3:-}" ] && serveur_neuf
    WINEDEBUG=${3:--all} wine "$build/bench/plancher.exe" apply "$caisse_w" "$livraison_w" "$err_w" \
      >/dev/null 2>"$b/wine.log" || true
    wait "$guet"
    [ -n "${3:-}" ] && serveur_neuf
    local premier dernier
    read -r _ _ _ _ premier _ dernier _ <"$b/guet.txt"
    awk -v p="$premier" -v d="$dernier" 'BEGIN { if (p < 0 || d < 0) exit 1; print d - p }'
  }

  local tour p f rapports=() tp=() tf=()
  for ((tour = 0; tour < tours; tour++)); do
    if ((tour % 2 == 0)); then
      p=$(pontex_une_fois "$b/mvt.txt" "$records" 2>/dev/null) || { echo "   Pontex.exe did not finish" >&2; return 1; }
      f=$(plancher_une_fois "$b/mvt.txt" "$records") || { echo "   the floor did not finish" >&2; return 1; }
    else
      f=$(plancher_une_fois "$b/mvt.txt" "$records") || { echo "   the floor did not finish" >&2; return 1; }
      p=$(pontex_une_fois "$b/mvt.txt" "$records" 2>/dev/null) || { echo "   Pontex.exe did not finish" >&2; return 1; }
    fi
    tp+=("$p")
    tf+=("$f")
    rapports+=("$(awk -v p="$p" -v f="$f" 'BEGIN { print p / f }')")
    echo "   turn $((tour + 1)): Pontex.exe $p s, floor $f s"
  done
  local mp mf mr
  mp=$(printf '%s\n' "${tp[@]}" | mediane)
  mf=$(printf '%s\n' "${tf[@]}" | mediane)
  mr=$(printf '%s\n' "${rapports[@]}" | mediane)

  # Wine server requests per applied record, by request.
  local n=$((records / 10)) programme fichier
  for programme in pontex plancher; do
    for fichier in mvt_n mvt_2n; do
      local combien=$n
      [ $fichier = mvt_2n ] && combien=$((2 * n))
      ${programme}_une_fois "$b/$fichier.txt" "$combien" +server >/dev/null 2>&1 ||
        { echo "   $programme did not finish under +server" >&2; return 1; }
      # Request lines only: "0024: open_file( access=... )"; a reply reads
      # "0024: open_file() = 0 { ... }".
      grep -v '^[0-9a-f]*: [a-z_0-9]*() = ' "$b/wine.log" |
        sed -n 's/^[0-9a-f]*: \([a-z_0-9]*\)(.*/\1/p' | LC_ALL=C sort | uniq -c |
        awk '{ print $2, $1 }' >"$b/requetes_${programme}_$fichier.txt"
    done
    LC_ALL=C join -a 1 -a 2 -e 0 -o 0,1.2,2.2 "$b/requetes_${programme}_mvt_n.txt" \
      "$b/requetes_${programme}_mvt_2n.txt" |
      awk -v n="$n" '{ d = ($3 - $2) / n; if (d > 0.05) print $1, d }' | sort -k2 -g -r \
      >"$b/par_record_$programme.txt"
  done
  rm -f "$b/wine.log"
  local rp rf
  rp=$(awk '{ s += $2 } END { printf "%.1f", s }' "$b/par_record_pontex.txt")
  rf=$(awk '{ s += $2 } END { printf "%.1f", s }' "$b/par_record_plancher.txt")
  echo
  echo "Measured on $(date +%Y-%m-%d), $(wine --version), $(nproc) cores, load $(cut -d ' ' -f 1-3 /proc/loadavg):"
  echo
  echo "| under Wine, $records records on 32,767 articles | Pontex.exe | floor (plancher.exe) |"
  echo "|---|---|---|"
  printf '| apply, first to last movement (median of %d turns) | %.1f s, %.0f records/s | %.1f s, %.0f records/s |\n' \
    "$tours" "$mp" "$(awk -v t="$mp" -v n="$records" 'BEGIN { print n / t }')" \
    "$mf" "$(awk -v t="$mf" -v n="$records" 'BEGIN { print n / t }')"
  printf '| ratio Pontex / floor (median of the turns) | **%.2f×** | 1 |\n' "$mr"
  printf '| Wine server requests per record | %s | %s |\n' "$rp" "$rf"
  printf '| time per request, if requests were all the time | %.0f µs | %.0f µs |\n' \
    "$(awk -v t="$mp" -v n="$records" -v r="$rp" 'BEGIN { print (r > 0 ? t / n / r * 1e6 : 0) }')" \
    "$(awk -v t="$mf" -v n="$records" -v r="$rf" 'BEGIN { print (r > 0 ? t / n / r * 1e6 : 0) }')"
  echo
  echo "Requests per record, Pontex.exe:"
  awk '{ printf "  %-28s %6.2f\n", $1, $2 }' "$b/par_record_pontex.txt" | head -n 15
  echo "Requests per record, the floor:"
  awk '{ printf "  %-28s %6.2f\n", $1, $2 }' "$b/par_record_plancher.txt" | head -n 15
}

# --- Run by ctest --------------------------------------------------------------

# The Wine prefix of the Windows build; the first run creates it.
windows_prefixe() { # WINDOWS_BUILD
  export WINEPREFIX=${WINEPREFIX:-$1/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot --init >/dev/null 2>&1 || true
    wineserver -w || true
  fi
}

# Qt's "windows" platform on a display: scripts/test-windows.sh's virtual
# one (PONTEX_ECRAN_WINE), or a virtual display of our own (Xvfb), which
# windows_fin ends. Qt's "offscreen" platform does not come up under Wine.
windows_xvfb=
windows_ecran() {
  export QT_QPA_PLATFORM=windows
  if [ -n "${PONTEX_ECRAN_WINE:-}" ]; then
    export DISPLAY=$PONTEX_ECRAN_WINE
    return 0
  fi
  local n
  for n in $(seq 90 120); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break
  done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  windows_xvfb=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && return 0
    sleep 0.1
  done
  echo "   the virtual display :$n did not come up" >&2
  return 1
}

# Ends every program of the prefix, and the display started for it.
# shellcheck disable=SC2317 # run by a trap
windows_fin() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$windows_xvfb" ]; then
    kill "$windows_xvfb" 2>/dev/null || true
    wait "$windows_xvfb" 2>/dev/null || true
  fi
  windows_xvfb=
}

# Why this machine cannot run SUITE on this build, or nothing when it can.
windows_empechement() { # SUITE WINDOWS_BUILD QT
  local outil
  for outil in wine wineserver winepath wineboot; do
    command -v "$outil" >/dev/null ||
      { echo "no $outil on this machine (scripts/test-windows.sh installs Wine)"; return; }
  done
  if [ ! -f "$2/bin/Pontex.exe" ]; then
    echo "this Windows build has no programs: Qt for Windows is not built" \
      "(scripts/qt-windows.sh, about an hour, once; then scripts/test-windows.sh)"
    return
  fi
  if [ -z "${PONTEX_ECRAN_WINE:-}" ] && ! command -v Xvfb >/dev/null; then
    echo "no Xvfb for Qt's windows under Wine (Debian package xvfb)"
    return
  fi
  case $1 in
    installeur | mise_a_jour)
      command -v makensis >/dev/null || {
        echo "no NSIS to make the installer (Debian package nsis; scripts/test-windows.sh installs it)"
        return
      }
      # The previous installer, when not kept yet, is built with this Qt.
      if [ "$1" = mise_a_jour ] && [ ! -x "$3/bin/qt-cmake" ] &&
        [ ! -f "$(essai_garde_ancien)/installeur.exe" ]; then
        echo "no Qt for Windows in $3 to build the previous installer with"
      fi
      ;;
    bench)
      case ${PONTEX_BENCH_WINDOWS:-0} in
        1 | seul) ;;
        *) echo "the speed under Wine is measured on demand: PONTEX_BENCH_WINDOWS=1 (a few minutes)" ;;
      esac
      ;;
  esac
}

# One suite, as ctest runs it.
windows_essai() { # SUITE RACINE WINDOWS_BUILD [QT]
  local suite=$1 racine=$2 build=$3 qt=${PONTEX_QT_WINDOWS:-${4:-}} empechement
  case $suite in
    echange | installeur | mise_a_jour | bench) ;;
    *)
      echo "unknown suite: $suite (echange, installeur, mise_a_jour, bench)" >&2
      return 2
      ;;
  esac
  [ -n "$qt" ] || qt=$HOME/.cache/pontex/qt6-mingw-6.4.2
  empechement=$(windows_empechement "$suite" "$build" "$qt")
  if [ -n "$empechement" ]; then
    echo "Skipped: $empechement."
    return 77
  fi
  trap windows_fin EXIT
  windows_prefixe "$build"
  windows_ecran || return 1
  essai_linux "$racine" "${PONTEX_BUILD:-$racine/build}" || return 1
  case $suite in
    echange) windows_echange_compare "$racine" "$build" ;;
    installeur) windows_installeur "$build" ;;
    mise_a_jour) windows_mise_a_jour "$racine" "$build" "$qt" ;;
    bench) windows_bench "$racine" "$build" ;;
  esac
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -uo pipefail
  windows_essai "$@"
  exit $?
fi
