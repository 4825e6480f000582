#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with. Idempotent and quiet:
# packages already present are skipped, and apt is not touched when nothing is missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-pdf-dev libgl-dev
  libplist++-dev libplist-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev
  libxkbcommon-dev libxcb1-dev libxcb-xinput-dev libxcb-xtest0-dev libxcb-damage0-dev libxcb-keysyms1-dev libxcb-ewmh-dev libxcb-icccm4-dev libx11-dev libxi-dev libxtst-dev
  libbenchmark-dev libsimdjson-dev zlib1g-dev libpng-dev libdeflate-dev
  qt6-translations-l10n
  clang libclang-rt-14-dev
  xvfb xauth xdotool x11-utils psmisc procps
  xdg-utils shared-mime-info libfile-mimeinfo-perl desktop-file-utils hicolor-icon-theme
  fonts-dejavu-core fonts-noto-cjk fonts-inter fonts-noto-color-emoji
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${#missing[@]} missing package(s): ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq >/dev/null
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
