#!/usr/bin/env bash
# Starts the stand-in Dock under its keeper (dock-keeper restarts it whenever it ends, as the
# platform restarts its Dock). Without a display it starts Xvfb first.
#
#   scripts/start-dock.sh [BUILD_DIR] [-- COMMAND [ARGS...]]
#
# BUILD_DIR defaults to $KESTROWAN_BUILD_DIR, then ./build. With a COMMAND, runs it on the Dock's
# display and stops the Dock (and Xvfb, when started here) when it ends; without one, keeps the
# Dock until interrupted.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTROWAN_BUILD_DIR:-$root/build}
if [ $# -gt 0 ] && [ "$1" != "--" ]; then
  build=$1
  shift
fi
if [ $# -gt 0 ] && [ "$1" = "--" ]; then
  shift
fi

keeper="$build/Platform/dockstandin/dock-keeper"
if [ ! -x "$keeper" ] || [ ! -x "$build/Platform/dockstandin/Dock" ]; then
  echo "start-dock: build the Dock first: cmake --build $build --target Dock dock-keeper" >&2
  exit 1
fi

xvfb_pid=""
keeper_pid=""
cleanup() {
  if [ -n "$keeper_pid" ]; then
    kill "$keeper_pid" 2>/dev/null || true
    wait "$keeper_pid" 2>/dev/null || true
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ -z "${DISPLAY:-}" ]; then
  number=90
  while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do
    number=$((number + 1))
  done
  Xvfb ":$number" -screen 0 1440x900x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$number"
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$number" ] && break
    sleep 0.1
  done
fi
echo "start-dock: the Dock runs on DISPLAY=$DISPLAY"

# Programs find the Dock up when they start, as they do on the platform: wait (briefly) for the socket
# of this Dock, made after this point, not one an earlier Dock on this display left behind.
socket_dir=${XDG_RUNTIME_DIR:-}
{ [ -n "$socket_dir" ] && [ -d "$socket_dir" ]; } || socket_dir=${TMPDIR:-/tmp}
socket=${KESTROWAN_DOCK_SOCKET:-$socket_dir/kestrowan-dock-$(id -u)-${DISPLAY//[^A-Za-z0-9.-]/_}.sock}
started_at=$(mktemp)

"$keeper" &
keeper_pid=$!
for _ in $(seq 100); do
  { [ -S "$socket" ] && [ "$socket" -nt "$started_at" ]; } && break
  sleep 0.1
done
rm -f "$started_at"

if [ $# -gt 0 ]; then
  status=0
  "$@" || status=$?
  exit "$status"
fi
wait "$keeper_pid"
