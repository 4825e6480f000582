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
  # Real applications for the screenshots: small programs that install a desktop entry and their own
  # icon (scalable and bitmap, in hicolor and in pixmaps), so the pictures show what users have.
  galculator htop l3afpad mtpaint ristretto viewnior xarchiver xpdf xterm
)

# One query for the whole list: a warm start spends milliseconds here, not a process per package.
installed=$(dpkg-query -W -f='${Package} ${Status}\n' "${PACKAGES[@]}" 2>/dev/null | awk '/ install ok installed$/ { print $1 }' || true)
missing=()
for p in "${PACKAGES[@]}"; do
  if ! grep -qx -- "$p" <<<"$installed"; then
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
