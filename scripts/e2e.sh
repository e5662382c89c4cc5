#!/usr/bin/env bash
# Runs the end-to-end tests under Wine. The Windows build must exist:
#   cmake --preset windows && cmake --build build/windows -j2
# FLASHDECK_BUILD_DIR selects another build directory; extra arguments go to pytest.
set -euo pipefail
cd "$(dirname "$0")/.."
export FLASHDECK_BUILD_DIR="${FLASHDECK_BUILD_DIR:-build/windows}"
exec /usr/bin/python3 -m pytest tests/e2e -v -p no:cacheprovider "$@"
