#!/usr/bin/env bash
# Builds the libFuzzer programs (clang with AddressSanitizer, in a build of their own) and fuzzes
# every target at once, each in one process, for the given time. Seeds come from fuzz/corpus/<target>;
# what the fuzzer finds goes to build-fuzz/corpus/<target>, crashes to build-fuzz/crashes/.
# Usage: ./fuzz.sh [seconds per target, default 60] [target ...]
# Before fuzzing, every file of fuzz/corpus/<target> is replayed whole; a failing one stops the run.
# A crash reproducer belongs in fuzz/corpus/<target> once fixed: the normal test run replays it too.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh

seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(plist groups skin skinlayer strings desktopentry linkfile signalcache dockserver docklink deeplink linkroute groupsstore pixeltransfer icontransfer pngreader pngwriter pixeldeflate scaledpngreader gzipreader ownrecord)

# CMAKE_BUILD_PARALLEL_LEVEL, when set, says how many jobs to build with; every core otherwise.
jobs=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc 2>/dev/null || echo 2)}
cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
  -DKESTROWAN_FUZZ=ON -DKESTROWAN_BUILD_TESTS=OFF >/dev/null
echo "Building the fuzz targets with $(clang++ --version | head -n 1)"
cmake --build build-fuzz -j "$jobs" --target fuzzers
echo "== fuzz build took $SECONDS s (load $(cut -d' ' -f1-3 /proc/loadavg))"

export QT_QPA_PLATFORM=offscreen
mkdir -p build-fuzz/crashes build-fuzz/logs

# The checked-in seeds and crash reproducers first, each whole and once, under the sanitizer: while
# fuzzing, an input longer than -max_len is cut, and a reproducer that needs its full length (a
# shared object referenced past the size cap) would then never run as it was found.
replay_status=0
for t in "${targets[@]}"; do
  seeds=()
  while IFS= read -r -d '' f; do seeds+=("$f"); done < <(find "fuzz/corpus/$t" -type f -print0 | sort -z)
  if [ ${#seeds[@]} -eq 0 ]; then
    printf '%-14s no checked-in inputs in fuzz/corpus/%s\n' "$t" "$t"
    replay_status=1
    continue
  fi
  if "build-fuzz/fuzz/fuzz_$t" -timeout=10 -rss_limit_mb=2048 -artifact_prefix="build-fuzz/crashes/$t-replay-" \
      "${seeds[@]}" >"build-fuzz/logs/$t-replay.log" 2>&1; then
    printf '%-14s %12s inputs replayed\n' "$t" "${#seeds[@]}"
  else
    printf '%-14s REPLAY FAILED (see build-fuzz/logs/%s-replay.log)\n' "$t" "$t"
    replay_status=1
  fi
done
[ $replay_status -eq 0 ] || exit 1

# libFuzzer's time limit for one input is on the wall clock: niced, beside tests and other work
# on every core, a fuzzer may get a sliver of a processor, and an input that takes a fraction of a
# second alone then takes many (a skin layer of 255 by 65,535 pixels took 12 s at load 27). Two
# minutes still tells a hang from a slow input.
pids=()
for t in "${targets[@]}"; do
  mkdir -p "build-fuzz/corpus/$t"
  nice "build-fuzz/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=120 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="build-fuzz/crashes/$t-" "build-fuzz/corpus/$t" "fuzz/corpus/$t" \
    >"build-fuzz/logs/$t.log" 2>&1 &
  pids+=($!)
done
status=0
for i in "${!targets[@]}"; do
  if ! wait "${pids[$i]}"; then status=1; fi
  t=${targets[$i]}
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "build-fuzz/logs/$t.log" | grep -o '[0-9]*$' || echo "?")
  # A crash, leak, time-out or memory limit is a finding; an input over libFuzzer's slow mark (ten
  # seconds, which a niced fuzzer beside a loaded machine can take) is only told.
  found=$(find build-fuzz/crashes -maxdepth 1 -name "$t-*" ! -name "$t-slow-unit-*" | wc -l)
  slow=$(find build-fuzz/crashes -maxdepth 1 -name "$t-slow-unit-*" | wc -l)
  result=ok
  [ "$slow" -eq 0 ] || result="ok ($slow input(s) over ten seconds, kept in build-fuzz/crashes)"
  [ "$found" -eq 0 ] || { result="FOUND $found (see build-fuzz/logs/$t.log)"; status=1; }
  printf '%-14s %12s executions  %s\n' "$t" "$runs" "$result"
done
exit $status
