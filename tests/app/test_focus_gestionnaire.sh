#!/usr/bin/env bash
# Under a real window manager (openbox on a virtual X display): the periodic
# restart (relvano --sans-focus, which starts Pontex --sans-focus) leaves the
# keyboard focus with the window the user is typing in, and comes up below
# it, never over it, while a start by a person (no argument) takes the focus
# and comes to the front. Skipped (77) when Xvfb, openbox, xdotool, xprop or
# xlogo is missing, or the programs are not built. PONTEX_CAPTURE=<file.png>
# keeps a screenshot of the screen after the restart (ImageMagick's import).
#   test_focus_gestionnaire.sh BUILD_DIR
set -u
build=$(cd "${1:?build folder}" && pwd) || exit 1
bin=$build/bin
fabrique=$build/tools/fabrique_caisse

for outil in Xvfb openbox xdotool xprop xlogo; do
  command -v "$outil" >/dev/null || { echo "SKIP: $outil is not installed"; exit 77; }
done
for p in "$bin/Pontex" "$bin/relvano" "$fabrique"; do
  [ -x "$p" ] || { echo "SKIP: $p is not built"; exit 77; }
done

dossier=$(mktemp -d)
pids=()
# Pontex, started detached by relvano, is found by its working folder.
arrete_pontex() {
  local p
  for p in /proc/[0-9]*; do
    [ "${p#/proc/}" != "$$" ] && [ "$(readlink "$p/cwd" 2>/dev/null)" = "$dossier/boutique" ] &&
      kill "${p#/proc/}" 2>/dev/null
  done
}
fin() {
  arrete_pontex
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$dossier"
}
trap fin EXIT
# A timeout of the test runner stops it with TERM: clean up all the same.
trap 'exit 1' TERM INT HUP
echec() {
  echo "FAIL: $*" >&2
  exit 1
}

# A free display, chosen by the server itself.
exec 3>"$dossier/affichage"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$dossier/affichage" ] && break; sleep 0.1; done
[ -s "$dossier/affichage" ] || echec "Xvfb did not start"
export DISPLAY=:$(head -1 "$dossier/affichage")
export QT_QPA_PLATFORM=xcb
unset PONTEX_DEMARRAGE_REDUIT
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

# The window in use at the till, where Pontex's window will lie.
xlogo -geometry 300x200+500+250 >/dev/null 2>&1 &
pids+=($!)
occupee=$(xdotool search --sync --onlyvisible --class xlogo | head -1)
xdotool windowactivate --sync "$occupee" || echec "cannot give the focus to xlogo"

# A shop that runs: its register, its transit folder, its configuration.
mkdir -p "$dossier/transit/import/histo" "$dossier/transit/export/histo" "$dossier/boutique"
"$fabrique" "$dossier/caisse" --articles 5 >/dev/null || echec "no register"
printf '#TRANSIT#%s\r\n#FICBASE#%s\r\n#TIM_ANA#30\r\n' "$dossier/transit" "$dossier/caisse" \
  >"$dossier/boutique/Pontex.wdo"
# Started in the shop's folder, as relvano and Pontex are.
relance() { (cd "$dossier/boutique" && exec "$bin/relvano" "$@" >/dev/null 2>&1) & }

fenetre_pontex() { xdotool search --onlyvisible --name '^Pontex / Serveur' 2>/dev/null | head -1; }

# The restart: the splash, then Pontex; the focus never leaves xlogo.
relance --sans-focus
for _ in $(seq 300); do
  actif=$(xdotool getactivewindow 2>/dev/null)
  [ "$actif" = "$occupee" ] || echec "the restart took the focus ($(xdotool getwindowname "$actif"))"
  [ -n "$(fenetre_pontex)" ] && break
  sleep 0.1
done
[ -n "$(fenetre_pontex)" ] || echec "Pontex did not come back after the restart"
sleep 1
[ "$(xdotool getactivewindow)" = "$occupee" ] || echec "Pontex took the focus once shown"

# The window manager's stacking order, bottom first: where a window stands.
rang() {
  local i=0 w
  for w in $(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,/ /g'); do
    [ $((w)) = "$1" ] && { echo $i; return; }
    i=$((i + 1))
  done
  echo -1
}
# Given the time to be raised by anything late (the window manager, Qt).
sleep 2
pontex_redemarre=$(fenetre_pontex)
[ "$(rang "$pontex_redemarre")" -ge 0 ] || echec "Pontex's window is not in the stacking list"
[ "$(rang "$pontex_redemarre")" -lt "$(rang "$occupee")" ] ||
  echec "the restarted Pontex covers the window in use"
[ "$(xdotool getactivewindow)" = "$occupee" ] || echec "lowering Pontex took the focus"
if [ -n "${PONTEX_CAPTURE:-}" ] && command -v import >/dev/null; then
  import -window root "$PONTEX_CAPTURE"
fi

# A click on it gives it the focus as to any window.
xdotool mousemove --window "$(fenetre_pontex)" 700 150 click 1
sleep 0.5
[ "$(xdotool getactivewindow)" = "$(fenetre_pontex)" ] || echec "a click does not give Pontex the focus"

# A start by a person takes the focus: the check above can see a change.
arrete_pontex
for _ in $(seq 50); do [ -z "$(fenetre_pontex)" ] && break; sleep 0.1; done
xdotool windowactivate --sync "$occupee"
relance
for _ in $(seq 300); do
  [ -n "$(fenetre_pontex)" ] && [ "$(xdotool getactivewindow)" = "$(fenetre_pontex)" ] && break
  sleep 0.1
done
[ "$(xdotool getactivewindow)" = "$(fenetre_pontex)" ] || echec "a start by a person did not take the focus"
sleep 2
[ "$(rang "$(fenetre_pontex)")" -gt "$(rang "$occupee")" ] ||
  echec "a start by a person did not come to the front"
echo "focus kept and window in use left in front across the restart; both taken by a start by hand"
