#!/usr/bin/env bash
# Builds the core and its tests with AddressSanitizer and
# UndefinedBehaviorSanitizer in a build folder of their own (no windows:
# the sanitizers check our code, not Qt's) and runs them. Any report fails
# the test that caused it. Exit status non-zero on any failure.
set -euo pipefail
racine=$(cd "$(dirname "$0")/.." && pwd)
build=${PONTEX_BUILD_SANITIZE:-$racine/build-sanitize}
# shellcheck source=scripts/deps.sh
source "$racine/scripts/deps.sh"
pontex_installe_dependances

lanceur=()
if command -v ccache >/dev/null; then
  lanceur=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$racine" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${lanceur[@]}" \
  -DPONTEX_SANITIZE=ON -DPONTEX_GUI=OFF -DPONTEX_BENCH=OFF -DPONTEX_WERROR=ON
cmake --build "$build"
export ASAN_OPTIONS=abort_on_error=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$build"
ctest --output-on-failure --timeout 600
