#!/usr/bin/env bash
# Sets up, builds and starts Kestrowan beside the stand-in Dock (under Xvfb when there is no display).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"

if [ -x scripts/start-dock.sh ]; then
  scripts/start-dock.sh build
fi
exec build/Kestrowan/Kestrowan "$@"
