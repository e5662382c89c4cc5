#!/usr/bin/env python3
"""Fails when a source file includes a folder above its own.

The folders of src/ in layer order, top first: a file may include its own folder and the
folders after it, never one before it. Usage: check_layers.py SRC_DIR
"""
import pathlib
import re
import sys

LAYERS = ["startup", "window", "setup", "download", "system", "localization", "common"]
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^/"]+)/[^"]+"', re.M)


def violations(src):
    found = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp") or not path.is_file():
            continue
        folder = path.relative_to(src).parts[0]
        if folder not in LAYERS:
            found.append(f"{path}: folder '{folder}' is not one of the layers {LAYERS}")
            continue
        for target in INCLUDE.findall(path.read_text(encoding="utf-8")):
            if target not in LAYERS:
                found.append(f"{path}: includes '{target}/...', which is not a layer")
            elif LAYERS.index(target) < LAYERS.index(folder):
                found.append(f"{path}: includes '{target}/...', a layer above '{folder}'")
    return found


def main():
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")
    found = violations(src)
    for line in found:
        print(line)
    print(f"layer check: {len(found)} upward include(s) in {src}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
