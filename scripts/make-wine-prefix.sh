#!/usr/bin/env bash
# Creates a 64-bit Wine prefix (so that "Program Files (x86)" and the 32-bit registry
# view are real) unless one is already there. Usage: make-wine-prefix.sh <prefix dir>
# FLASHDECK_WINE names the Wine loader (scripts/wine-path.sh); the default is the `wine` script.
set -euo pipefail
prefix=$(realpath -m "$1")
if [ -f "$prefix/system.reg" ] && [ -d "$prefix/drive_c/Program Files (x86)" ]; then
  echo "Wine prefix ready: $prefix"
  exit 0
fi
echo "Creating Wine prefix $prefix"
rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")"
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
"${FLASHDECK_WINE:-wine}" wineboot -i >/dev/null 2>&1
wineserver -w
# Wine links the user folders (Desktop, Documents ...) to the host's home; tests must not write there.
for link in "$prefix"/drive_c/users/*/*; do
  if [ -L "$link" ]; then rm "$link"; mkdir -p "$link"; fi
done
test -d "$prefix/drive_c/Program Files (x86)"
echo "Wine prefix ready: $prefix"
