"""The release script's output: a reproducible, Authenticode-signed installer and a complete,
checksummed tree; bad input stops it before anything is changed. (The signed installer's own
install run is test_install's full installation.)"""

import hashlib
import os
import shutil
import subprocess

import pytest
import yaml

import e2e_env
import winget_manifest
import winget_rules

make_release = e2e_env.make_release
DEMO_VERSION = "3.0.3.0"


def sha256(path):
    return hashlib.sha256(path.read_bytes()).hexdigest()


def test_the_release_build_is_byte_identical_to_the_test_build(build, script_release):
    # Two builds of one checkout in different folders, at different times: the test build and the
    # release script's clean build. Link times, build paths or resource stamps would differ here.
    assert script_release.unsigned_installer.parent != build.installer.parent
    ours, theirs = sha256(build.installer), sha256(script_release.unsigned_installer)
    print(f"\n{build.installer}: {ours}\n{script_release.unsigned_installer}: {theirs}")
    assert ours == theirs, f"{build.installer} differs from the release build (or is older than the sources)"
    assert theirs in script_release.output


@pytest.mark.parametrize("change, verifies", [(None, True), ("one byte of code", False)],
                         ids=["as-released", "one-byte-changed"])
def test_osslsigncode_verifies_the_signed_installer(script_release, e2e_run, change, verifies):
    signed = e2e_run.path / "verify" / f"{'changed' if change else 'as-released'}.exe"
    signed.parent.mkdir(exist_ok=True)
    data = bytearray(script_release.signed_installer.read_bytes())
    if change:
        data[0x1000] ^= 0xFF
    signed.write_bytes(data)
    result = e2e_env.run(["osslsigncode", "verify", "-in", signed, "-CAfile", script_release.codesign_cert],
                         timeout=60, check=False)
    assert (result.returncode == 0) == verifies, result.stdout + result.stderr
    assert ("Signature verification: ok" in result.stdout) == verifies


def test_without_its_signature_the_installer_is_the_reproducible_build(script_release, e2e_run):
    # What a security team does: strip the signature and compare with its own build.
    stripped = e2e_run.path / "verify" / "stripped.exe"
    stripped.parent.mkdir(exist_ok=True)
    stripped.unlink(missing_ok=True)
    e2e_env.run(["osslsigncode", "remove-signature", "-in", script_release.signed_installer, "-out", stripped],
                timeout=60)
    assert script_release.signed_installer.read_bytes() != script_release.unsigned_installer.read_bytes()
    assert stripped.read_bytes() == script_release.unsigned_installer.read_bytes()


def test_the_tree_is_complete_signed_and_checksummed(build, script_release, demo_app_dir):
    tree = script_release.tree
    files = sorted(p.relative_to(tree).as_posix() for p in tree.rglob("*") if p.is_file())
    assert files == sorted(["SHA256SUMS", "LumidexFlashdeckSetup.exe", "Flashdeck/config/lista_updater.xml",
                            "Flashdeck/config/lista_updater.xml.sig", "Flashdeck/LumidexSSDFlashdeckReleaseNotes.pdf",
                            f"Flashdeck/application/{DEMO_VERSION}/LumidexFlashdeck.zip",
                            *(f"winget/{DEMO_VERSION}/Lumidex.SSDFlashdeck{kind}.yaml"
                              for kind in ("", ".installer", ".locale.en-US"))])
    sums = e2e_env.run(["sha256sum", "-c", "SHA256SUMS"], timeout=60, cwd=tree).stdout
    assert sums.count(": OK") == len(files) - 1, sums

    version_file = tree / "Flashdeck" / "config" / "lista_updater.xml"
    text = version_file.read_text()
    assert f"<version>{DEMO_VERSION}</version>" in text
    archive = script_release.archive(DEMO_VERSION)
    notes = tree / "Flashdeck" / "LumidexSSDFlashdeckReleaseNotes.pdf"
    # In this order: the archive's hash and size, then the notes' hash.
    assert (f"<sha256>{sha256(archive)}</sha256>\n  <size>{archive.stat().st_size}</size>\n"
            f"  <notes_sha256>{sha256(notes)}</notes_sha256>\n") in text
    public = e2e_env.run(["openssl", "ec", "-in", build.signing_key, "-pubout"], timeout=30).stdout
    (tree.parent / "public.pem").write_text(public)
    e2e_env.run(["openssl", "dgst", "-sha256", "-verify", tree.parent / "public.pem",
                 "-signature", f"{version_file}.sig", version_file], timeout=30)


def test_the_package_manager_manifests_follow_the_schema_and_name_the_trees_installer(script_release):
    tree = script_release.tree
    folder = tree / "winget" / DEMO_VERSION
    manifests = {p.name: yaml.safe_load(p.read_text(encoding="utf-8")) for p in folder.iterdir()}
    print("\n" + (folder / "Lumidex.SSDFlashdeck.installer.yaml").read_text(encoding="utf-8"))
    assert sorted(m["ManifestType"] for m in manifests.values()) == ["defaultLocale", "installer", "version"]
    for name, manifest in manifests.items():
        assert winget_rules.problems(manifest) == [], name
        assert (manifest["PackageIdentifier"], manifest["PackageVersion"]) == ("Lumidex.SSDFlashdeck", DEMO_VERSION)
        assert manifest["ManifestVersion"] == "1.10.0"

    installer = manifests["Lumidex.SSDFlashdeck.installer.yaml"]
    [entry] = installer["Installers"]
    # The hash a package manager checks the download against is the signed installer's of this tree.
    assert entry["InstallerSha256"].lower() == sha256(tree / "LumidexFlashdeckSetup.exe")
    assert entry["InstallerUrl"] == "https://downloads.lumidex.com/LumidexFlashdeckSetup.exe"
    assert entry["Architecture"] == {"ia32": "x86", "x64": "x64"}[e2e_env.pe_arch(tree / "LumidexFlashdeckSetup.exe")]
    # Matched against the Uninstall entry the installation writes (see test_install's registry check).
    assert installer["AppsAndFeaturesEntries"] == [
        {"DisplayName": "Lumidex SSD Flashdeck", "Publisher": "Varnholt Corporation", "DisplayVersion": DEMO_VERSION}]
    assert installer["InstallerSwitches"] == {"Silent": "-silent", "SilentWithProgress": "-passive",
                                              "Log": '-log "<LOGPATH>"'}
    assert {c["InstallerReturnCode"]: c["ReturnResponse"] for c in installer["ExpectedReturnCodes"]} == {
        1602: "cancelledByUser", 1618: "installInProgress", 1638: "alreadyInstalled", 3010: "rebootRequiredToFinish"}
    assert (installer["InstallerType"], installer["Scope"], installer["ElevationRequirement"]) == (
        "exe", "machine", "elevatesSelf")
    locale = manifests["Lumidex.SSDFlashdeck.locale.en-US.yaml"]
    assert (locale["Publisher"], locale["PackageName"]) == ("Varnholt Corporation", "Lumidex SSD Flashdeck")


def _broken(kind, change):
    names = {"version": "Lumidex.SSDFlashdeck.yaml", "installer": "Lumidex.SSDFlashdeck.installer.yaml",
             "defaultLocale": "Lumidex.SSDFlashdeck.locale.en-US.yaml"}
    manifest = yaml.safe_load(winget_manifest.manifests(DEMO_VERSION, "0" * 64)[names[kind]])
    change(manifest)
    return manifest


BROKEN_FIELDS = [
    ("misspelt switch name", "installer", lambda m: m["InstallerSwitches"].update(SilentWithProgres="-passive"),
     "unknown field SilentWithProgres"),
    ("scope outside its enumeration", "installer", lambda m: m.update(Scope="system"), "'system' is not one of"),
    ("return response outside its enumeration", "installer",
     lambda m: m["ExpectedReturnCodes"][0].update(ReturnResponse="cancelled"), "'cancelled' is not one of"),
    ("return code 0", "installer", lambda m: m["ExpectedReturnCodes"][0].update(InstallerReturnCode=0),
     "0 is out of range or not allowed"),
    ("hash of 63 digits", "installer", lambda m: m["Installers"][0].update(InstallerSha256="A" * 63),
     "InstallerSha256: 'AAAA"),
    ("no installers", "installer", lambda m: m.pop("Installers"), "required field Installers is missing"),
    ("identifier without a dot", "version", lambda m: m.update(PackageIdentifier="LumidexSSDFlashdeck"),
     "does not match the pattern"),
    ("manifest version 1.10", "version", lambda m: m.update(ManifestVersion="1.10"), "does not match the pattern"),
    ("no license", "defaultLocale", lambda m: m.pop("License"), "required field License is missing"),
    ("two-letter license", "defaultLocale", lambda m: m.update(License="MS"), "License: length 2 outside 3 to 512"),
    ("URL without a scheme", "defaultLocale", lambda m: m.update(PackageUrl="www.lumidex.com"),
     "does not match the pattern"),
]


@pytest.mark.parametrize("case, kind, change, expected", BROKEN_FIELDS, ids=[c[0].replace(" ", "-") for c in BROKEN_FIELDS])
def test_the_schema_check_refuses_a_broken_field(case, kind, change, expected):
    # The release's own manifests pass (above); each of these breaks one rule of the schema.
    assert winget_rules.problems(_broken(kind, lambda m: None)) == []
    found = winget_rules.problems(_broken(kind, change))
    print(f"\n{case}: {found}")
    assert any(expected in line for line in found), found


def test_the_archive_depends_only_on_names_and_contents(script_release, demo_app_dir, e2e_run, monkeypatch):
    # The application files again, in another folder, written in the opposite order, with other
    # times and permissions: the archive must come out as the release script's.
    copy = e2e_run.path / "apps" / "shuffled"
    shutil.rmtree(copy, ignore_errors=True)
    copy.mkdir(parents=True)
    for i, path in enumerate(sorted(demo_app_dir.iterdir(), reverse=True)):
        shutil.copyfile(path, copy / path.name)
        os.chmod(copy / path.name, 0o755 - i)
        os.utime(copy / path.name, (1_000_000_000 + i * 7777, 1_000_000_000 + i * 7777))
    epoch = subprocess.run(["git", "-C", e2e_env.REPO_ROOT, "log", "-1", "--format=%ct"],
                           capture_output=True, text=True, check=True).stdout.strip()
    monkeypatch.setenv("SOURCE_DATE_EPOCH", os.environ.get("SOURCE_DATE_EPOCH", epoch))
    again = e2e_run.path / "apps" / "again.zip"
    make_release.write_archive(copy, again)
    released = script_release.archive(DEMO_VERSION)
    print(f"\n{released}: {sha256(released)}\n{again}: {sha256(again)}")
    assert sha256(again) == sha256(released)


def _release_args(e2e_run, app_dir, version=DEMO_VERSION, **extra):
    args = {"--app-dir": app_dir, "--version": version, "--out": e2e_run.path / "bad" / "tree",
            "--build-dir": e2e_run.path / "bad" / "build", **extra}
    return [str(x) for kv in args.items() for x in kv]


BAD_INPUT = [
    ("version 3.0.3", "not a four-part version"),
    ("empty application folder", "is not a folder with the application's files"),
    ("notes not a PDF", "is not a PDF"),
    ("tree folder in use", "already exists and is not empty"),
    ("build folder in use", "holds files this tool did not make"),
    ("certificate without key", "set both FLASHDECK_CODESIGN_CERT and FLASHDECK_CODESIGN_KEY"),
]


@pytest.mark.parametrize("case, expected", BAD_INPUT, ids=[case.replace(" ", "-") for case, _ in BAD_INPUT])
def test_bad_input_is_refused_before_anything_changes(e2e_run, demo_app_dir, case, expected):
    bad = e2e_run.path / "bad"
    shutil.rmtree(bad, ignore_errors=True)
    (bad / "empty").mkdir(parents=True)
    kept = {}
    extra, env = {}, dict(os.environ)
    app_dir, version = demo_app_dir, DEMO_VERSION
    if case.startswith("version"):
        version = "3.0.3"
    elif case.startswith("empty"):
        app_dir = bad / "empty"
    elif case.startswith("notes"):
        (bad / "notes.pdf").write_text("release notes as text")
        extra["--notes"] = bad / "notes.pdf"
    elif case.startswith("tree"):
        kept[bad / "tree" / "keep.txt"] = b"a vendor's file"
    elif case.startswith("build"):
        kept[bad / "build" / "keep.txt"] = b"a vendor's file"
    else:
        env["FLASHDECK_CODESIGN_CERT"] = str(bad / "cert.pem")
        env.pop("FLASHDECK_CODESIGN_KEY", None)
    for path, data in kept.items():
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)

    result = e2e_env.run(["bash", e2e_env.REPO_ROOT / "scripts" / "release.sh",
                          *_release_args(e2e_run, app_dir, version, **extra)], timeout=120, env=env, check=False)
    assert result.returncode == 1, result.stdout + result.stderr
    assert expected in result.stderr
    assert all(path.read_bytes() == data for path, data in kept.items())
    # Stopped before the build and before any tree was begun.
    assert not (bad / "build" / "installer").exists()
    assert not (bad / "tree").exists() or [p.name for p in (bad / "tree").iterdir()] == ["keep.txt"]


def test_an_extractor_with_other_bytes_fails_the_build(e2e_run):
    # The extractor fetched from the registry enters the installer only with its pinned SHA-256.
    folder = e2e_run.path / "pin-check"
    shutil.rmtree(folder, ignore_errors=True)
    extractor = folder / "third_party" / "7zip-bin" / "package" / "win" / "ia32" / "7za.exe"
    extractor.parent.mkdir(parents=True)
    extractor.write_bytes(b"MZ" + b"\0" * 1024)
    result = e2e_env.run(["cmake", "-S", e2e_env.REPO_ROOT, "-B", folder / "build", "-G", "Ninja",
                          "--toolchain", e2e_env.REPO_ROOT / "cmake" / "mingw-i686.cmake",
                          f"-DFLASHDECK_THIRD_PARTY_DIR={folder / 'third_party'}"], timeout=300, check=False)
    assert result.returncode != 0
    output = " ".join((result.stdout + result.stderr).split())
    assert hashlib.sha256(extractor.read_bytes()).hexdigest() in output
    assert "expected 31fd52f8996986623cf52c3b4d0f7ac74a9dec63fc16c902cef673eed550c435" in output
