#!/usr/bin/python3
"""Builds a download-server tree for the installer's tests and demos.

    make_release.py --out TREE --key KEY.pem --version 3.0.3.0 --app-dir DIR [--version V --app-dir DIR ...]
                    [--offer V]

writes
    TREE/Flashdeck/config/lista_updater.xml                      names the offered version and the
                                                                 SHA-256 of its archive
    TREE/Flashdeck/config/lista_updater.xml.sig                  ECDSA P-256 signature (DER) of those
                                                                 exact bytes with KEY.pem
    TREE/Flashdeck/application/<V>/LumidexFlashdeck.zip          the files of each DIR, at the top level
    TREE/Flashdeck/LumidexSSDFlashdeckReleaseNotes.pdf           a one-page PDF for the offered version

The offered version is --offer, or the first --version. The output depends only on the inputs
(fixed zip timestamps and order), so two runs give byte-identical trees, but for the signature:
ECDSA signatures differ from run to run, and each one verifies.
"""

import argparse
import hashlib
import pathlib
import subprocess
import sys
import zipfile

PRODUCT_DIR = "Flashdeck"
VERSION_FILE = "config/lista_updater.xml"
ARCHIVE_NAME = "LumidexFlashdeck.zip"
NOTES_NAME = "LumidexSSDFlashdeckReleaseNotes.pdf"
ZIP_TIMESTAMP = (2024, 1, 1, 0, 0, 0)


def version_xml(version, sha256):
    return (
        '<?xml version="1.0" encoding="utf-8"?>\n'
        "<updater>\n"
        "  <product>Lumidex SSD Flashdeck</product>\n"
        f"  <version>{version}</version>\n"
        f"  <sha256>{sha256}</sha256>\n"
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
    app_dir = pathlib.Path(app_dir)
    files = sorted(p for p in app_dir.rglob("*") if p.is_file())
    if not files:
        raise ValueError(f"{app_dir} holds no files")
    archive.parent.mkdir(parents=True, exist_ok=True)
    with zipfile.ZipFile(archive, "w", compression=zipfile.ZIP_DEFLATED) as zf:
        for path in files:
            info = zipfile.ZipInfo(path.relative_to(app_dir).as_posix(), date_time=ZIP_TIMESTAMP)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            zf.writestr(info, path.read_bytes())


def _valid_version(text):
    parts = text.split(".")
    return len(parts) == 4 and all(p.isdigit() and len(p) <= 9 for p in parts)


def build_release(out, releases, offer=None, key=None):
    """releases: list of (version, app_dir); key: the PEM private key that signs the version file.
    Returns the path of the product folder."""
    if key is None or not pathlib.Path(key).is_file():
        raise ValueError(f"no signing key: {key}")
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
    root = pathlib.Path(out) / PRODUCT_DIR
    (root / "config").mkdir(parents=True, exist_ok=True)
    for version, app_dir in releases:
        write_archive(app_dir, root / "application" / version / ARCHIVE_NAME)
    archive = (root / "application" / offer / ARCHIVE_NAME).read_bytes()
    (root / VERSION_FILE).write_bytes(version_xml(offer, hashlib.sha256(archive).hexdigest()))
    sign(root / VERSION_FILE, key)
    (root / NOTES_NAME).write_bytes(release_notes_pdf(offer))
    return root


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", required=True, help="tree to write (served as the base URL)")
    parser.add_argument("--key", required=True, help="PEM private key (ECDSA P-256) that signs the version file")
    parser.add_argument("--version", action="append", default=[], help="a release version, e.g. 3.0.3.0")
    parser.add_argument("--app-dir", action="append", default=[], help="the files of the preceding --version")
    parser.add_argument("--offer", help="the version that the version file names (default: the first)")
    args = parser.parse_args(argv)
    if len(args.version) != len(args.app_dir):
        parser.error("give one --app-dir for every --version")
    try:
        root = build_release(args.out, list(zip(args.version, args.app_dir)), args.offer, args.key)
    except (ValueError, OSError, subprocess.CalledProcessError) as error:
        print(f"make_release: {error}", file=sys.stderr)
        return 1
    print(f"release tree written: {root} (offered {args.offer or args.version[0]})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
