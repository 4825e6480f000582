#!/usr/bin/env bash
# Sets up, builds and starts Kestrowan's stand-in Dock (under Xvfb when there is no display).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"

cat <<MSG
Built:
  build/Kestrowan/Kestrowan                 the program (no windows yet: it applies the language choice and exits)
  build/Platform/dockstandin/Dock           the stand-in Dock, kept alive by dock-keeper
  scripts/start-dock.sh build -- COMMAND    runs COMMAND on the stand-in Dock's display
Starting the stand-in Dock; press Ctrl-C to stop it.
MSG
exec scripts/start-dock.sh build "$@"
