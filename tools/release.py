#!/usr/bin/python3
"""Builds, signs and lays out one release: what scripts/release.sh runs.

    release.py --app-dir DIR --version 3.0.3.0 [--notes NOTES.pdf] [--out TREE] [--build-dir DIR]
               [--arch ia32|x64] [--timestamp-url URL ...]

1. builds the installer from this checkout in an emptied folder (BUILD/installer), with
   SOURCE_DATE_EPOCH from the commit, so the unsigned executable is the same on every machine;
2. signs it with osslsigncode (Authenticode, SHA-256) and checks the signature with
   `osslsigncode verify`;
3. writes the tree the server serves (tools/make_release.py): the signed version file, the
   archive of DIR, the release notes when given, the signed installer and SHA256SUMS;
4. adds the package manager's manifests of that installer under winget/VERSION/
   (tools/winget_manifest.py).

Keys, from the environment:
    FLASHDECK_SIGNING_KEY     PEM ECDSA P-256 key that signs the version file; the installer
                              carries its public half
    FLASHDECK_CODESIGN_CERT   PEM certificate (chain) and private key for Authenticode;
    FLASHDECK_CODESIGN_KEY    FLASHDECK_CODESIGN_PASS is the key's password, if it has one
    FLASHDECK_CODESIGN_CAFILE trust anchors for the check (default: the system's)
Without them, development keys are made once under BUILD/keys: a version-file key and a
self-signed code-signing certificate, which the check then trusts.
Nothing is written to TREE unless everything succeeded; TREE must not exist yet or be empty.
"""

import argparse
import hashlib
import os
import pathlib
import shutil
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import make_release  # noqa: E402
import signing_key  # noqa: E402
import winget_manifest  # noqa: E402

REPO_ROOT = pathlib.Path(__file__).resolve().parents[1]
TOOLCHAINS = {"ia32": "mingw-i686.cmake", "x64": "mingw-x86_64.cmake"}
# Left by this tool in a build folder it made, so that it only ever empties its own folders.
BUILD_MARK = ".flashdeck-release-build"
DESCRIPTION = "Lumidex SSD Flashdeck Setup"


class ReleaseError(Exception):
    pass


def log(message):
    print(f"== {message}", flush=True)


def run(cmd, env=None, what=None, stdin=None):
    result = subprocess.run([str(c) for c in cmd], env=env, input=stdin, capture_output=True, text=True)
    if result.returncode != 0:
        output = (result.stdout + result.stderr).strip().splitlines()
        raise ReleaseError(f"{what or cmd[0]} failed (exit code {result.returncode}):\n  " + "\n  ".join(output[-25:]))
    return result.stdout


def sha256(path):
    return hashlib.sha256(pathlib.Path(path).read_bytes()).hexdigest()


def source_date_epoch():
    """The commit's time, unless the caller set SOURCE_DATE_EPOCH."""
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if epoch:
        if not epoch.isdigit():
            raise ReleaseError(f"SOURCE_DATE_EPOCH is not a number of seconds: {epoch!r}")
        return epoch
    result = subprocess.run(["git", "-C", str(REPO_ROOT), "log", "-1", "--format=%ct"], capture_output=True, text=True)
    if result.returncode != 0 or not result.stdout.strip().isdigit():
        raise ReleaseError("no commit time to build from: not a git checkout? Set SOURCE_DATE_EPOCH")
    changed = subprocess.run(["git", "-C", str(REPO_ROOT), "status", "--porcelain", "--untracked-files=no"],
                             capture_output=True, text=True).stdout
    if changed.strip():
        # Allowed for trying things out; a release others rebuild must come from a clean checkout.
        log("Warning: the checkout has uncommitted changes; others building this commit will not get these bytes")
    return result.stdout.strip()


def prepare_out(out):
    out = pathlib.Path(out).resolve()
    if out.exists() and (not out.is_dir() or any(out.iterdir())):
        raise ReleaseError(f"{out} already exists and is not empty; give a new folder (nothing was changed)")
    return out


def prepare_build_dir(build_dir):
    build_dir = pathlib.Path(build_dir).resolve()
    if build_dir.exists() and any(build_dir.iterdir()) and not (build_dir / BUILD_MARK).is_file():
        raise ReleaseError(f"{build_dir} holds files this tool did not make; give an empty or new build folder")
    build_dir.mkdir(parents=True, exist_ok=True)
    (build_dir / BUILD_MARK).touch()
    return build_dir


def check_codesign_environment():
    cert, key = os.environ.get("FLASHDECK_CODESIGN_CERT"), os.environ.get("FLASHDECK_CODESIGN_KEY")
    if bool(cert) != bool(key):
        raise ReleaseError("set both FLASHDECK_CODESIGN_CERT and FLASHDECK_CODESIGN_KEY, or neither")
    return cert, key


def codesign_identity(keys):
    """(certificate, key, password, CA file for the check), from the environment or made once."""
    cert, key = check_codesign_environment()
    if cert:
        for path in (cert, key):
            if not pathlib.Path(path).is_file():
                raise ReleaseError(f"no such file: {path}")
        return cert, key, os.environ.get("FLASHDECK_CODESIGN_PASS"), os.environ.get("FLASHDECK_CODESIGN_CAFILE")
    cert, key = keys / "codesign-cert.pem", keys / "codesign-key.pem"
    if not (cert.is_file() and key.is_file()):
        log(f"Making a self-signed development code-signing certificate in {keys}")
        keys.mkdir(parents=True, exist_ok=True)
        run(["openssl", "req", "-x509", "-newkey", "rsa:3072", "-sha256", "-days", "3650", "-nodes",
             "-keyout", key, "-out", cert, "-subj", "/O=Lumidex (development)/CN=Lumidex SSD Flashdeck development",
             "-addext", "keyUsage=critical,digitalSignature", "-addext", "extendedKeyUsage=codeSigning"],
            what="openssl req")
    return cert, key, None, cert


def version_file_key(keys):
    key = os.environ.get("FLASHDECK_SIGNING_KEY")
    if not key:
        key = keys / "version-file-key.pem"
        if not key.is_file():
            log(f"Making a development version-file key in {keys}")
            keys.mkdir(parents=True, exist_ok=True)
            run(["openssl", "ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", key], what="openssl ecparam")
    key = pathlib.Path(key).resolve()
    if not key.is_file():
        raise ReleaseError(f"FLASHDECK_SIGNING_KEY names no file: {key}")
    try:
        signing_key.public_point(key)
    except (ValueError, subprocess.CalledProcessError):
        raise ReleaseError(f"{key} is not a PEM ECDSA P-256 (prime256v1) private key") from None
    return key


def build_installer(build_dir, arch, key, epoch):
    """The unsigned installer, built from scratch: everything but fetched third-party files goes."""
    folder = build_dir / "installer"
    shutil.rmtree(folder, ignore_errors=True)
    env = dict(os.environ, SOURCE_DATE_EPOCH=epoch, FLASHDECK_SIGNING_KEY=str(key))
    log(f"Configuring a clean {arch} build in {folder} (SOURCE_DATE_EPOCH={epoch})")
    run(["cmake", "-S", REPO_ROOT, "-B", folder, "-G", "Ninja", "--toolchain", REPO_ROOT / "cmake" / TOOLCHAINS[arch],
         "-DCMAKE_BUILD_TYPE=MinSizeRel", f"-DFLASHDECK_THIRD_PARTY_DIR={build_dir / 'third_party'}"],
        env=env, what="cmake configure")
    log("Building the installer")
    run(["cmake", "--build", folder, "--target", "installer", "-j2"], env=env, what="cmake --build")
    return folder / make_release.INSTALLER_NAME


def sign_installer(unsigned, signed, identity, timestamp_urls):
    cert, key, password, cafile = identity
    cmd = ["osslsigncode", "sign", "-certs", cert, "-key", key, "-h", "sha256", "-n", DESCRIPTION]
    if password:
        # Through standard input: a command-line argument would show in the process list.
        cmd += ["-readpass", "-"]
    for url in timestamp_urls:
        cmd += ["-ts", url]
    run(cmd + ["-in", unsigned, "-out", signed], what="osslsigncode sign", stdin=password)
    verify = ["osslsigncode", "verify", "-in", signed]
    if cafile:
        verify += ["-CAfile", cafile]
    run(verify, what="osslsigncode verify")


def write_package_manifests(tree, version, arch):
    """The package manager's manifests of the tree's signed installer, counted in SHA256SUMS."""
    folder = winget_manifest.write_manifests(tree, version, arch=arch)
    make_release.write_checksums(tree)
    log(f"Package manager manifests written: {folder.relative_to(tree)}")


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0], epilog=__doc__.split("\n\n", 1)[1],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--app-dir", required=True, help="the application's files, as the archive holds them")
    parser.add_argument("--version", required=True, help="four-part version, e.g. 3.0.3.0")
    parser.add_argument("--notes", help="the release notes (PDF)")
    parser.add_argument("--out", help="the tree to write (default: BUILD/tree-VERSION)")
    parser.add_argument("--build-dir", default=str(REPO_ROOT / "build" / "release"),
                        help="build folder (default: build/release); its keys/ and third_party/ are kept")
    parser.add_argument("--arch", choices=sorted(TOOLCHAINS), default="ia32",
                        help="ia32: the shipped installer (default); x64: the test build")
    parser.add_argument("--timestamp-url", action="append", default=[],
                        help="RFC 3161 time-stamping server for the signature (repeatable)")
    args = parser.parse_args(argv)
    try:
        # Everything that can be checked before the build is checked first.
        make_release.check_releases([(args.version, args.app_dir)])
        if not pathlib.Path(args.app_dir).is_dir() or not any(p.is_file() for p in pathlib.Path(args.app_dir).rglob("*")):
            raise ReleaseError(f"--app-dir {args.app_dir} is not a folder with the application's files")
        if args.notes:
            make_release.check_notes(args.notes)
        check_codesign_environment()
        out = prepare_out(args.out or pathlib.Path(args.build_dir) / f"tree-{args.version}")
        epoch = source_date_epoch()
        build_dir = prepare_build_dir(args.build_dir)
        keys = build_dir / "keys"
        key = version_file_key(keys)
        identity = codesign_identity(keys)

        unsigned = build_installer(build_dir, args.arch, key, epoch)
        signed = build_dir / "signed" / make_release.INSTALLER_NAME
        signed.parent.mkdir(exist_ok=True)
        signed.unlink(missing_ok=True)
        log("Signing the installer (Authenticode) and checking the signature")
        sign_installer(unsigned, signed, identity, args.timestamp_url)

        # Written beside the destination, then moved: a failure leaves no half tree behind.
        staging = out.parent / f".{out.name}.partial"
        shutil.rmtree(staging, ignore_errors=True)
        try:
            os.environ["SOURCE_DATE_EPOCH"] = epoch
            make_release.build_release(staging, [(args.version, args.app_dir)], key=key, notes=args.notes,
                                       installer=signed, checksums=True)
            write_package_manifests(staging, args.version, args.arch)
            if out.exists():
                out.rmdir()
            staging.rename(out)
        finally:
            shutil.rmtree(staging, ignore_errors=True)
    except (ReleaseError, ValueError, OSError, subprocess.CalledProcessError) as error:
        print(f"release: {error}", file=sys.stderr)
        return 1
    archive = out / make_release.PRODUCT_DIR / "application" / args.version / make_release.ARCHIVE_NAME
    log(f"Release tree written: {out}")
    print(f"  unsigned installer  {unsigned} ({unsigned.stat().st_size} bytes)\n"
          f"      SHA-256         {sha256(unsigned)}\n"
          f"  signed installer    {out / make_release.INSTALLER_NAME} ({signed.stat().st_size} bytes)\n"
          f"  archive SHA-256     {sha256(archive)}\n"
          f"  version-file key    {key}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
