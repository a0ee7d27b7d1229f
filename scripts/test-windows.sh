#!/usr/bin/env bash
# Cross-builds the core library, the sample cash-register maker and the core
# test programs for Windows with mingw-w64, and runs every core test under
# Wine. Exit status non-zero on any failure.
set -euo pipefail
racine=$(cd "$(dirname "$0")/.." && pwd)
build=${PONTEX_BUILD_WINDOWS:-$racine/build-windows}

paquets=(g++-mingw-w64-x86-64 wine wine64 googletest cmake ninja-build)
manquants=()
for p in "${paquets[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || manquants+=("$p")
done
if [ ${#manquants[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${manquants[@]}"
  else
    echo "Missing packages. Run as root:" >&2
    echo "  apt-get update && apt-get install -y ${manquants[*]}" >&2
    exit 1
  fi
fi

cmake -S "$racine" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$racine/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPONTEX_GUI=OFF -DPONTEX_BENCH=OFF -DPONTEX_WERROR=ON \
  -DPONTEX_GTEST_SOURCES=/usr/src/googletest
cmake --build "$build"

# A Wine prefix of our own inside the build folder; the first run creates it.
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot --init >/dev/null 2>&1 || true
  wineserver -w || true
fi
# Each test program runs once under Wine with all its tests: starting Wine
# costs seconds, so one process per test (as ctest does) would take minutes.
status=0
for exe in "$build"/tests/test_*.exe; do
  nom=$(basename "$exe" .exe)
  echo "== $nom"
  # The programs run in a folder of their own; tests make their own
  # temporary folders.
  if ! (cd "$build" && timeout 600 wine "$exe" --gtest_brief=1); then
    echo "** $nom failed" >&2
    status=1
  fi
done
wineserver -k >/dev/null 2>&1 || true
[ $status -eq 0 ] && echo "All core tests passed under Wine."
exit $status
