#!/usr/bin/env bash
# Builds Qt's base module (Core, Gui, Widgets and the Windows platform plugin)
# for 64-bit Windows with Debian's mingw-w64, from Debian's own qt6-base source
# package, so that the three programs can be cross-built and run under Wine.
# Debian ships no Qt for mingw-w64; its sources cross-build against the host
# tools of qt6-base-dev (moc, rcc, uic of the same version).
#
# Built once into a cache folder outside the repository (default
# ~/.cache/pontex/qt6-mingw-6.4.2) and reused when present. An interrupted
# build resumes where it stopped: the source and build folders are kept
# beside the cache until the installation is complete.
#
#   PONTEX_QT_WINDOWS   installation folder (the cache)
#   PONTEX_QT_WORK      work folder for the source and the build
#   PONTEX_QT_JOBS      parallel compile jobs (default 2)
#   PONTEX_QT_KEEP_WORK set to 1 to keep the work folder after success
set -euo pipefail
racine=$(cd "$(dirname "$0")/.." && pwd)
version=6.4.2
cache=${PONTEX_QT_WINDOWS:-$HOME/.cache/pontex/qt6-mingw-$version}
travail=${PONTEX_QT_WORK:-$HOME/.cache/pontex/qt6-mingw-$version-work}
jobs=${PONTEX_QT_JOBS:-2}

if [ -f "$cache/.pontex-complete" ]; then
  echo "Qt $version for Windows is already built in $cache"
  exit 0
fi

debut=$(date +%s)

# --- Packages -------------------------------------------------------------
paquets=(g++-mingw-w64-x86-64-posix qt6-base-dev qt6-base-dev-tools
         dpkg-dev cmake ninja-build xz-utils)
manquants=()
for p in "${paquets[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || manquants+=("$p")
done

# The source package comes from the same archive the machine already uses,
# so that it is the version of the installed host tools. A deb-src entry is
# added in a file of our own only when none is there.
sources_deb_src() {
  grep -rqsE '^[[:space:]]*(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/
}
entree=/etc/apt/sources.list.d/pontex-deb-src.sources
besoin_update=0
if ! sources_deb_src; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "No deb-src entry in the apt sources. Run as root, or add one for the archive in use." >&2
    exit 1
  fi
  # Take the first deb822 stanza (or one-line entry) of the Debian archive.
  uri=$(grep -rhsE '^URIs:' /etc/apt/sources.list.d/*.sources | grep -v security | head -n1 | awk '{print $2}')
  suite=$(grep -rhsE '^Suites:' /etc/apt/sources.list.d/*.sources | head -n1 | awk '{print $2}')
  if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
    read -r _ uri suite _ < <(grep -E '^deb[[:space:]]' /etc/apt/sources.list | grep -v security | head -n1) || true
  fi
  if [ -z "$uri" ] || [ -z "$suite" ]; then
    echo "Cannot tell which Debian archive this machine uses; add a deb-src entry by hand." >&2
    exit 1
  fi
  cle=/usr/share/keyrings/debian-archive-keyring.gpg
  {
    echo "# Added by Pontex's scripts/qt-windows.sh: Qt's sources for the Windows build."
    echo "Types: deb-src"
    echo "URIs: $uri"
    echo "Suites: $suite"
    echo "Components: main"
    [ -f "$cle" ] && echo "Signed-By: $cle"
  } >"$entree"
  echo "Added $entree ($uri $suite)"
  besoin_update=1
fi
if [ ${#manquants[@]} -gt 0 ] || [ $besoin_update -eq 1 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Run as root:" >&2
    echo "  apt-get update && apt-get install -y ${manquants[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  [ ${#manquants[@]} -gt 0 ] && apt-get install -y -qq --no-install-recommends "${manquants[@]}"
fi

hote=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
case "$hote" in
  "$version"+*|"$version"-*) ;;
  *) echo "qt6-base-dev-tools is $hote, not $version: the host tools must match." >&2; exit 1 ;;
esac

# --- Sources --------------------------------------------------------------
mkdir -p "$travail"
source_dir=$(find "$travail" -maxdepth 1 -type d -name "qt6-base-$version*" | head -n1)
if [ -z "$source_dir" ] || [ ! -f "$source_dir/.pontex-extracted" ]; then
  rm -rf "$travail"/qt6-base-* "$travail"/qt6-base_*
  (cd "$travail" && apt-get source -qq qt6-base="$hote")
  source_dir=$(find "$travail" -maxdepth 1 -type d -name "qt6-base-$version*" | head -n1)
  touch "$source_dir/.pontex-extracted"
fi
echo "Sources: $source_dir"

# --- Toolchain ------------------------------------------------------------
# Kept inside the installation: Qt's qt-cmake refers to the toolchain file
# it was built with, so it must live as long as the cache.
mkdir -p "$cache"
cp "$racine/cmake/mingw-w64-chaine.cmake" "$cache/mingw-w64-toolchain.cmake"

# --- Configure, build, install -------------------------------------------
construction="$travail/build"
# Configured at every run (quick when nothing changed), so that a changed
# option here applies to an interrupted build too.
#
# tabletevent off: the source package leaves out wintab.h, which the Windows
# platform plugin includes otherwise. OpenGL stays on (dynamic, the default):
# the Windows plugin of this version does not build without it. The bundled
# third-party libraries are used, so the DLLs need nothing from the mingw
# sysroot but its runtime. Optimised for size, and without the parts no
# Pontex window uses (PDF, ODF and Markdown writers, style sheets, JPEG,
# FreeType): the build takes much less time on a busy machine. Direct2D
# stays: this version builds its DirectWrite font engine, which the Windows
# plugin uses, only with it.
cmake -S "$source_dir" -B "$construction" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$cache/mingw-w64-toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DFEATURE_optimize_size=ON \
  -DCMAKE_INSTALL_PREFIX="$cache" \
  -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DBUILD_SHARED_LIBS=ON \
  -DQT_BUILD_TESTS=OFF -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF \
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
  -DFEATURE_testlib=ON \
  -DFEATURE_tabletevent=OFF \
  -DFEATURE_pdf=OFF -DFEATURE_textodfwriter=OFF \
  -DFEATURE_textmarkdownreader=OFF -DFEATURE_textmarkdownwriter=OFF \
  -DFEATURE_style_stylesheet=OFF -DFEATURE_jpeg=OFF -DFEATURE_freetype=OFF \
  -DFEATURE_direct2d=ON \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF \
  -DFEATURE_system_png=OFF -DFEATURE_system_harfbuzz=OFF \
  -DFEATURE_system_doubleconversion=OFF
cmake --build "$construction" --parallel "$jobs"
cmake --install "$construction"
touch "$cache/.pontex-complete"
[ "${PONTEX_QT_KEEP_WORK:-0}" = 1 ] || rm -rf "$travail"

fin=$(date +%s)
duree=$((fin - debut))
printf 'Qt %s for Windows built in %dm%02ds into %s (%s)\n' "$version" $((duree / 60)) $((duree % 60)) \
  "$cache" "$(du -sh "$cache" | cut -f1)"
