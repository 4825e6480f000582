#!/usr/bin/env bash
# Retakes every screenshot at once: builds only the tests that take pictures (CTest label
# "screenshots"), runs them through CTest (so the X ones get their own display), and copies what they
# wrote into docs/screenshots. Then says which pictures in docs/screenshots no test takes any more,
# which taken names break "<area>-<what>-<light|dark>[-ja].png" (those are not copied), and which
# pictures lack a light, dark or Japanese sibling.
#
#   scripts/screenshots.sh [build-dir]      (default: build/ in the checkout)
#
# Exits non-zero when a test failed, a name is wrong, or a test that writes pictures is not labelled.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build}")
docs=$root/docs/screenshots
shots=$build/screenshots
areas='status-menu|popup|main|editor|settings|onboarding|road'
naming="^(${areas})-[a-z0-9]+(-[a-z0-9]+)*-(light|dark)(-ja)?\.png$"
# Pictures without words of their own: a Japanese one would show nothing new.
textless=(main-groupicons popup-itemviews road-dock-folder-tile road-2-tiles)
jobs=4
status=0

if [ -f "$build/CMakeCache.txt" ]; then
  cmake "$build" >/dev/null # picks up tests and labels added since the last configure
else
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-O2 >/dev/null
fi

mapfile -t tests < <(ctest --test-dir "$build" -N -L '^screenshots$' | sed -n 's/^ *Test *#[0-9]*: *//p' | sort)
if [ ${#tests[@]} -eq 0 ]; then
  echo "screenshots: no test carries the label \"screenshots\"" >&2
  exit 1
fi

# A test that saves pictures but lacks the label would silently leave its pictures stale.
while IFS= read -r source; do
  name=$(basename "$source" .cpp)
  if ! printf '%s\n' "${tests[@]}" | grep -qx "$name"; then
    echo "screenshots: $name writes pictures but has no \"screenshots\" label (LABELS screenshots)" >&2
    status=1
  fi
done < <(grep -rlE --include='tst_*.cpp' '"/screenshots|Gallery::save' "$root/tests" | sort)

echo "== building: ${tests[*]}"
cmake --build "$build" -j "$jobs" --target "${tests[@]}"

rm -rf "$shots"
mkdir -p "$shots"
regex="^($(IFS='|'; echo "${tests[*]}"))\$"
echo "== running"
ctest --test-dir "$build" -R "$regex" --output-on-failure -j "$jobs" || {
  echo "screenshots: a test failed; its pictures may be missing or old below" >&2
  status=1
}

mkdir -p "$docs"
produced=()
copied=0
while IFS= read -r file; do
  name=$(basename "$file")
  produced+=("$name")
  if [[ ! $name =~ $naming ]]; then
    echo "screenshots: bad name, not copied: $name (want <area>-<what>-<light|dark>[-ja].png, area one of ${areas//|/, })" >&2
    status=1
    continue
  fi
  cp "$file" "$docs/$name"
  copied=$((copied + 1))
done < <(find "$shots" -type f -name '*.png' | sort)
echo "== copied $copied pictures into docs/screenshots"

while IFS= read -r file; do
  name=$(basename "$file")
  if ! printf '%s\n' "${produced[@]}" | grep -qxF "$name"; then
    echo "stale (no test takes it any more): docs/screenshots/$name"
  fi
done < <(find "$docs" -maxdepth 1 -type f -name '*.png' | sort)

# Siblings, over what was taken: every picture in light and dark, and in Japanese unless it has no words.
mapfile -t bases < <(printf '%s\n' "${produced[@]}" | grep -E "$naming" | sed -E 's/-(light|dark)(-ja)?\.png$//' | sort -u)
for base in "${bases[@]}"; do
  for look in light dark; do
    printf '%s\n' "${produced[@]}" | grep -qE "^${base}-${look}(-ja)?\.png$" || echo "no ${look} picture: $base"
  done
  if ! printf '%s\n' "${textless[@]}" | grep -qxF "$base"; then
    printf '%s\n' "${produced[@]}" | grep -qE "^${base}-(light|dark)-ja\.png$" || echo "no Japanese picture: $base"
  fi
done
exit $status
