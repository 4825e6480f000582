#!/usr/bin/env bash
# Sets up, builds and starts Kestrowan together with its stand-in Dock (under Xvfb when there is no
# display). Extra arguments go to Kestrowan (a "kestrowan://" link or a ".kestrowanlink" file).
# KESTROWAN_DISPLAY chooses the display: ":1" (any X display) uses that one, "xvfb" starts a private Xvfb
# even on a desktop; unset, the current $DISPLAY is used, or Xvfb when there is none.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh

# CMAKE_BUILD_PARALLEL_LEVEL, when set, says how many jobs to build with; every core otherwise.
jobs=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc 2>/dev/null || echo 2)}
# A configured build folder configures itself again when a CMake file changes, so a warm start
# skips CMake and goes straight to Ninja, which finds nothing to do.
if [ ! -f build/build.ninja ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
# Only what is run here: the tests and fuzz targets are built by ./test.sh and ./fuzz.sh.
if [ ! -x build/Kestrowan/Kestrowan ]; then
  echo "Building Kestrowan and the stand-in Dock; the first build takes a while (several minutes)."
fi
cmake --build build -j "$jobs" --target kestrowan Dock dock-keeper

case "${KESTROWAN_DISPLAY:-}" in
  "") ;;
  xvfb) unset DISPLAY ;;
  *) export DISPLAY="$KESTROWAN_DISPLAY" ;;
esac

cat <<MSG
Built:
  build/Kestrowan/Kestrowan                 the program; a second start hands its link to the running one
  build/Platform/dockstandin/Dock           the stand-in Dock, kept alive by dock-keeper
  scripts/start-dock.sh build -- COMMAND    runs COMMAND on the stand-in Dock's display
Starting the stand-in Dock and Kestrowan. To stop both: quit Kestrowan from its menu-bar item
(Quit Kestrowan), or press Ctrl-C here.
MSG
exec scripts/start-dock.sh build -- build/Kestrowan/Kestrowan "$@"
