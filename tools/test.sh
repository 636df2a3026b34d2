#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the full suites
# (GUI ones on Qt's offscreen platform, end-to-end on the real executable), the Debian
# package (built, checked, and run by an ordinary user under Xvfb), the non-GUI suites again
# under AddressSanitizer and UndefinedBehaviorSanitizer, and each fuzz target for a short
# bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
export QT_QPA_PLATFORM=offscreen

echo "== Build and test (RelWithDebInfo) =="
cmake --preset default
cmake --build --preset default
ctest --preset default

echo "== Debian package: contents, menu entry, lintian, a user's first two sessions =="
bash tools/package_check.sh build

echo "== Non-GUI suites under AddressSanitizer + UndefinedBehaviorSanitizer =="
cmake --preset debug
cmake --build --preset debug
ctest --preset debug

echo "== Fuzz targets (bounded) =="
bash tools/fuzz.sh 20
