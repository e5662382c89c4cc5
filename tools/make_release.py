#!/usr/bin/python3
"""Builds a download-server tree for the installer's tests and demos.

    make_release.py --out TREE --key KEY.pem --version 3.0.3.0 --app-dir DIR [--version V --app-dir DIR ...]
                    [--offer V] [--notes FILE.pdf | --no-notes] [--installer EXE] [--checksums]

writes
    TREE/Flashdeck/config/lista_updater.xml                      names the offered version, the SHA-256
                                                                 and size of its archive and the
                                                                 notes' SHA-256 (none without notes)
    TREE/Flashdeck/config/lista_updater.xml.sig                  ECDSA P-256 signature (DER) of those
                                                                 exact bytes with KEY.pem
    TREE/Flashdeck/application/<V>/LumidexFlashdeck.zip          the files of each DIR, at the top level
    TREE/Flashdeck/LumidexSSDFlashdeckReleaseNotes.pdf           --notes, or a one-page placeholder PDF for
                                                                 the offered version (none with --no-notes)
    TREE/LumidexFlashdeckSetup.exe                               --installer, the file users download
    TREE/SHA256SUMS                                              with --checksums: every other file of the
                                                                 tree, as `sha256sum -c` reads it

The offered version is --offer, or the first --version. The output depends only on the inputs
(archive entries in name order, with fixed times and attributes), so two runs give byte-identical
trees, but for the signature: ECDSA signatures differ from run to run, and each one verifies.
scripts/release.sh builds and signs the installer and writes a complete tree through this module.
"""

import argparse
import hashlib
import os
import pathlib
import shutil
import subprocess
import sys
import time
import zipfile

PRODUCT_DIR = "Flashdeck"
VERSION_FILE = "config/lista_updater.xml"
ARCHIVE_NAME = "LumidexFlashdeck.zip"
NOTES_NAME = "LumidexSSDFlashdeckReleaseNotes.pdf"
INSTALLER_NAME = "LumidexFlashdeckSetup.exe"
CHECKSUMS_NAME = "SHA256SUMS"
ZIP_TIMESTAMP = (2024, 1, 1, 0, 0, 0)
# build_release's default: a generated one-page PDF, so that test and demo trees have notes to open.
PLACEHOLDER_NOTES = "placeholder"


def zip_timestamp():
    """The time of every archive entry: SOURCE_DATE_EPOCH (UTC; the zip format starts in 1980 and
    keeps even seconds) when it is set, so a release carries its commit's time, else a fixed date."""
    epoch = os.environ.get("SOURCE_DATE_EPOCH", "")
    if not epoch:
        return ZIP_TIMESTAMP
    if not epoch.isdigit():
        raise ValueError(f"SOURCE_DATE_EPOCH is not a number of seconds: {epoch!r}")
    t = time.gmtime(max(int(epoch), 315532800))
    return (t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec - t.tm_sec % 2)


def version_xml(version, sha256, size, notes_sha256=None):
    """The version file: the offered version, its archive's SHA-256 and size in bytes, and the
    release notes' SHA-256 when the release has notes (no element when it has none)."""
    notes = f"  <notes_sha256>{notes_sha256}</notes_sha256>\n" if notes_sha256 else ""
    return (
        '<?xml version="1.0" encoding="utf-8"?>\n'
        "<updater>\n"
        "  <product>Lumidex SSD Flashdeck</product>\n"
        f"  <version>{version}</version>\n"
        f"  <sha256>{sha256}</sha256>\n"
        f"  <size>{size}</size>\n"
        + notes +
        "</updater>\n"
    ).encode("utf-8")


def sign(path, key):
    """Writes path + ".sig": what `openssl dgst -sha256 -sign KEY` makes of the file's bytes."""
    subprocess.run(["openssl", "dgst", "-sha256", "-sign", str(key), "-out", f"{path}.sig", str(path)],
                   check=True, capture_output=True)


def _pdf_text(text):
    """A PDF literal string in WinAnsi (cp1252) with its delimiters escaped."""
    raw = text.encode("cp1252")
    return b"(" + raw.replace(b"\\", b"\\\\").replace(b"(", b"\\(").replace(b")", b"\\)") + b")"


def release_notes_pdf(version):
    """A minimal, valid one-page PDF whose xref offsets are computed, not guessed."""
    line = f"Lumidex SSD Flashdeck \u2014 release notes {version}"
    content = b"BT /F1 18 Tf 72 720 Td " + _pdf_text(line) + b" Tj ET\n"
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] "
        b"/Resources << /Font << /F1 4 0 R >> >> /Contents 5 0 R >>",
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
        b"<< /Length " + str(len(content)).encode() + b" >>\nstream\n" + content + b"endstream",
    ]
    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for number, body in enumerate(objects, start=1):
        offsets.append(len(out))
        out += f"{number} 0 obj\n".encode() + body + b"\nendobj\n"
    xref = len(out)
    out += f"xref\n0 {len(objects) + 1}\n".encode()
    out += b"0000000000 65535 f \n"
    for offset in offsets:
        out += f"{offset:010d} 00000 n \n".encode()
    out += f"trailer\n<< /Size {len(objects) + 1} /Root 1 0 R >>\nstartxref\n{xref}\n%%EOF\n".encode()
    return bytes(out)


def write_archive(app_dir, archive):
    """The files of app_dir at the archive's top level. Only names and contents count: entries in
    the order of their names, each with the same time and attributes, whatever the file system
    says about the files, so the same application files give the same archive anywhere."""
    app_dir = pathlib.Path(app_dir)
    if not app_dir.is_dir():
        raise ValueError(f"{app_dir} is not a folder")
    files = sorted((p.relative_to(app_dir).as_posix(), p) for p in app_dir.rglob("*") if p.is_file())
    if not files:
        raise ValueError(f"{app_dir} holds no files")
    stamp = zip_timestamp()
    archive = pathlib.Path(archive)
    archive.parent.mkdir(parents=True, exist_ok=True)
    with zipfile.ZipFile(archive, "w", compression=zipfile.ZIP_DEFLATED) as zf:
        for name, path in files:
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3
            info.external_attr = 0o644 << 16
            zf.writestr(info, path.read_bytes())


def check_notes(notes):
    """A release-notes file the installer can offer: an existing PDF."""
    path = pathlib.Path(notes)
    if not path.is_file():
        raise ValueError(f"no release-notes file: {path}")
    with path.open("rb") as f:
        if f.read(5) != b"%PDF-":
            raise ValueError(f"{path} is not a PDF (the installer saves and opens it as {NOTES_NAME})")
    return path


def write_checksums(tree):
    """TREE/SHA256SUMS over every other file of the tree, sorted, as `sha256sum -c` reads it."""
    tree = pathlib.Path(tree)
    lines = []
    for name, path in sorted((p.relative_to(tree).as_posix(), p) for p in tree.rglob("*") if p.is_file()):
        if name != CHECKSUMS_NAME:
            lines.append(f"{hashlib.sha256(path.read_bytes()).hexdigest()}  {name}\n")
    (tree / CHECKSUMS_NAME).write_text("".join(lines), encoding="utf-8")
    return tree / CHECKSUMS_NAME


def _valid_version(text):
    parts = text.split(".")
    return len(parts) == 4 and all(p.isdigit() and len(p) <= 9 for p in parts)


def check_releases(releases, offer=None):
    """The offered version, after the checks that need no file written."""
    if not releases:
        raise ValueError("at least one version is needed")
    versions = [v for v, _ in releases]
    for v in versions:
        if not _valid_version(v):
            raise ValueError(f"not a four-part version: {v!r}")
    if len(set(versions)) != len(versions):
        raise ValueError("a version is given twice")
    offer = offer or versions[0]
    if offer not in versions:
        raise ValueError(f"the offered version {offer} has no --app-dir")
    return offer


def build_release(out, releases, offer=None, key=None, notes=PLACEHOLDER_NOTES, installer=None, checksums=False):
    """releases: list of (version, app_dir); key: the PEM private key that signs the version file;
    notes: a PDF file, PLACEHOLDER_NOTES, or None for none; installer: the file placed at the top.
    Returns the path of the product folder."""
    if key is None or not pathlib.Path(key).is_file():
        raise ValueError(f"no signing key: {key}")
    offer = check_releases(releases, offer)
    if notes not in (None, PLACEHOLDER_NOTES):
        notes = check_notes(notes)
    root = pathlib.Path(out) / PRODUCT_DIR
    (root / "config").mkdir(parents=True, exist_ok=True)
    for version, app_dir in releases:
        write_archive(app_dir, root / "application" / version / ARCHIVE_NAME)
    if notes == PLACEHOLDER_NOTES:
        (root / NOTES_NAME).write_bytes(release_notes_pdf(offer))
    elif notes is not None:
        shutil.copyfile(notes, root / NOTES_NAME)
    notes_sha256 = hashlib.sha256((root / NOTES_NAME).read_bytes()).hexdigest() if notes is not None else None
    archive = (root / "application" / offer / ARCHIVE_NAME).read_bytes()
    (root / VERSION_FILE).write_bytes(version_xml(offer, hashlib.sha256(archive).hexdigest(), len(archive), notes_sha256))
    sign(root / VERSION_FILE, key)
    if installer is not None:
        shutil.copyfile(installer, pathlib.Path(out) / INSTALLER_NAME)
    if checksums:
        write_checksums(out)
    return root


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", required=True, help="tree to write (served as the base URL)")
    parser.add_argument("--key", required=True, help="PEM private key (ECDSA P-256) that signs the version file")
    parser.add_argument("--version", action="append", default=[], help="a release version, e.g. 3.0.3.0")
    parser.add_argument("--app-dir", action="append", default=[], help="the files of the preceding --version")
    parser.add_argument("--offer", help="the version that the version file names (default: the first)")
    notes = parser.add_mutually_exclusive_group()
    notes.add_argument("--notes", help="the release notes (PDF); default: a placeholder page")
    notes.add_argument("--no-notes", action="store_true", help="a tree without release notes")
    parser.add_argument("--installer", help="the installer file to place at the top of the tree")
    parser.add_argument("--checksums", action="store_true", help="write SHA256SUMS over the tree")
    args = parser.parse_args(argv)
    if len(args.version) != len(args.app_dir):
        parser.error("give one --app-dir for every --version")
    try:
        root = build_release(args.out, list(zip(args.version, args.app_dir)), args.offer, args.key,
                             notes=None if args.no_notes else (args.notes or PLACEHOLDER_NOTES),
                             installer=args.installer, checksums=args.checksums)
    except (ValueError, OSError, subprocess.CalledProcessError) as error:
        print(f"make_release: {error}", file=sys.stderr)
        return 1
    print(f"release tree written: {root} (offered {args.offer or args.version[0]})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
