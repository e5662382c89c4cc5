#!/usr/bin/env bash
# Builds the installer and runs its main job: installing the demo release under Wine from the
# bundled local HTTPS server (on $DISPLAY when there is one, otherwise under Xvfb with screenshots).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
echo "== Running the installer against the local demo server"
FLASHDECK_BUILD_DIR="$PWD/build/windows" exec /usr/bin/python3 tools/run_demo.py
