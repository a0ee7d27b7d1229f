#!/usr/bin/env bash
# Makes the Debian package of a Linux shop, pontex_<version>_<arch>.deb, in
# build-paquet/ (or $PONTEX_BUILD), and checks it with lintian. Installs what
# it needs when run as root on a fresh Debian machine.
#
#   scripts/package.sh
#   apt install ./build-paquet/pontex_<version>_amd64.deb
#
# The package has a build folder of its own: the programs only (no tests,
# no benchmarks), with Debian's hardening flags (dpkg-buildflags, every
# hardening feature on).
set -euo pipefail
racine=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/deps.sh
source "$racine/scripts/deps.sh"
# Beyond the build: dpkg-shlibdeps (dpkg-dev) and file for the Qt
# dependencies, lintian, appstreamcli and desktop-file-validate for the
# checks.
PONTEX_PAQUETS+=(dpkg-dev file lintian appstream desktop-file-utils)
pontex_installe_dependances
export PONTEX_BUILD=${PONTEX_BUILD:-$racine/build-paquet}
pontex_construit -DPONTEX_DURCISSEMENT=ON -DPONTEX_TESTS=OFF -DPONTEX_BENCH=OFF
cd "$PONTEX_BUILD"
cpack -G DEB
deb=$(ls -t pontex_*_*.deb | head -n 1)
appstreamcli validate --no-net "$racine/paquet/fr.pontex.pontex.metainfo.xml"
desktop-file-validate "$racine/paquet/pontex.desktop"
# Errors and warnings fail the package; the pedantic notes are shown.
lintian --pedantic --fail-on error,warning "$deb"
echo "$PONTEX_BUILD/$deb"
