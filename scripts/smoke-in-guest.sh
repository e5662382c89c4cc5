#!/usr/bin/env bash
# Runs the smoke subset of the end-to-end tests (pytest -m smoke) on the shipped 32-bit installer
# inside the emulator guest (scripts/emulator-guest.sh), for machines whose kernel cannot run
# 32-bit Linux programs. build/windows must be built. Passes or fails like any test run.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
shipped=build/windows
[ -f "$shipped/LumidexFlashdeckSetup.exe" ] || { echo "error: $shipped is not built (bash scripts/build.sh)" >&2; exit 1; }

# The release script builds the installer anew: on the host, before the guest boots (in the guest
# it would take far longer).
release=$repo/build/guest/release
rm -rf "$release" "$repo/build/guest/smoke-attempt-1"
mkdir -p "$repo/build/guest"
echo "== Preparing the demo release of the shipped build on the host (log: $release.log)"
if ! FLASHDECK_BUILD_DIR="$repo/$shipped" /usr/bin/python3 tools/e2e_env.py prepare-release "$release" >"$release.log" 2>&1; then
  echo "error: the release script failed:" >&2
  tail -n 25 "$release.log" >&2
  exit 1
fi

out=$repo/build/guest/smoke
# Prefixes live in the guest's memory; the failures' screenshots are copied out. The harness
# prints its steps as they happen (-s), so that a slow guest's log shows where it is. The
# emulated processor runs Wine about ten times slower: every time limit is ten times longer.
# SMOKE_K (a pytest -k expression) narrows the subset while one test is being looked at.
job="bash tools/guest_smoke_job.sh '$out' '${SMOKE_K:-}'"
# A guest that cannot boot or run the job at all gets a second boot; the log keeps both attempts.
# Both boots share one budget, so that a run stays within the time a CI job is given: the second
# boot gets what the first left, and none when that is too little for a whole subset.
budget=${FLASHDECK_GUEST_BUDGET:-4500}
started=$SECONDS
for attempt in 1 2; do
  left=$((budget - (SECONDS - started)))
  if [ "$attempt" = 2 ] && [ "$left" -lt 1800 ]; then
    echo "== No second boot: $left s of the guest's $budget s are left"
    break
  fi
  [ "$attempt" = 2 ] && echo "== Booting the guest once more"
  limit=${FLASHDECK_GUEST_TIMEOUT:-2700}
  [ "$left" -lt "$limit" ] && limit=$left
  status=0
  FLASHDECK_GUEST_TIMEOUT=$limit bash scripts/emulator-guest.sh "$out" env \
    FLASHDECK_BUILD_DIR="$repo/$shipped" FLASHDECK_WINE=wine FLASHDECK_WINE_BITS=32 \
    FLASHDECK_E2E_TIME_SCALE=10 FLASHDECK_E2E_RUNS_DIR=/tmp/e2e-runs FLASHDECK_E2E_PREPARED_RELEASE="$release" \
    FLASHDECK_E2E_SCREENSHOTS_DIR="$out/screenshots" FLASHDECK_E2E_TRACE=1 FLASHDECK_E2E_WINEDEBUG="${FLASHDECK_E2E_WINEDEBUG:--all}" \
    PYTHONDONTWRITEBYTECODE=1 bash -c "$job" || status=$?
  [ "$status" = 0 ] && break
  if [ "$attempt" = 1 ]; then
    mv "$out" "$out-attempt-1"
    echo "== The smoke subset failed in the guest (exit code $status; kept in $out-attempt-1)"
  fi
done
[ "$status" = 0 ] && [ -d "$out-attempt-1" ] && echo "== The smoke subset passed on the second boot; the first failed (see above)"
exit "$status"
