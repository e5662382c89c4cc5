#!/usr/bin/env bash
# Runs a Windows test program in the test prefix at another display scale: LogPixels is set in
# the prefix for the run and put back to 96 afterwards, whatever happens. The program is told the
# scale it must see (FLASHDECK_EXPECT_DPI) and where its gallery tiles go (FLASHDECK_GALLERY_TILES).
# Usage: run_at_dpi.sh DPI TILES_FOLDER WINE_LOADER PROGRAM [ARG...]
set -euo pipefail
dpi=$1
tiles=$2
shift 2
wine=$1
set_dpi() {
  "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null
}
trap 'set_dpi 96' EXIT
set_dpi "$dpi"
mkdir -p "$tiles"
export FLASHDECK_EXPECT_DPI=$dpi
export FLASHDECK_GALLERY_TILES="Z:${tiles//\//\\}"
"$@"
