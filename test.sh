#!/usr/bin/env bash
# Sets up, builds and runs every test: once in a normal build, once with AddressSanitizer and
# UndefinedBehaviorSanitizer. Ends with CTest's summary line.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh

# CMAKE_BUILD_PARALLEL_LEVEL, when set, says how many jobs to build with; every core otherwise.
jobs=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc 2>/dev/null || echo 2)}
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# Each phase says how long it took; each test run lists its slowest test functions (every test
# program writes its functions' times into the build's test-reports/).
phase() { echo "== $1 took $(( SECONDS - phase_start )) s (load $(cut -d' ' -f1-3 /proc/loadavg))"; phase_start=$SECONDS; }
run_tests() {
  rm -rf "$1/test-reports"
  KESTROWAN_TEST_REPORTS="$PWD/$1/test-reports" ctest --test-dir "$1" --output-on-failure -j "$jobs" || status=1
  if command -v python3 >/dev/null; then python3 tests/tools/slowest_functions.py "$1/test-reports" 15 || true; fi
}

status=0
phase_start=$SECONDS
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-g1" -DKESTROWAN_SANITIZE=ON >/dev/null
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2" >/dev/null
# The optimised build goes on beside the sanitizer build and its tests, in a process group of its
# own that ends with this script: on a machine busy with other work, two builds at once get the
# larger share of it, and the tests' waits leave room for the compiler.
set -m
cmake --build build-test -j "$jobs" >build-test/build.log 2>&1 &
optimised=$!
set +m
trap 'kill -- -$optimised 2>/dev/null || true' EXIT

echo "== sanitizer build (ASan+UBSan), the optimised build beside it"
# Line tables are enough for the sanitizers' stack traces, and much cheaper to build than full debug info.
cmake --build build-asan -j "$jobs"
phase "sanitizer build"
run_tests build-asan
phase "sanitizer tests"

echo "== optimised build"
if ! wait $optimised; then
  tail -n 60 build-test/build.log
  echo "== the optimised build failed (build-test/build.log)"
  exit 1
fi
phase "optimised build (what was left of it after the sanitizer tests)"
run_tests build-test
phase "optimised tests"
exit $status
