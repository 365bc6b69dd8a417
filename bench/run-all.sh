#!/usr/bin/env bash
# Builds the Release tree with the benchmarks and runs every one of them, one after another,
# printing their figures: each bench_* program, then the CPU share of a real-time run.
# Figures are for comparing within one run: the machine may be shared.
# usage: bench/run-all.sh [BUILD_DIR]   (default build/bench; Q7RK_BENCH_SKIP_CPU=1 skips the
#        30 s real-time run; set CMAKE_CXX_COMPILER_LAUNCHER=ccache to share a compiler cache)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${1:-$ROOT/build/bench}"
LAUNCHER=()
[[ -n "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ]] &&
  LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER="$CMAKE_CXX_COMPILER_LAUNCHER")

cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQ7RK_BENCH=ON \
  -DQ7RK_TESTS=OFF "${LAUNCHER[@]}" >/dev/null
cmake --build "$BUILD" --target q7rk_benchmarks q7rk-run q7rk-instrument >/dev/null

export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
status=0
for bench in "$BUILD"/bench/bench_*; do
  [[ -x "$bench" && -f "$bench" ]] || continue
  echo "== $(basename "$bench")"
  "$bench" || { echo "$(basename "$bench") failed ($?)"; status=1; }
done
if [[ -z "${Q7RK_BENCH_SKIP_CPU:-}" ]]; then
  echo "== cpu_share.sh"
  "$ROOT/bench/cpu_share.sh" "$BUILD" || { echo "cpu_share.sh failed"; status=1; }
fi
exit "$status"
