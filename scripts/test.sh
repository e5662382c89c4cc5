#!/usr/bin/env bash
# Runs every test: host unit tests with sanitizers, the Windows tests under Wine, and the
# end-to-end tests (Wine, Xvfb, local HTTPS server, UI driver). Where 32-bit Wine cannot run
# natively (or FLASHDECK_TEST_64BIT=1), the Windows and end-to-end tests run against the 64-bit
# test build, and the shipped 32-bit installer gets its static checks and one smoke run.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
bash scripts/install-packages.sh
source scripts/wine-path.sh
flashdeck_detect_wine

echo "== Host unit tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
cmake --preset host >/dev/null
cmake --build --preset host -j2
ctest --preset host

bash scripts/build.sh
preset=windows
if [ "$FLASHDECK_WINE_BITS" = 64 ]; then
  preset=windows64
  echo "== Building the 64-bit test build"
  cmake --preset windows64 >/dev/null
  cmake --build --preset windows64 -j2
fi
echo "== Windows tests under Wine ($preset)"
ctest --preset "$preset"

echo "== End-to-end tests ($preset)"
FLASHDECK_BUILD_DIR="$PWD/build/$preset" FLASHDECK_SHIPPED_INSTALLER="$PWD/build/windows/LumidexFlashdeckSetup.exe" \
  bash scripts/e2e.sh
if [ "$FLASHDECK_WINE_BITS" = 64 ]; then
  bash scripts/smoke-32bit.sh
fi
echo "== All tests passed in $(( (SECONDS - started) / 60 ))m$(( (SECONDS - started) % 60 ))s"
