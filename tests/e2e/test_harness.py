"""Tests of the end-to-end harness itself: the release tree, the driver against the demo
application, the HTTPS server and the trust of the test CA inside the prefix only."""

import hashlib
import re
import subprocess
import zipfile

import pytest

import e2e_env
from test_window import CONTROL_CLASSES


def test_release_tree_is_complete_and_deterministic(tmp_path):
    old, new = tmp_path / "old", tmp_path / "new"
    for folder, marker in ((old, b"old"), (new, b"new")):
        folder.mkdir()
        (folder / "LumidexSSDFlashdeck.exe").write_bytes(b"MZ app " + marker)
        (folder / "vcredist_x86.exe").write_bytes(b"MZ redist " + marker)
    releases = [("2.7.0.0", old), ("3.0.3.0", new)]
    first = e2e_env.build_release_tree(tmp_path / "a", releases, offer="3.0.3.0")
    second = e2e_env.build_release_tree(tmp_path / "b", releases, offer="3.0.3.0")

    files = sorted(p.relative_to(first).as_posix() for p in first.rglob("*") if p.is_file())
    assert files == [
        "Flashdeck/LumidexSSDFlashdeckReleaseNotes.pdf",
        "Flashdeck/application/2.7.0.0/LumidexFlashdeck.zip",
        "Flashdeck/application/3.0.3.0/LumidexFlashdeck.zip",
        "Flashdeck/config/lista_updater.xml",
        "Flashdeck/config/lista_updater.xml.sig",
    ]
    for name in files[:-1]:
        assert (first / name).read_bytes() == (second / name).read_bytes(), name

    xml = (first / "Flashdeck/config/lista_updater.xml").read_text()
    assert re.findall(r"<version>(.*?)</version>", xml) == ["3.0.3.0"]
    archive_hash = hashlib.sha256((first / "Flashdeck/application/3.0.3.0/LumidexFlashdeck.zip").read_bytes())
    assert re.findall(r"<sha256>(.*?)</sha256>", xml) == [archive_hash.hexdigest()]
    archive_size = (first / "Flashdeck/application/3.0.3.0/LumidexFlashdeck.zip").stat().st_size
    assert re.findall(r"<size>(.*?)</size>", xml) == [str(archive_size)]
    notes_hash = hashlib.sha256((first / "Flashdeck/LumidexSSDFlashdeckReleaseNotes.pdf").read_bytes()).hexdigest()
    assert re.findall(r"<notes_sha256>(.*?)</notes_sha256>", xml) == [notes_hash]
    # A release without notes names none.
    bare = e2e_env.make_release.build_release(tmp_path / "c", releases, key=e2e_env.BuildPaths.discover().signing_key,
                                              notes=None)
    assert "notes_sha256" not in (bare / "config/lista_updater.xml").read_text()
    assert not (bare / "LumidexSSDFlashdeckReleaseNotes.pdf").exists()
    # ECDSA signatures differ from run to run; each one verifies with the build's key.
    key = e2e_env.BuildPaths.discover().signing_key
    public = tmp_path / "public.pem"
    subprocess.run(["openssl", "ec", "-in", key, "-pubout", "-out", public], check=True, capture_output=True)
    for tree in (first, second):
        config = tree / "Flashdeck/config"
        subprocess.run(["openssl", "dgst", "-sha256", "-verify", public, "-signature", config / "lista_updater.xml.sig",
                        config / "lista_updater.xml"], check=True, capture_output=True)
    with zipfile.ZipFile(first / "Flashdeck/application/2.7.0.0/LumidexFlashdeck.zip") as archive:
        assert sorted(archive.namelist()) == ["LumidexSSDFlashdeck.exe", "vcredist_x86.exe"]
        assert archive.read("LumidexSSDFlashdeck.exe") == b"MZ app old"

    pdf = (first / "Flashdeck/LumidexSSDFlashdeckReleaseNotes.pdf").read_bytes()
    assert pdf.startswith(b"%PDF-1.4") and pdf.rstrip().endswith(b"%%EOF")
    assert b"release notes 3.0.3.0" in pdf
    xref = int(re.search(rb"startxref\n(\d+)", pdf).group(1))
    assert pdf[xref:].startswith(b"xref")
    offsets = [int(m) for m in re.findall(rb"(\d{10}) 00000 n", pdf)]
    for number, offset in enumerate(offsets, start=1):
        assert pdf[offset:].startswith(f"{number} 0 obj".encode())


@pytest.mark.parametrize("releases, offer", [
    ([("3.0.3", None)], None),
    ([("3.0.3.0", None), ("3.0.3.0", None)], None),
    ([("3.0.3.0", None)], "2.7.0.0"),
])
def test_release_tree_rejects_bad_input(tmp_path, releases, offer):
    app = tmp_path / "app"
    app.mkdir()
    (app / "LumidexSSDFlashdeck.exe").write_bytes(b"MZ")
    with pytest.raises(ValueError):
        e2e_env.build_release_tree(tmp_path / "tree", [(v, app) for v, _ in releases], offer)


def test_driver_finds_lists_and_closes_the_demo_app(machine, build, e2e_run):
    app = machine.start_installer(["--demo", '"quoted arg"'], exe=build.demo_app, name="LumidexSSDFlashdeck.exe")
    found = machine.driver("wait-window", "--class", "LumidexDemoApp", "--timeout", "30000")
    assert found["pid"] == app.pid

    ui = machine.driver("list", "--class", "LumidexDemoApp")
    assert ui["caption"] == "Lumidex SSD Flashdeck (demo application)"
    assert ui["pid"] == app.pid and ui["visible"] and ui["controls"] == []
    assert ui["rect"]["right"] - ui["rect"]["left"] == 480

    shot = machine.screenshot(e2e_run.path / "screens" / "demo_app.png")
    assert shot.read_bytes().startswith(b"\x89PNG")

    machine.driver("close", "--class", "LumidexDemoApp")
    machine.driver("wait-gone", "--class", "LumidexDemoApp", "--timeout", "15000")
    assert app.wait(30) == 0
    # The arguments arrive exactly as given, quotes included.
    starts = machine.demo_app_starts()
    assert len(starts) == 1
    assert starts[0].split("\t")[0].endswith('LumidexSSDFlashdeck.exe" --demo "quoted arg"')


def test_driver_reports_missing_window_and_control(machine):
    with pytest.raises(e2e_env.DriverError, match="no visible window"):
        machine.driver("wait-window", "--timeout", "500")
    with pytest.raises(e2e_env.DriverError, match="no visible window"):
        machine.driver("click", "actionButton")


def test_vcredist_stub_records_its_command_line(machine, build):
    folder = machine.program_files_x86() / "StubTest"
    folder.mkdir()
    (folder / "vcredist_x86.exe").write_bytes(build.vcredist_stub.read_bytes())
    exe = r"C:\Program Files (x86)\StubTest\vcredist_x86.exe"
    for _ in range(2):
        assert machine.start_program(exe, "/quiet /norestart").wait(30) == 0
    assert machine.vcredist_calls() == [f'"{exe}" /quiet /norestart'] * 2


def test_release_server_is_trusted_inside_the_prefix_only(machine, release_server, test_ca):
    url = release_server.url("Flashdeck/config/lista_updater.xml")
    fetched = machine.driver("fetch", url)
    assert fetched["status"] == 200
    assert "<version>3.0.3.0</version>" in fetched["body"]
    missing = machine.driver("fetch", release_server.url("Flashdeck/no-such-file"))
    assert missing["status"] == 404

    # The host's trust store knows nothing of the test CA.
    host = subprocess.run(["curl", "-sS", "-o", "/dev/null", "--max-time", "20", url],
                          capture_output=True, text=True, timeout=60)
    assert host.returncode == 60, host.stderr  # peer certificate cannot be authenticated
    with_ca = subprocess.run(["curl", "-sS", "--max-time", "20", "--cacert", str(test_ca.ca_pem), url],
                             capture_output=True, text=True, timeout=60)
    assert with_ca.returncode == 0 and "<version>3.0.3.0</version>" in with_ca.stdout

    served = [(r["path"], r["status"]) for r in release_server.requests()]
    assert ("/Flashdeck/config/lista_updater.xml", 200) in served


def test_registry_helpers_use_the_32bit_view(machine):
    key = r"HKLM\SOFTWARE\Lumidex\SSD Flashdeck"
    assert machine.reg_query(key, "IsInstalled") is None
    machine.reg_add(key, "IsInstalled", 3, "REG_DWORD")
    machine.reg_add(key, "InstallPath", r"C:\Program Files (x86)\Lumidex\SSD Flashdeck" + "\\")
    machine.reg_add(key, "CurrentCulture", "")
    assert machine.reg_query(key, "IsInstalled") == e2e_env.RegValue("REG_DWORD", 3)
    assert machine.reg_query(key, "InstallPath").data == "C:\\Program Files (x86)\\Lumidex\\SSD Flashdeck\\"
    assert machine.reg_query(key, "CurrentCulture") == e2e_env.RegValue("REG_SZ", "")
    # Written in the 32-bit view, so the 64-bit view does not see it.
    native = machine.wine("reg", "query", key, "/v", "IsInstalled", "/reg:64", check=False)
    assert native.returncode != 0
    # What Wine's own reg tool writes reads back as it wrote it.
    machine.wine("reg", "add", key, "/v", "Expand", "/t", "REG_EXPAND_SZ", "/d", "%TEMP%\\x", "/f", "/reg:32")
    machine.wine("reg", "add", key, "/v", "Bytes", "/t", "REG_BINARY", "/d", "0aff", "/f", "/reg:32")
    values = machine.reg_values(key)
    assert (values["Expand"], values["Bytes"]) == (e2e_env.RegValue("REG_EXPAND_SZ", "%TEMP%\\x"),
                                                   e2e_env.RegValue("REG_BINARY", "0AFF"))
    assert machine.reg_delete(key, "Expand") and not machine.reg_delete(key, "Expand")
    # The driver's session comes back after every process of the prefix was ended.
    machine.kill_all()
    assert machine.reg_query(key, "IsInstalled") == e2e_env.RegValue("REG_DWORD", 3)
    assert machine.reg_delete(key)
    assert not machine.reg_key_exists(key)


def test_installer_first_page(machine, build, release_server):
    if not build.installer.is_file():
        pytest.skip("the installer is not built")
    inst = machine.start_installer(["-test", f'"{release_server.base_url}"'])
    machine.driver("wait-window", "--timeout", "60000")
    ui = machine.driver("list")
    assert ui["caption"] == "Lumidex SSD Flashdeck Installer"
    assert ui["pid"] == inst.pid
    assert [c["class"].lower() for c in ui["controls"]] == CONTROL_CLASSES
    machine.driver("click", "cancelButton")
    assert inst.wait(30) == 0
