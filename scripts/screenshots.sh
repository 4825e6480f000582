#!/usr/bin/env bash
# Retakes every screenshot at once: builds only the tests that take pictures (CTest label
# "screenshots"), runs them through CTest (so the X ones get their own display), and copies what they
# wrote into docs/screenshots. Then says which pictures in docs/screenshots no test takes any more,
# which taken names break "<area>-<what>-<light|dark>[-ja].png" (those are not copied), and which
# pictures lack a light, dark or Japanese sibling or are the same picture under two names.
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
# Pictures without words of the program's own (the design kit's sample labels are not translated): a
# Japanese one would show nothing new.
textless=(main-groupicons main-designkit-gallery popup-itemviews)
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
  if ! grep -qxF "$name" <<<"$(printf '%s\n' "${tests[@]}")"; then
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
  what=${name%.png}
  what=${what%-ja}
  what=${what%-*}
  # A look or language inside <what> ("popup-grid-ja-light") sorts away from its siblings.
  if [[ ! $name =~ $naming || $what =~ -(light|dark|ja)(-|$) ]]; then
    echo "screenshots: bad name, not copied: $name (want <area>-<what>-<light|dark>[-ja].png, area one of ${areas//|/, })" >&2
    status=1
    continue
  fi
  cp "$file" "$docs/$name"
  copied=$((copied + 1))
done < <(find "$shots" -type f -name '*.png' | sort)
echo "== copied $copied pictures into docs/screenshots"
taken=$(printf '%s\n' "${produced[@]}")

while IFS= read -r file; do
  name=$(basename "$file")
  if ! grep -qxF "$name" <<<"$taken"; then
    echo "stale (no test takes it any more): docs/screenshots/$name"
  fi
done < <(find "$docs" -maxdepth 1 -type f -name '*.png' | sort)

# Siblings, over what was taken: every picture in light and dark, and in Japanese unless it has no
# words. The road's pictures are steps of one walk, each taken once: there the area as a whole counts.
mapfile -t bases < <(grep -E "$naming" <<<"$taken" | grep -v '^road-' | sed -E 's/-(light|dark)(-ja)?\.png$//' | sort -u)
if grep -q '^road-' <<<"$taken"; then bases+=(road); fi
for base in "${bases[@]}"; do
  pattern=$base
  [ "$base" = road ] && pattern='road-.+'
  for look in light dark; do
    grep -qE "^${pattern}-${look}(-ja)?\.png$" <<<"$taken" || echo "no ${look} picture: $base"
  done
  if ! grep -qxF "$base" <<<"$(printf '%s\n' "${textless[@]}")"; then
    grep -qE "^${pattern}-(light|dark)-ja\.png$" <<<"$taken" || echo "no Japanese picture: $base"
  fi
done

# Two names for one picture usually mean a test did not reach the state it names.
(cd "$shots" && find . -type f -name '*.png' -exec md5sum {} + | sort | awk '
  $1 == last { printf "same picture: %s and %s\n", substr(first, 3), substr($2, 3); next }
  { last = $1; first = $2 }')
exit $status
