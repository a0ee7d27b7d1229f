#!/usr/bin/env bash
# The Debian package as a shop gets it: made by cpack from this build,
# unpacked with dpkg-deb, checked for what goes where, then run from the
# menu entry's command with a fresh home folder: the working folder
# ~/Pontex is made with the configuration template, and an exchange runs
# there on a sample shop with the programs read from the unpacked
# /opt/pontex, leaving its lines in the journal file.
#
#   test_paquet.sh BUILD_FOLDER
# Exit status 77 (skipped) where dpkg's tools are missing.
set -uo pipefail
build=$1
for outil in dpkg-deb dpkg-shlibdeps cpack; do
  command -v "$outil" >/dev/null || {
    echo "No $outil here: the package is not tested." >&2
    exit 77
  }
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/pontex-paquet-XXXXXX") || exit 1
pontex=
nettoie() {
  if [ -n "$pontex" ]; then
    kill -TERM "$pontex" 2>/dev/null
    wait "$pontex" 2>/dev/null
  fi
  rm -rf -- "$tmp"
}
trap nettoie EXIT
trap 'exit 130' INT TERM

echec() {
  echo "FAILED: $*" >&2
  [ -s "$tmp/pontex.log" ] && tail -n 20 "$tmp/pontex.log" >&2
  exit 1
}

# Waits up to $1 seconds for the command that follows to succeed.
attend() {
  local fin=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -ge $fin ] && return 1
    sleep 0.2
  done
}

# --- The package ------------------------------------------------------------
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/paquet" >"$tmp/cpack.log" 2>&1 || {
  cat "$tmp/cpack.log" >&2
  echec "cpack -G DEB"
}
deb=("$tmp"/paquet/pontex_*_*.deb)
[ ${#deb[@]} = 1 ] && [ -f "${deb[0]}" ] || echec "no pontex_<version>_<arch>.deb"
dpkg-deb -f "${deb[0]}" Package | grep -qx pontex || echec "the package is not named pontex"
dpkg-deb -f "${deb[0]}" Depends | grep -q 'libqt6widgets6' || echec "no dependency on Qt 6 Widgets"

racine=$tmp/racine
dpkg-deb -x "${deb[0]}" "$racine" || echec "dpkg-deb -x"
opt=$racine/opt/pontex
for f in Pontex relvano kestrap lance-pontex pontex-etat; do
  [ -x "$opt/$f" ] || echec "$f is not an executable in /opt/pontex"
done
for f in qz_img_024.gif Kestrap.ico kestrap.wdo Pontex.desktop modele/Pontex.wdo; do
  [ -f "$opt/$f" ] || echec "$f is missing from /opt/pontex"
done
menu=$racine/usr/share/applications/pontex.desktop
grep -qx 'Exec=/opt/pontex/lance-pontex' "$menu" || echec "the menu entry does not start lance-pontex"
grep -qx 'Icon=pontex' "$menu" || echec "the menu entry has no icon"
[ -f "$racine/usr/share/icons/hicolor/64x64/apps/pontex.png" ] || echec "no menu icon"
[ -f "$racine/usr/share/doc/pontex/README.md" ] || echec "no README in /usr/share/doc/pontex"
# The start-at-login entry starts Pontex in the working folder too.
grep -qx 'Exec=/opt/pontex/lance-pontex --sans-focus' "$opt/Pontex.desktop" ||
  echec "the start-at-login entry does not start lance-pontex"
grep -q '^Path=' "$opt/Pontex.desktop" && echec "the start-at-login entry starts in a fixed folder"
# Once the package is removed, the copy left in ~/.config/autostart names a
# program that is gone: the session skips it.
grep -qx 'TryExec=/opt/pontex/lance-pontex' "$opt/Pontex.desktop" ||
  echec "the start-at-login entry has no TryExec naming lance-pontex"
grep -qx 'Icon=pontex' "$opt/Pontex.desktop" || echec "the start-at-login entry has no icon"
grep -qx 'TryExec=/opt/pontex/lance-pontex' "$menu" || echec "the menu entry has no TryExec"
# kestrap's "Fin" brings Pontex back through the launcher, into ~/Pontex,
# wherever kestrap itself was started.
grep -q "^#P#'/opt/pontex/lance-pontex' " "$opt/kestrap.wdo" ||
  echec "kestrap's return command is not the launcher: $(grep '^#P#' "$opt/kestrap.wdo")"
if command -v desktop-file-validate >/dev/null; then
  for entree in "$menu" "$opt/Pontex.desktop"; do
    desktop-file-validate "$entree" || echec "desktop-file-validate $entree"
  done
fi
# The conventions of a desktop program: a scalable icon, the software
# centres' metadata, the manual page, pontex-etat on the PATH.
svg=$racine/usr/share/icons/hicolor/scalable/apps/pontex.svg
grep -q '<svg' "$svg" 2>/dev/null || echec "no scalable icon"
metainfo=$racine/usr/share/metainfo/fr.pontex.pontex.metainfo.xml
[ -f "$metainfo" ] || echec "no AppStream metadata"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net --pedantic "$metainfo" >"$tmp/appstream.log" 2>&1 || {
    cat "$tmp/appstream.log" >&2
    echec "appstreamcli validate"
  }
fi
man1=$racine/usr/share/man/man1
gzip -dc "$man1/pontex.1.gz" | grep -q '^\.SH EXIT STATUS' || echec "no manual page pontex(1)"
[ "$(readlink "$man1/pontex-etat.1.gz")" = pontex.1.gz ] || echec "no manual page for pontex-etat"
for page in relvano kestrap; do
  gzip -dc "$man1/$page.1.gz" | grep -q '^\.SH DESCRIPTION' || echec "no manual page $page(1)"
done
gzip -dc "$man1/pontex.1.gz" | grep -q 'sans\\-focus' || echec "pontex(1) does not name --sans-focus"
[ "$(readlink "$racine/usr/bin/pontex-etat")" = /opt/pontex/pontex-etat ] ||
  echec "pontex-etat is not on the PATH"

# --- First start from the menu: the working folder is made ------------------
# The menu's command, with the unpacked folder standing for /opt/pontex.
export HOME=$tmp/home
mkdir -p "$HOME"
travail=$HOME/Pontex
"$opt/lance-pontex" </dev/null >>"$tmp/pontex.log" 2>&1 &
pontex=$!
attend 20 test -s "$travail/journal/pontex_$(date +%F).log" ||
  echec "no journal file in ~/Pontex/journal after the first start"
cmp -s "$travail/Pontex.wdo" "$opt/modele/Pontex.wdo" || echec "~/Pontex/Pontex.wdo is not the template"
grep -q ' - Démarrage$' "$travail/journal/pontex_$(date +%F).log" ||
  echec "the journal file does not start with Démarrage"
# No register yet: Pontex waits in its notice; ended here.
kill -TERM "$pontex"
wait "$pontex" 2>/dev/null
pontex=

# --- A working folder that cannot be one: said in a window -------------------
# The menu entry has no terminal: the launcher shows why it stops through
# Pontex's own notice (Pontex --message, which touches no file), and ends
# with status 1 once it is closed.

# The pid of the launcher's child that shows the notice, when it is up.
message=
notice_montree() {
  local p
  for p in /proc/[0-9]*; do
    [ "$(cut -d' ' -f4 "$p/stat" 2>/dev/null)" = "$1" ] || continue
    tr '\0' '\n' <"$p/cmdline" 2>/dev/null | grep -qx -- '--message' || continue
    tr '\0' '\n' <"$p/cmdline" >"$tmp/message.txt"
    message=${p#/proc/}
    return 0
  done
  return 1
}

for cas in fichier lien; do
  maison=$tmp/maison-$cas
  mkdir -p "$maison"
  if [ $cas = fichier ]; then
    printf 'x' >"$maison/Pontex"
    attendu="Pontex ne peut pas démarrer : $maison/Pontex existe et n'est pas un dossier."
  else
    ln -s "$tmp/absent" "$maison/Pontex"
    attendu="Pontex ne peut pas démarrer : $maison/Pontex est un lien vers un dossier absent."
  fi
  (cd "$maison" && HOME=$maison exec "$opt/lance-pontex" </dev/null >/dev/null 2>"$tmp/lance.err") &
  lance=$!
  attend 20 notice_montree "$lance" || echec "no notice shown for a ~/Pontex that is a $cas"
  grep -qxF -- "$attendu" "$tmp/message.txt" || echec "the notice does not say: $attendu"
  kill -TERM "$message"
  wait "$lance"
  statut=$?
  [ "$statut" = 1 ] || echec "the launcher ended with $statut, not 1, for a ~/Pontex that is a $cas"
  grep -qF -- "$attendu" "$tmp/lance.err" || echec "stderr does not say: $attendu"
  [ "$(find "$maison" -mindepth 1 | wc -l)" = 1 ] || echec "something was written beside ~/Pontex"
  [ -e "$tmp/absent" ] && echec "the link's target was made"
done

# --- A sample shop: one exchange in the working folder -----------------------
"$build/tools/fabrique_caisse" "$tmp/caisse" --articles 100 --graine 3 >/dev/null ||
  echec "making the sample register"
mkdir -p "$tmp/transit/import/histo" "$tmp/transit/export/histo"
printf '%s\r\n' "#TRANSIT#$tmp/transit | transit" "#FICBASE#$tmp/caisse | caisse" \
  '#REFARTI#1' '#NOM_STO#stock_' '#NUMPOST#1' '#UTILISA#1' '#TIM_ANA#60' >"$travail/Pontex.wdo"
printf 'INCONNUE-1\t2\r\n' >"$tmp/transit/import/mvt_1.txt"
touch -d '-1 minute' "$tmp/transit/import/mvt_1.txt"
# Started as kestrap's "Fin" starts it, from a folder that is not the
# shop's: its return command, with the unpacked folder for /opt/pontex.
retour=$(sed -n "s%^#P#\(.*\)   |.*%\1%p" "$opt/kestrap.wdo" | tr -d '\r')
retour=${retour//\/opt\/pontex/$opt}
(cd / && exec /bin/sh -c "exec $retour") </dev/null >>"$tmp/pontex.log" 2>&1 &
pontex=$!
exporte() { compgen -G "$tmp/transit/export/stock_*.txt" >/dev/null; }
attend 60 exporte || echec "no stock export after the exchange"
[ -f "$tmp/transit/import/mvt_1.old" ] || echec "the movement file was not taken"
journal=$travail/journal/pontex_$(date +%F).log
attend 10 grep -q ' - Traitement : mvt_1.txt$' "$journal" ||
  echec "the journal file does not name the movement file taken"
[ "$(grep -c ' - Démarrage$' "$journal")" = 2 ] || echec "the journal file lost the first start"
[ -e "$opt/prov_stk_ana_ron.txt" ] || [ -e "$opt/journal" ] && echec "Pontex wrote into /opt/pontex"
# Seen from outside: the exchange's unknown reference is a warning.
attend 10 test -s "$travail/pontex_etat.json" || echec "no status file in ~/Pontex"
etat=$("$opt/pontex-etat" "$travail")
code=$?
[ $code = 1 ] || echec "pontex-etat gave $code after an exchange with an unknown reference: $etat"
case $etat in *"Erreur reference : INCONNUE-1"*) ;; *) echec "pontex-etat printed: $etat" ;; esac
echo "Debian package: unpacked, first start made ~/Pontex, one exchange run there."
