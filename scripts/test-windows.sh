#!/usr/bin/env bash
# The product on Windows, cross-built with mingw-w64 and run under Wine.
#
# Without Qt for Windows (scripts/qt-windows.sh builds it once into
# ~/.cache/pontex/qt6-mingw-6.4.2): the core library and its tests, run under
# Wine.
#
# With it, everything, in build-windows-qt/:
#  - Pontex.exe, relvano.exe and kestrap.exe with their files, the Qt DLLs
#    and plugins beside them in bin/, a folder that runs as it is on Windows;
#  - every test program, the window tests included, run under Wine with Qt's
#    "windows" platform on a virtual X display;
#  - one whole exchange by Pontex.exe on a sample shop, whose cash-register
#    files, error file and export must be the bytes the Linux build writes
#    from the same input;
#  - the installer Pontex-<version>-win64.exe, installed silently under Wine,
#    the installed Pontex running an exchange, then uninstalled;
#  - an upgrade over the installer of the previous layout (programs in
#    C:\Pontex), built once and kept in ~/.cache/pontex/installeurs: the
#    shop's files kept byte for byte, a delivery left part-way finished by
#    the new Pontex started at login, then uninstalled.
# All are the ctest tests of tests/windows (label "windows"); the last three
# skip with their reason where they cannot run.
# PONTEX_BENCH_WINDOWS=1 adds the speed of Pontex.exe under Wine against the
# floor program (a few minutes); PONTEX_BENCH_WINDOWS=seul builds and
# measures only.
# Exit status non-zero on any failure.
set -euo pipefail
racine=$(cd "$(dirname "$0")/.." && pwd)
qt=${PONTEX_QT_WINDOWS:-$HOME/.cache/pontex/qt6-mingw-6.4.2}
export PONTEX_QT_WINDOWS=$qt
avec_qt=0
[ -f "$qt/.pontex-complete" ] && avec_qt=1
if [ $avec_qt -eq 1 ]; then
  build=${PONTEX_BUILD_WINDOWS:-$racine/build-windows-qt}
else
  build=${PONTEX_BUILD_WINDOWS:-$racine/build-windows}
fi
debut=$(date +%s)

paquets=(g++-mingw-w64-x86-64-posix wine wine64 googletest cmake ninja-build)
# pgrep (procps) and git: the upgrade check.
[ $avec_qt -eq 1 ] && paquets+=(nsis xvfb xauth imagemagick x11-apps procps git)
# shellcheck source=scripts/deps.sh
source "$racine/scripts/deps.sh"
pontex_installe_paquets "${paquets[@]}" || exit 1

lanceur=()
if command -v ccache >/dev/null; then
  lanceur=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  # Paths relative to the repository: the previous installer's tree, built
  # inside the build folder, shares the compiled files that did not change.
  export CCACHE_BASEDIR=$racine CCACHE_NOHASHDIR=1
fi
if [ $avec_qt -eq 1 ]; then
  # Qt's own wrapper brings the toolchain Qt was built with (shared runtime,
  # as Qt's DLLs use it) and the host tools (moc, rcc, uic).
  "$qt/bin/qt-cmake" -S "$racine" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPONTEX_GUI=ON -DPONTEX_BENCH=OFF -DPONTEX_WERROR=ON \
    -DPONTEX_GTEST_SOURCES=/usr/src/googletest \
    -DCMAKE_CROSSCOMPILING_EMULATOR=wine "${lanceur[@]}"
else
  cmake -S "$racine" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$racine/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPONTEX_GUI=OFF -DPONTEX_BENCH=OFF -DPONTEX_WERROR=ON \
    -DPONTEX_GTEST_SOURCES=/usr/src/googletest "${lanceur[@]}"
fi
cmake --build "$build"

# The Wine prefix of the build and, with the windows, a virtual display of
# our own, which the window tests and the checks of tests/windows share.
# shellcheck source=scripts/windows-essais.sh
source "$racine/scripts/windows-essais.sh"
trap windows_fin EXIT
windows_prefixe "$build"
if [ $avec_qt -eq 1 ]; then
  windows_ecran
  export PONTEX_ECRAN_WINE=$DISPLAY
  # The start-at-login entry of bin/, as the installer makes it in the
  # shop's folder.
  bin_w=$(winepath -w "$build/bin")
  wine "$build/tools/raccourci_windows.exe" "$bin_w\\Pontex.lnk" "$bin_w\\Pontex.exe" "$bin_w"
fi

# The checks of the whole programs under Wine (tests/windows): verbose, so
# that their progress and the reason of a skipped one show.
essais_windows() { # CTEST_ARGUMENTS...
  ctest --test-dir "$build/tests/windows" -V "$@"
}

export PONTEX_BENCH_WINDOWS=${PONTEX_BENCH_WINDOWS:-0}
if [ $avec_qt -eq 1 ] && [ "$PONTEX_BENCH_WINDOWS" = seul ]; then
  essais_windows -R '^windows_bench$'
  exit $?
fi

# Every test program under Wine (one process each, all its tests), then the
# exchange by Pontex.exe against Linux's, the installer, the upgrade and,
# asked for, the speed: without Qt for Windows each of the last says why it
# is skipped.
status=0
if ! essais_windows -L windows; then
  echo "** tests under Wine failed" >&2
  status=1
fi

duree=$(($(date +%s) - debut))
if [ $avec_qt -eq 0 ]; then
  [ $status -eq 0 ] && echo "All core tests passed under Wine ($((duree / 60)) min $((duree % 60)) s)."
  echo "The windows, the exchange by Pontex.exe and the installer are checked once Qt for" \
    "Windows is built: scripts/qt-windows.sh (about an hour, once)."
  exit $status
fi
[ $status -eq 0 ] && echo "All Windows tests passed under Wine ($((duree / 60)) min $((duree % 60)) s)."
exit $status
