#!/usr/bin/env bash
# Runs the end-to-end tests under Wine. The Windows build must exist:
#   cmake --preset windows && cmake --build build/windows -j2
# (or the windows64 preset where scripts/wine-path.sh picks the 64-bit path).
# FLASHDECK_BUILD_DIR selects another build directory; extra arguments go to pytest.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${FLASHDECK_WINE:-}" ]; then
  source scripts/wine-path.sh
  flashdeck_detect_wine
fi
default_build=build/windows
[ "${FLASHDECK_WINE_BITS:-32}" = 64 ] && default_build=build/windows64
export FLASHDECK_BUILD_DIR="${FLASHDECK_BUILD_DIR:-$default_build}"
exec /usr/bin/python3 -m pytest tests/e2e -v -p no:cacheprovider "$@"
