#!/usr/bin/env bash
# Runs the smoke subset of the end-to-end tests (pytest -m smoke) on the shipped 32-bit installer
# inside the emulator guest (scripts/emulator-guest.sh), for machines whose kernel cannot run
# 32-bit Linux programs. build/windows must be built. Passes or fails like any test run.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
shipped=build/windows
[ -f "$shipped/LumidexFlashdeckSetup.exe" ] || { echo "error: $shipped is not built (bash scripts/build.sh)" >&2; exit 1; }

# The release script builds the installer anew: on the host, while the guest boots and makes its
# Wine prefix (in the guest it would take far longer). The harness in the guest waits for it.
release=$repo/build/guest/release
rm -rf "$release" "$release.failed"
mkdir -p "$repo/build/guest"
echo "== Preparing the demo release of the shipped build on the host (log: $release.log)"
FLASHDECK_BUILD_DIR="$repo/$shipped" /usr/bin/python3 tools/e2e_env.py prepare-release "$release" >"$release.log" 2>&1 \
  || echo "the release script failed; see $release.log" >"$release.failed" &
release_pid=$!

out=$repo/build/guest/smoke
# Prefixes live in the guest's memory; the failures' screenshots are copied out. The harness
# prints its steps as they happen (-s), so that a slow guest's log shows where it is. The
# emulated processor runs Wine about ten times slower: every time limit is ten times longer.
job="/usr/bin/python3 -m pytest tests/e2e -m smoke -v -s --durations=0 -p no:cacheprovider --junitxml=$out/junit.xml; status=\$?
cp -r /tmp/e2e-runs/*/failures $out/ 2>/dev/null; exit \$status"
bash scripts/emulator-guest.sh "$out" env \
  FLASHDECK_BUILD_DIR="$repo/$shipped" FLASHDECK_WINE=wine FLASHDECK_WINE_BITS=32 \
  FLASHDECK_E2E_TIME_SCALE=10 FLASHDECK_E2E_RUNS_DIR=/tmp/e2e-runs FLASHDECK_E2E_PREPARED_RELEASE="$release" \
  PYTHONDONTWRITEBYTECODE=1 bash -c "$job" || status=$?
wait "$release_pid" || true
if [ -f "$release.failed" ]; then
  echo "error: $(cat "$release.failed")" >&2
  tail -n 25 "$release.log" >&2
  exit 1
fi
exit "${status:-0}"
