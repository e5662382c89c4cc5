#!/usr/bin/env bash
# Creates a 64-bit Wine prefix (so that "Program Files (x86)" and the 32-bit registry
# view are real) unless one is already there. Also when it was made before, it gets the test fonts
# (tools/test-fonts.reg) and Wine's display-less graphics driver, under which windows and their
# controls exist without an X display (the Windows tests measure texts in real controls).
# Usage: make-wine-prefix.sh <prefix dir>
# FLASHDECK_WINE names the Wine loader (scripts/wine-path.sh); the default is the `wine` script.
set -euo pipefail
prefix=$(realpath -m "$1")
fonts_reg=$(realpath "$(dirname "$0")/../tools/test-fonts.reg")
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="

import_test_settings() {
  if ! "${FLASHDECK_WINE:-wine}" reg import "Z:${fonts_reg//\//\\}" >/dev/null 2>&1 ||
     ! "${FLASHDECK_WINE:-wine}" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1; then
    echo "error: could not write the test fonts and the graphics driver into $prefix" >&2
    exit 1
  fi
  wineserver -w
}

if [ -f "$prefix/system.reg" ] && [ -d "$prefix/drive_c/Program Files (x86)" ]; then
  import_test_settings
  echo "Wine prefix ready: $prefix"
  exit 0
fi
echo "Creating Wine prefix $prefix"
rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")"
"${FLASHDECK_WINE:-wine}" wineboot -i >/dev/null 2>&1
import_test_settings
# Wine links the user folders (Desktop, Documents ...) to the host's home; tests must not write there.
for link in "$prefix"/drive_c/users/*/*; do
  if [ -L "$link" ]; then rm "$link"; mkdir -p "$link"; fi
done
test -d "$prefix/drive_c/Program Files (x86)"
echo "Wine prefix ready: $prefix"
