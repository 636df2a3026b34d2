#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Morrowset need,
# skipping the ones already present.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev libspdlog-dev
  clang libclang-rt-14-dev
  dbus-daemon
  xvfb xauth fonts-dejavu-core poppler-utils tzdata
  dpkg-dev lintian desktop-file-utils imagemagick librsvg2-bin xdotool python3-xlib
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
