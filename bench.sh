#!/usr/bin/env bash
# Sets up, builds and runs the benchmarks (an optimised build of their own). Extra arguments go to
# every benchmark, for example --benchmark_repetitions=9 --benchmark_report_aggregates_only=true.
# KESTROWAN_BENCH=<pattern> runs only the benchmark programs whose name holds it, for example
# KESTROWAN_BENCH=e2e ./bench.sh for the end-to-end figures (the program and the stand-in Dock on an
# X server of their own, which bench_e2e_xvfb starts and ends itself). KESTROWAN_BENCH_PROGRAM and
# KESTROWAN_BENCH_DOCK_KEEPER point those at another build of the program and the Dock, such as an
# earlier commit's, to set figures side by side.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh

# CMAKE_BUILD_PARALLEL_LEVEL, when set, says how many jobs to build with; every core otherwise.
jobs=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc 2>/dev/null || echo 2)}
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTROWAN_BUILD_TESTS=OFF -DKESTROWAN_BUILD_BENCH=ON >/dev/null
cmake --build build-bench -j "$jobs" --target benchmarks
export QT_QPA_PLATFORM=offscreen
args=("$@")
[ ${#args[@]} -gt 0 ] || args=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true)
for b in $(find build-bench/bench -type f -executable -name 'bench_*' | sort); do
  [[ -z "${KESTROWAN_BENCH:-}" || "$(basename "$b")" == *"$KESTROWAN_BENCH"* ]] || continue
  echo "== $(basename "$b")"
  # The stand-in Dock's benchmarks need an X display.
  if [[ "$(basename "$b")" == bench_standin* && -z "${DISPLAY:-}" ]] && command -v xvfb-run >/dev/null; then
    xvfb-run -a "$b" "${args[@]}"
  else
    "$b" "${args[@]}"
  fi
done
