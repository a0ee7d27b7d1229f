#!/usr/bin/env bash
# Makes the Debian package of a Linux shop, pontex_<version>_<arch>.deb, in
# build/ (or $PONTEX_BUILD), and checks it with lintian. Installs what it
# needs when run as root on a fresh Debian machine.
#
#   scripts/package.sh
#   apt install ./build/pontex_<version>_amd64.deb
set -euo pipefail
racine=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/deps.sh
source "$racine/scripts/deps.sh"
# Beyond the build: dpkg-shlibdeps (dpkg-dev) and file for the Qt
# dependencies, lintian for the check.
PONTEX_PAQUETS+=(dpkg-dev file lintian)
pontex_installe_dependances
pontex_construit
build=${PONTEX_BUILD:-$racine/build}
cd "$build"
cpack -G DEB
deb=$(ls -t pontex_*_*.deb | head -n 1)
# Errors fail the package; warnings and notes are shown.
lintian --fail-on error "$deb"
echo "$build/$deb"
