#!/usr/bin/env bash
# Runs every test: host unit tests with sanitizers, the Windows tests under Wine, and the
# end-to-end tests (Wine, Xvfb, local HTTPS server, UI driver).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-packages.sh

echo "== Host unit tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
cmake --preset host >/dev/null
cmake --build --preset host -j2
ctest --preset host

bash scripts/build.sh
echo "== Windows tests under Wine"
ctest --preset windows

echo "== End-to-end tests"
FLASHDECK_BUILD_DIR="$PWD/build/windows" bash scripts/e2e.sh
echo "== All tests passed"
