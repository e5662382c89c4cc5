#!/usr/bin/env bash
# One real run of the shipped 32-bit installer for runs whose tests take the 64-bit path: start
# from the Downloads folder (relaunch), version check, install from the local HTTPS server, then
# uninstall through the Uninstall entry. The helpers (UI driver, CA trust, stand-ins) come from
# the 64-bit build. Where the kernel cannot run 32-bit Linux programs, 32-bit Wine runs under
# qemu-user, registered for i386 ELF through binfmt_misc for this run only (an entry that is
# already there is left alone). FLASHDECK_SMOKE_QEMU=1 takes qemu also where 32-bit runs natively.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-path.sh

BINFMT=/proc/sys/fs/binfmt_misc
ENTRY=flashdeck-qemu-i386
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
registered=
unregister() {
  if [ -n "$registered" ]; then
    echo -1 | $SUDO tee "$BINFMT/$ENTRY" >/dev/null
    echo "== Removed the binfmt_misc entry $ENTRY that this run registered"
  fi
}
trap unregister EXIT

slow=()
if [ "${FLASHDECK_SMOKE_QEMU:-0}" = 1 ] || ! runs_32bit_natively; then
  slow=(--slow)
  existing=$(i386_binfmt_entries)
  if [ -n "$existing" ]; then
    echo "== 32-bit programs run through the existing binfmt_misc entry '${existing%%$'\n'*}'; left as it is"
  else
    bash scripts/install-packages.sh qemu-user-static
    if [ ! -e "$BINFMT/register" ]; then
      echo "== Mounting binfmt_misc on $BINFMT"
      $SUDO mount -t binfmt_misc binfmt_misc "$BINFMT"
    fi
    echo "== Registering i386 ELF programs with /usr/bin/qemu-i386-static through binfmt_misc (entry $ENTRY, removed at the end)"
    # Flag F opens the interpreter now, so it also works inside other mount namespaces.
    printf '%s' ":$ENTRY:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:/usr/bin/qemu-i386-static:F" \
      | $SUDO tee "$BINFMT/register" >/dev/null
    registered=yes
    "$I386_LOADER" --version >/dev/null 2>&1 || { echo "error: 32-bit programs do not start even under qemu-i386" >&2; exit 1; }
  fi
fi

echo "== Smoke run of the shipped 32-bit installer (${slow:+under qemu-user, }helpers from build/windows64)"
FLASHDECK_BUILD_DIR="$PWD/build/windows64" FLASHDECK_WINE=/usr/lib/wine/wine64 \
  timeout 2700 /usr/bin/python3 tools/run_demo.py --smoke "${slow[@]}" --installer "$PWD/build/windows/LumidexFlashdeckSetup.exe"
