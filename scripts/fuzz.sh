#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 60), starting
# from its seed corpus in fuzz/corpus/<target>. New inputs stay in the build
# folder; a crash leaves its input in <build>/artefacts/<target>/ and makes
# the script fail: fix it and add that input to the seed corpus.
set -euo pipefail
racine=$(cd "$(dirname "$0")/.." && pwd)
secondes=${1:-60}
build=${PONTEX_BUILD_FUZZ:-$racine/build-fuzz}

paquets=(clang libclang-rt-14-dev cmake ninja-build)
# shellcheck source=scripts/deps.sh
source "$racine/scripts/deps.sh"
pontex_installe_paquets "${paquets[@]}" || exit 1

lanceur=()
if command -v ccache >/dev/null; then
  lanceur=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$racine" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${lanceur[@]}" \
  -DPONTEX_FUZZ=ON -DPONTEX_GUI=OFF -DPONTEX_TESTS=OFF -DPONTEX_BENCH=OFF -DPONTEX_WERROR=ON
cible_liste=$(cd "$racine/fuzz" && ls fuzz_*.cpp | sed 's/\.cpp$//')
# shellcheck disable=SC2086
cmake --build "$build" --target $cible_liste

status=0
for cible in $cible_liste; do
  corpus="$build/corpus/$cible"
  artefacts="$build/artefacts/$cible"
  mkdir -p "$corpus" "$artefacts"
  echo "== $cible: ${secondes} s"
  # -timeout: one input taking seconds is a hang to report; -rss_limit_mb: a
  # run growing without bound is a fault too.
  if ! "$build/fuzz/$cible" "$corpus" "$racine/fuzz/corpus/$cible" \
      -max_total_time="$secondes" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
      -print_final_stats=1 -artifact_prefix="$artefacts/" 2> "$build/$cible.log"; then
    tail -n 60 "$build/$cible.log" >&2
    echo "** $cible failed; its input is in $artefacts" >&2
    status=1
  else
    grep -E '^(stat::number_of_executed_units|stat::new_units_added|#[0-9]+ +DONE)' \
      "$build/$cible.log" || true
  fi
done
[ $status -eq 0 ] && echo "Every fuzz target ran ${secondes} s without a finding."
exit $status
