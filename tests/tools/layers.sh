#!/usr/bin/env bash
# The program's libraries depend only downward, in the order HACKING.md gives: each may include and
# link what stands before it in the list, never what stands after. The component kit, the platform
# layer and the usage-signal client stand below them all and never reach into them.
set -euo pipefail
root=$(cd "$1" && pwd)
layers=(shell analytics groups icons dock popup mainwindow editor onboarding app)
rank() { local i; for i in "${!layers[@]}"; do [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }; done; echo -1; }
folder() { if [ "$1" = analytics ]; then echo "$root/analytics"; else echo "$root/Kestrowan/$1"; fi; }
cmake_file() {
  case "$1" in
    app) echo "$root/Kestrowan/CMakeLists.txt" ;;
    *) echo "$(folder "$1")/CMakeLists.txt" ;;
  esac
}
# The layer an include line names ("Kestrowan/groups/..." is groups, "analytics/..." analytics).
included_layers() {
  grep -rHno -E '#include "(Kestrowan/[a-z]+|analytics)/' "$@" --include='*.h' --include='*.cpp' \
    | sed -E 's@#include "(Kestrowan/)?([a-z]+)/$@\2@'
}

status=0
for layer in "${layers[@]}"; do
  own=$(rank "$layer")
  while IFS=: read -r file _ other; do
    [ "$(rank "$other")" -le "$own" ] && continue
    echo "FAIL: ${file#"$root"/} (${layer}) includes from ${other}, a layer above it"
    status=1
  done < <(included_layers "$(folder "$layer")")
  for other in $(grep -o -E 'kestrowan_[a-z]+\b' "$(cmake_file "$layer")" | sed 's/^kestrowan_//' | sort -u); do
    [ "$(rank "$other")" -gt "$own" ] || continue
    echo "FAIL: kestrowan_${layer} links kestrowan_${other}, a layer above it ($(cmake_file "$layer" | sed "s|^$root/||"))"
    status=1
  done
done
for base in Platform NVLXDesign Tallyline; do
  while IFS=: read -r file _ other; do
    echo "FAIL: ${file#"$root"/} (${base}) includes from ${other}, which stands above it"
    status=1
  done < <(included_layers "$root/$base")
done
[ $status -ne 0 ] || echo "PASS: ${layers[*]}"
exit $status
