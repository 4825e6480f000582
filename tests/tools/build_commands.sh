#!/usr/bin/env bash
# The README's commands, run against a stand-in cmake that records its build line and stops there:
# each builds with CMAKE_BUILD_PARALLEL_LEVEL jobs when it is set and with every core when it is not,
# and ./fuzz.sh fuzzes every target of fuzz/ by default.
set -euo pipefail
root=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/tree/scripts"
cat >"$work/bin/cmake" <<'STUB'
#!/usr/bin/env bash
if [ "${1:-}" = "--build" ]; then
  printf '%s\n' "$*" >>"$CMAKE_RECORD"
  exit 3
fi
exit 0
STUB
chmod +x "$work/bin/cmake"
printf '#!/bin/sh\nexit 0\n' >"$work/tree/scripts/setup.sh"
chmod +x "$work/tree/scripts/setup.sh"
status=0
for command in run.sh test.sh bench.sh fuzz.sh; do
  cp "$root/$command" "$work/tree/$command"
  for level in 2 ""; do
    : >"$work/record"
    (cd "$work/tree" && env PATH="$work/bin:$PATH" CMAKE_RECORD="$work/record" \
       ${level:+CMAKE_BUILD_PARALLEL_LEVEL=$level} ./"$command" >/dev/null 2>&1) || true
    expected=${level:-$(nproc)}
    if ! grep -q -- "-j $expected\b" "$work/record"; then
      echo "FAIL: $command with CMAKE_BUILD_PARALLEL_LEVEL='${level}' built with: $(cat "$work/record")"
      status=1
    fi
  done
done

listed=$(sed -n 's/.*targets=(\([a-z ]*\)).*/\1/p' "$root/fuzz.sh" | tr ' ' '\n' | sort)
present=$(find "$root/fuzz" -maxdepth 1 -name 'fuzz_*.cpp' -printf '%f\n' | sed 's/^fuzz_\(.*\)\.cpp$/\1/' | sort)
if [ "$listed" != "$present" ]; then
  echo "FAIL: ./fuzz.sh fuzzes by default: $(echo $listed); fuzz/ holds: $(echo $present)"
  status=1
fi
[ $status -ne 0 ] || echo "PASS"
exit $status
