#!/usr/bin/env bash
# Builds the installer for 32-bit Windows (and its helper programs) into build/windows.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-packages.sh
echo "== Configuring the Windows build (MinGW-w64, i686)"
cmake --preset windows >/dev/null
echo "== Building"
cmake --build --preset windows -j2
echo "== Built build/windows/LumidexFlashdeckSetup.exe ($(stat -c %s build/windows/LumidexFlashdeckSetup.exe) bytes)"
