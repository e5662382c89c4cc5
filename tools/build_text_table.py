#!/usr/bin/env python3
"""Builds the installer's text table resource from the UTF-8 sources.

Each source file holds one section: a first line "Code=<culture>,<display name>"
and then "key:::value" lines. The sections are written in the order of their
culture codes (UTF-16 code-unit order) as UTF-16LE with a byte-order mark and
CR LF after every line, the last one included.
"""
import pathlib
import sys



def read_section(path):
    lines = path.read_text(encoding="utf-8").splitlines()
    lines = [line for line in lines if line != ""]
    if not lines or not lines[0].startswith("Code=") or "," not in lines[0]:
        sys.exit(f"{path}: the first line must be 'Code=<culture>,<display name>'")
    for number, line in enumerate(lines[1:], start=2):
        if ":::" not in line:
            sys.exit(f"{path}:{number}: a line without ':::'")
        if "Code=" in line:
            sys.exit(f"{path}:{number}: 'Code=' may only start a section")
        if "\r" in line or "\0" in line:
            sys.exit(f"{path}:{number}: CR or NUL inside a line")
    culture = lines[0][len("Code="):].split(",", 1)[0]
    return culture, lines


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: build_text_table.py <folder of .txt sources> <output file>")
    sections = [read_section(p) for p in sorted(pathlib.Path(sys.argv[1]).glob("*.txt"))]
    sections.sort(key=lambda s: s[0].encode("utf-16-be"))
    text = "".join(line + "\r\n" for _, lines in sections for line in lines)
    out = pathlib.Path(sys.argv[2])
    out.parent.mkdir(parents=True, exist_ok=True)
    out.write_bytes(b"\xff\xfe" + text.encode("utf-16-le"))


if __name__ == "__main__":
    main()
