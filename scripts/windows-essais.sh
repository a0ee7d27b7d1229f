# shellcheck shell=bash
# The whole-program checks of scripts/test-windows.sh, run under Wine once
# the programs are cross-built with Qt: one exchange by Pontex.exe compared
# byte for byte with the Linux build's, and the installer. Sourced; expects
# WINEPREFIX and DISPLAY set, and Qt's "windows" platform.

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

# Builds what the Linux side needs, when it is not built yet.
essai_linux() { # RACINE LINUX_BUILD
  if [ -x "$2/bin/Pontex" ] && [ -x "$2/tools/fabrique_caisse" ]; then
    return 0
  fi
  # shellcheck source=scripts/deps.sh
  source "$1/scripts/deps.sh"
  pontex_installe_dependances
  [ -f "$2/build.ninja" ] || cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$2" --target Pontex fabrique_caisse
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

# The installer: silent installation under Wine into a folder of our own,
# the installed Pontex started through its Start-menu shortcut (so in its
# folder) running an exchange, then the uninstaller, which must leave the
# shop's settings and what Pontex wrote.
windows_installeur() { # WINDOWS_BUILD
  local build=$1 paquet dossier_w='C:\Boutique\Pontex' dossier raccourci ok=0 f
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
  # Installed into C:\Pontex unless told otherwise.
  grep -qF 'InstallDir "C:\Pontex"' "$build"/_CPack_Packages/*/NSIS/project.nsi || {
    echo "   the installer's default folder is not C:\Pontex" >&2
    return 1
  }
  dossier="$WINEPREFIX/drive_c/Boutique/Pontex"
  rm -rf "$WINEPREFIX/drive_c/Boutique"
  wine "$paquet" /S "/D=$dossier_w" || true
  wineserver -w
  for f in Pontex.exe relvano.exe kestrap.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll \
    libstdc++-6.dll platforms/qwindows.dll imageformats/qgif.dll imageformats/qico.dll \
    qz_img_024.gif Kestrap.ico kestrap.wdo Pontex.lnk Uninstall.exe; do
    [ -f "$dossier/$f" ] || {
      echo "   not installed: $f" >&2
      ok=1
    }
  done
  grep -q $'^#R#Pontex.lnk ' "$dossier/kestrap.wdo" || {
    echo "   kestrap.wdo does not name Pontex.lnk" >&2
    ok=1
  }
  raccourci=$(find "$WINEPREFIX/drive_c" -path '*/Start Menu/Programs/Pontex/Pontex.lnk' | head -n1)
  [ -n "$raccourci" ] || {
    echo "   no Start-menu shortcut" >&2
    ok=1
  }
  [ $ok -eq 0 ] || return 1

  # A shop for the installed Pontex.
  local linux=${PONTEX_BUILD:-$racine/build} boutique="$WINEPREFIX/drive_c/Boutique"
  essai_boutique "$boutique" "$linux/tools/fabrique_caisse"
  essai_configuration "$dossier" 'C:\Boutique\transit\' 'C:\Boutique\caisse\'
  wine start "$(winepath -w "$raccourci")" >/dev/null 2>&1 || true
  essai_attend_echange "$boutique" 120 || ok=1
  wineserver -k >/dev/null 2>&1 || true
  [ $ok -eq 0 ] && echo "   the installed Pontex, started from the Start menu, ran an exchange"

  # What Pontex wrote beside itself and the shop's Pontex.wdo: every file of
  # the folder that the package did not bring.
  local livres gardes
  livres=$(cd "$build"/_CPack_Packages/*/NSIS/Pontex-*-win64 && find . -type f | sort)
  gardes=$(cd "$dossier" && find . -type f | sort | comm -23 - <(printf '%s\n' "$livres") |
    grep -vx -e './Uninstall.exe' -e './Pontex.lnk')
  # The uninstaller runs from a copy of itself, which removes the original:
  # wait for every program of the prefix to end.
  wine "$dossier/Uninstall.exe" /S || true
  wineserver -w
  for f in Pontex.exe relvano.exe kestrap.exe Qt6Core.dll platforms Pontex.lnk kestrap.wdo \
    Uninstall.exe; do
    [ -e "$dossier/$f" ] && {
      echo "   left by the uninstaller: $f" >&2
      ok=1
    }
  done
  grep -qx './Pontex.wdo' <<<"$gardes" || ok=1
  while read -r f; do
    [ -f "$dossier/$f" ] || {
      echo "   removed by the uninstaller: $f" >&2
      ok=1
    }
  done <<<"$gardes"
  [ -e "$raccourci" ] && {
    echo "   Start-menu shortcut left by the uninstaller" >&2
    ok=1
  }
  [ $ok -eq 0 ] && echo "   uninstalled; kept:" "${gardes//$'\n'/ }"
  return $ok
}
