#!/usr/bin/env bash
# Runs every test: host unit tests with sanitizers, the Windows tests under Wine, and the
# end-to-end tests (Wine, Xvfb, local HTTPS server, UI driver). Where the kernel runs 32-bit
# programs they exercise the shipped 32-bit installer. Where it cannot (or FLASHDECK_TEST_64BIT=1),
# they exercise a 64-bit build of the same sources, and the shipped 32-bit installer runs the
# end-to-end smoke subset inside an emulator guest (scripts/smoke-in-guest.sh).
# The last lines say what ran, how many tests passed and how long each stage took.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
logs=build/test-logs
mkdir -p "$logs"

stages=()        # "name|result|seconds"
stage_name=""
stage_started=0
exercised="(not decided yet)"

begin() {
  stage_name=$1
  stage_started=$SECONDS
  echo "== $1"
}
end() {
  stages+=("$stage_name|$1|$((SECONDS - stage_started))")
  stage_name=""
}
minutes() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }

summary() {
  local status=$?
  if [ -n "${guest_pid:-}" ]; then
    pkill -s "$guest_pid" 2>/dev/null || true
  fi
  [ -n "$stage_name" ] && stages+=("$stage_name|FAILED|$((SECONDS - stage_started))")
  echo
  echo "== Summary"
  echo "The Windows and end-to-end tests exercised $exercised."
  local entry name result seconds
  for entry in "${stages[@]}"; do
    IFS='|' read -r name result seconds <<<"$entry"
    printf '  %-72s %-26s %s\n' "$name" "$result" "$(minutes "$seconds")"
  done
  if [ "$status" = 0 ]; then
    echo "== All tests passed in $(minutes $((SECONDS - started)))"
  else
    echo "== FAILED after $(minutes $((SECONDS - started))) (exit code $status); the output above and $logs/ tell why"
  fi
}
trap summary EXIT

# "N passed" from the last lines of ctest's or pytest's output.
ctest_count() { sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1 passed/p' "$1" | tail -n1; }
pytest_count() { grep -Eo '[0-9]+ passed(, [0-9]+ (skipped|deselected))*' "$1" | tail -n1; }

begin "Packages"
bash scripts/install-packages.sh
source scripts/wine-path.sh
flashdeck_detect_wine
end "ready"

begin "Build of the shipped 32-bit installer"
if [ "$FLASHDECK_WINE_BITS" = 64 ]; then
  # Only what ships and what the emulator guest runs: the 32-bit test programs would not run here,
  # and the guest should start as early as it can.
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j2 --target installer ui_driver progress_hook trust_ca demo_app vcredist_stub canary_dll
else
  bash scripts/build.sh
fi
end "built"

preset=windows
exercised="the shipped 32-bit installer"
guest_pid=""
if [ "$FLASHDECK_WINE_BITS" = 64 ]; then
  preset=windows64
  exercised="a 64-bit build of the same sources, and the shipped 32-bit installer in an emulator guest (smoke subset)"
  # The guest emulates a processor and mostly computes, while the end-to-end tests mostly wait
  # for Wine and their server: it runs beside the stages below, its output in $logs/guest.log.
  # Both get the same share of the processor: the guest ends minutes before the stages here,
  # which set the length of the run.
  echo "== Starting the shipped 32-bit installer's smoke subset in the emulator guest (output: $logs/guest.log)"
  guest_started=$SECONDS
  # A session of its own, so that an early end of this run takes the emulator with it.
  setsid bash scripts/smoke-in-guest.sh >"$logs/guest.log" 2>&1 &
  guest_pid=$!
fi

begin "Host unit tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
cmake --preset host >/dev/null
cmake --build --preset host -j2
ctest --preset host | tee "$logs/host.log"
end "$(ctest_count "$logs/host.log")"

if [ "$FLASHDECK_WINE_BITS" = 64 ]; then
  begin "Build of the 64-bit test build"
  cmake --preset windows64 >/dev/null
  cmake --build --preset windows64 -j2
  end "built"
fi

begin "Windows tests under Wine ($preset)"
ctest --preset "$preset" | tee "$logs/windows.log"
end "$(ctest_count "$logs/windows.log")"

begin "End-to-end tests ($preset)"
FLASHDECK_BUILD_DIR="$PWD/build/$preset" FLASHDECK_SHIPPED_INSTALLER="$PWD/build/windows/LumidexFlashdeckSetup.exe" \
  bash scripts/e2e.sh --durations=10 | tee "$logs/e2e.log"
end "$(pytest_count "$logs/e2e.log")"

if [ -n "$guest_pid" ]; then
  stage_name="Shipped 32-bit installer in the emulator guest (beside the stages above)"
  stage_started=$guest_started
  echo "== Waiting for the emulator guest"
  guest_status=0
  wait "$guest_pid" || guest_status=$?
  guest_pid=""
  cat "$logs/guest.log"
  [ "$guest_status" = 0 ] || exit "$guest_status"
  second=""
  grep -q "passed on the second boot" "$logs/guest.log" && second=", second boot"
  again=$(sed -n 's/^== \([0-9]*\) failed test(s) passed when run once more.*/, \1 failed once and passed when run again/p' "$logs/guest.log" | tail -n1)
  # The first pytest summary of the boot that passed counts the subset (a run once more counts only its tests).
  counted=$(grep -E '^=+ .*[0-9]+ (passed|failed).* in [0-9.]+s' "$logs/guest.log" | tail -n "$([ -n "$again" ] && echo 2 || echo 1)" | head -n1 |
    grep -Eo '[0-9]+ (passed|failed)(, [0-9]+ (passed|failed|deselected))*')
  end "$counted (smoke subset$second$again)"
fi
