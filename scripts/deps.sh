#!/usr/bin/env bash
# Installs what building, testing and the demo need on Debian 12, when it is
# missing. Sourced by the scripts of this folder.
PONTEX_PAQUETS=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-private-dev libgl-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation
  imagemagick
  clang-format git
  xvfb xauth x11-apps
  # The focus test under a window manager.
  openbox xdotool x11-utils
  # The Debian package's test: dpkg-shlibdeps and file, used by cpack; the
  # checks of its metadata and desktop entries.
  dpkg-dev file appstream desktop-file-utils
)

# Installs the Debian packages named, those that are missing (as root; for
# another user, prints the one apt-get line to run and fails).
pontex_installe_paquets() {
  local manquants=()
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || manquants+=("$p")
  done
  [ ${#manquants[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${manquants[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq || return 1
    apt-get install -y -qq --no-install-recommends "${manquants[@]}" || return 1
  else
    echo "Missing packages. Run as root:" >&2
    echo "  apt-get update && apt-get install -y ${manquants[*]}" >&2
    return 1
  fi
}

pontex_installe_dependances() {
  pontex_installe_paquets "${PONTEX_PAQUETS[@]}"
}

# Configures build/ (or $PONTEX_BUILD) with Ninja; extra arguments go to the
# configuration.
pontex_configure() {
  local racine
  racine=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  cmake -S "$racine" -B "${PONTEX_BUILD:-$racine/build}" -G Ninja \
    -DCMAKE_BUILD_TYPE="${PONTEX_BUILD_TYPE:-RelWithDebInfo}" -DPONTEX_WERROR=ON "$@"
}

# Configures and builds build/ (or $PONTEX_BUILD); extra arguments go to the
# configuration. The programs are installed straight into the installation
# prefix ("cmake --install build --prefix DIR" gives the shop's folder DIR),
# as they ship.
pontex_construit() {
  local racine
  racine=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  pontex_configure "$@" || return 1
  cmake --build "${PONTEX_BUILD:-$racine/build}" || return 1
}

# The same, building only the targets named.
pontex_construit_cibles() {
  local racine
  racine=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  pontex_configure || return 1
  cmake --build "${PONTEX_BUILD:-$racine/build}" --target "$@" || return 1
}
