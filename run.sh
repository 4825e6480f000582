#!/usr/bin/env bash
# Sets up, builds and starts Kestrowan together with its stand-in Dock (under Xvfb when there is no
# display). Extra arguments go to Kestrowan (a "kestrowan://" link or a ".kestrowanlink" file).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"

cat <<MSG
Built:
  build/Kestrowan/Kestrowan                 the program; a second start hands its link to the running one
  build/Platform/dockstandin/Dock           the stand-in Dock, kept alive by dock-keeper
  scripts/start-dock.sh build -- COMMAND    runs COMMAND on the stand-in Dock's display
Starting the stand-in Dock and Kestrowan. To stop both: quit Kestrowan from its menu-bar item
(Quit Kestrowan), or press Ctrl-C here.
MSG
exec scripts/start-dock.sh build -- build/Kestrowan/Kestrowan "$@"
