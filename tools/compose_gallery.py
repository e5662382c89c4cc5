#!/usr/bin/env python3
"""Composes the gallery: one contact sheet per page of the installer window, every language's
window side by side, six to a row, the culture code under each. The tiles are the pictures the
Windows fit check draws (tests/windows/text_fit_test.cpp) as <tiles>/<page>/<culture>.bmp.
Fails when a tile of any page or language is missing, or a sheet comes out smaller than its tiles.

Usage: compose_gallery.py <tiles folder> <sheets folder> <text sources folder> [--pages PAGE,...] [--scale PERCENT]
(--scale: the display scale the tiles were drawn at, so a sheet's size is checked against windows of that scale)"""

import pathlib
import subprocess
import sys
import time

# The pages of the sheets, in the order of the window's flows.
PAGES = ["install-offer", "uninstall-offer", "upgrade-offer", "newer-installed", "installing", "uninstalling",
         "installed-final", "installed-restart-final", "uninstalled-final", "cancelled-final", "failed-final"]
WINDOW = (490, 357)
PER_ROW = 6


def cultures(texts_dir):
    """The culture codes of the text sources, in the window's list order (UTF-16 code units)."""
    codes = []
    for path in texts_dir.glob("*.txt"):
        first = path.read_text(encoding="utf-8").splitlines()[0]
        codes.append(first[len("Code="):].split(",", 1)[0])
    return sorted(codes, key=lambda code: code.encode("utf-16-be"))


def image_size(path):
    out = subprocess.run(["identify", "-format", "%w %h", str(path)], capture_output=True, check=True, text=True,
                         timeout=60).stdout
    width, height = out.split()
    return int(width), int(height)


def main(argv):
    pages, scale = PAGES, 100
    rest = argv[4:]
    while len(rest) >= 2 and rest[0] in ("--pages", "--scale"):
        if rest[0] == "--pages":
            pages = rest[1].split(",")
        else:
            scale = int(rest[1])
        rest = rest[2:]
    if len(argv) < 4 or rest or any(page not in PAGES for page in pages):
        print(__doc__, file=sys.stderr)
        return 2
    tiles, sheets, texts = map(pathlib.Path, argv[1:4])
    window = (WINDOW[0] * scale // 100, WINDOW[1] * scale // 100)
    codes = cultures(texts)
    if not codes:
        print(f"error: no text sources in {texts}", file=sys.stderr)
        return 1
    missing = [f"{page}/{code}.bmp" for page in pages for code in codes if not (tiles / page / f"{code}.bmp").is_file()]
    if missing:
        print(f"error: {len(missing)} tiles missing in {tiles}: {', '.join(missing)}", file=sys.stderr)
        return 1

    started = time.monotonic()
    sheets.mkdir(parents=True, exist_ok=True)
    rows = -(-len(codes) // PER_ROW)
    for page in pages:
        labelled = []
        for code in codes:
            labelled += ["-label", code, str(tiles / page / f"{code}.bmp")]
        sheet = sheets / f"{page}.png"
        subprocess.run(["montage", "-font", "Liberation-Sans", "-pointsize", "16", *labelled, "-tile", f"{PER_ROW}x",
                        "-geometry", "+6+6", "-background", "white", str(sheet)], check=True, timeout=120)
        width, height = image_size(sheet)
        if width < PER_ROW * window[0] or height < rows * window[1]:
            print(f"error: {sheet} is {width}x{height}, smaller than {rows} rows of {PER_ROW} windows",
                  file=sys.stderr)
            return 1
        print(f"{sheet}: {len(codes)} languages, {width}x{height}")
    print(f"{len(pages)} sheets in {time.monotonic() - started:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
