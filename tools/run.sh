#!/usr/bin/env bash
# Installs what is missing, builds Morrowset and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
cmake --preset default
cmake --build --preset default
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  echo "No display found: starting Morrowset on Qt's offscreen platform (no window will be visible)."
  export QT_QPA_PLATFORM=offscreen
fi
exec build/bin/Morrowset
