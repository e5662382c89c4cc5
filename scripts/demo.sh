#!/usr/bin/env bash
# Builds the installer and runs its main job: installing the demo release under Wine from the
# bundled local HTTPS server (on $DISPLAY when there is one, otherwise under Xvfb with screenshots).
# The release is the one scripts/release.sh makes, and its signed installer is the one that runs.
# Where 32-bit Wine cannot run natively, the demo runs the 64-bit build of the same sources.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
source scripts/wine-path.sh
flashdeck_detect_wine
build_dir=build/windows
if [ "$FLASHDECK_WINE_BITS" = 64 ]; then
  build_dir=build/windows64
  echo "== Building the 64-bit build of the same sources for the demo"
  cmake --preset windows64 >/dev/null
  cmake --build --preset windows64 -j2
fi
echo "== Running the installer ($build_dir) against the local demo server"
FLASHDECK_BUILD_DIR="$PWD/$build_dir" exec /usr/bin/python3 tools/run_demo.py
