"""End-to-end installation: a complete install from the release server, an install over older
pieces, a failed archive download, and Cancel in the first pause and during the download."""

import hashlib
import pathlib
import random
import shutil
import time

import pytest

import e2e_env
import make_release
from test_window import Pixels, check_drawing, save_screenshot

INSTALL_WIN = "C:\\Program Files (x86)\\Lumidex\\SSD Flashdeck\\"
APP_EXE = "LumidexSSDFlashdeck.exe"
# A browser's name for a second download: blanks and parentheses must survive every use of the name.
SETUP_NAME = "LumidexFlashdeckSetup (2).exe"
DEMO_VERSION = "3.0.3.0"

INSTALL_OFFER_TEXT = ("Thank you for downloading the Lumidex SSD Flashdeck. This software includes tools that can "
                      "help you to get the most out of your Lumidex SSDs.")
INSTALLING_TEXT = "Please wait while the Lumidex SSD Flashdeck is being installed on your computer."
UNINSTALLING_TEXT = "Please wait while the Lumidex SSD Flashdeck is being uninstalled from your computer."
CANCELLED_TEXT = "The installation was cancelled."
SISTER_APP_KEY = r"HKLM\SOFTWARE\Kelvra\SSD Flashdeck"
SISTER_UNINSTALL_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Kelvra SSD Flashdeck"
VENDOR_KEY = r"HKLM\SOFTWARE\Lumidex"


def success_text(version):
    return (f"Lumidex SSD Flashdeck version {version} was successfully installed.\n\n"
            "Click on the Finish button to run the application.")


# ---------------------------------------------------------------- helpers shared with test_uninstall

def control(ui, name):
    return ui["controls"][e2e_env.CONTROL_INDEX[name]]


def page(ui):
    """The parts of the window that tell the pages apart."""
    return {
        "message": control(ui, "messageText")["text"],
        "action": control(ui, "actionButton")["text"] if control(ui, "actionButton")["visible"] else None,
        "cancel": control(ui, "cancelButton")["visible"],
        "progress": control(ui, "progressBar")["visible"],
        "notes": control(ui, "releaseNotesLink")["visible"],
    }


def wait_page(machine, message, timeout=120, **expected):
    """Waits until the message text is `message` and the listed parts (see `page`) match."""
    def matches(ui):
        now = page(ui)
        return now["message"] == message and all(now[k] == v for k, v in expected.items())
    return page(machine.wait_ui(matches, timeout=timeout, what=f"the page {message!r}"))


def start_and_wait_offer(machine, base_url, message, action, name=e2e_env.INSTALLER_NAME, extra_args=(), **start):
    """Starts the installer from the temporary folder (its exit code is the real one) and waits
    for the first page. start: further arguments of Machine.start_installer."""
    inst = machine.start_installer(["-test", f'"{base_url}"', *extra_args], name=name, **start)
    inst.wait_window(60)
    wait_page(machine, message, timeout=60, action=action, cancel=True, progress=False)
    return inst


def install_to_final_page(machine, base_url, version=DEMO_VERSION, name=e2e_env.INSTALLER_NAME, **start):
    """Starts the installer, clicks Install and waits for the success page. Returns the process
    and the progress watch (running until the window is gone)."""
    inst = start_and_wait_offer(machine, base_url, INSTALL_OFFER_TEXT, "Install", name=name, **start)
    watch = machine.watch_progress(timeout_ms=240000, until_gone=True)
    machine.driver("click", "actionButton")
    wait_page(machine, success_text(version), timeout=180, action="Finish")
    # The copy of the installer is made right after the page is shown.
    e2e_env.wait_until(lambda: (machine.install_dir() / name).is_file(), 30, what="the installer copy")
    return inst, watch


def reg_values(machine, key):
    """All values of a key in the 32-bit view: {name: RegValue}; None when the key is missing."""
    return machine.reg_values(key)


def key_in_64bit_view(machine, key):
    return machine.wine("reg", "query", key, "/reg:64", check=False).returncode == 0


def files_in(folder):
    return sorted(p.name for p in folder.iterdir()) if folder.exists() else None


def after_first(positions, value):
    """The positions that follow the first `value`, checking that only 0 came before it."""
    assert value in positions, positions
    index = positions.index(value)
    assert set(positions[:index]) <= {0}, positions
    return positions[index + 1:]


def split_download(positions):
    """The leading run of download positions (10 < p <= 30) and the rest."""
    count = 0
    while count < len(positions) and 10 < positions[count] <= 30:
        count += 1
    return positions[:count], positions[count:]


def archive_requests(server, since):
    """The archive requests after the first `since` requests of the session (the log is shared)."""
    return [r for r in server.requests()[since:] if r["path"].startswith("/Flashdeck/application/")]


def add_sister_product(machine):
    """The sister line's keys, folder and files, as its own installer would leave them."""
    machine.reg_add(SISTER_APP_KEY, "InstallPath", "C:\\Program Files (x86)\\Kelvra\\SSD Flashdeck\\")
    machine.reg_add(SISTER_UNINSTALL_KEY, "DisplayVersion", "2.0.0.0")
    folder = machine.program_files_x86() / "Kelvra" / "SSD Flashdeck"
    folder.mkdir(parents=True)
    (folder / "KelvraSSDFlashdeck.exe").write_bytes(b"MZ sister application")
    (folder.parent / "KelvraReleaseNotes.pdf").write_bytes(b"%PDF sister notes")
    return folder


def assert_sister_untouched(machine, folder):
    assert (folder / "KelvraSSDFlashdeck.exe").read_bytes() == b"MZ sister application"
    assert (folder.parent / "KelvraReleaseNotes.pdf").read_bytes() == b"%PDF sister notes"
    assert reg_values(machine, SISTER_APP_KEY) == {
        "InstallPath": e2e_env.RegValue("REG_SZ", "C:\\Program Files (x86)\\Kelvra\\SSD Flashdeck\\")}
    assert reg_values(machine, SISTER_UNINSTALL_KEY) == {"DisplayVersion": e2e_env.RegValue("REG_SZ", "2.0.0.0")}


def assert_product_removed(machine):
    assert not machine.install_dir().exists(), files_in(machine.install_dir())
    assert not machine.shortcut_path().exists()
    assert not machine.reg_key_exists(e2e_env.APP_KEY)
    assert not machine.reg_key_exists(e2e_env.UNINSTALL_KEY)


# ---------------------------------------------------------------- scenarios

def assert_installed(machine, installer, demo_app_dir, setup_name, started=None):
    """What an install of the demo release by `installer` (a path) leaves: files, registry (32-bit
    view only), shortcut. started: when the installation began (time.time()), default now."""
    started = started or time.time()
    # Files: the archive's contents, the extractor and the installer copy; no leftovers.
    folder = machine.install_dir()
    assert files_in(folder) == sorted([APP_EXE, "7za.exe", "vcredist_x86.exe", setup_name])
    assert (folder / APP_EXE).read_bytes() == (demo_app_dir / APP_EXE).read_bytes()
    assert (folder / setup_name).read_bytes() == pathlib.Path(installer).read_bytes()
    assert (folder / "7za.exe").read_bytes()[:2] == b"MZ"
    assert machine.vcredist_calls() == [f'"{INSTALL_WIN}vcredist_x86.exe" /quiet /norestart']

    # Registry, 32-bit view only.
    assert reg_values(machine, e2e_env.APP_KEY) == {
        "IsInstalled": e2e_env.RegValue("REG_DWORD", 3),
        "InstallPath": e2e_env.RegValue("REG_SZ", INSTALL_WIN),
        "CurrentVersion": e2e_env.RegValue("REG_SZ", DEMO_VERSION),
        "CurrentCulture": e2e_env.RegValue("REG_SZ", "en-US"),
        "IsCachePolicy": e2e_env.RegValue("REG_SZ", "0"),
        "StartMinimized": e2e_env.RegValue("REG_SZ", "0"),
        "StartWithWindows": e2e_env.RegValue("REG_SZ", "0"),
    }
    entry = reg_values(machine, e2e_env.UNINSTALL_KEY)
    print(f"\nUninstall entry: {entry}")
    # The local date of the installation (the run may have crossed midnight).
    date = entry.pop("InstallDate", None)
    assert date is not None and date.type == "REG_SZ", entry
    assert date.data in {time.strftime("%Y%m%d", time.localtime(t)) for t in (started, time.time())}, date
    assert entry == {
        "DisplayVersion": e2e_env.RegValue("REG_SZ", DEMO_VERSION),
        "DisplayName": e2e_env.RegValue("REG_SZ", "Lumidex SSD Flashdeck"),
        "DisplayIcon": e2e_env.RegValue("REG_SZ", INSTALL_WIN + APP_EXE),
        "InstallSource": e2e_env.RegValue("REG_SZ", INSTALL_WIN + setup_name),
        "Publisher": e2e_env.RegValue("REG_SZ", "Varnholt Corporation"),
        "UninstallString": e2e_env.RegValue("REG_SZ", f'"{INSTALL_WIN}{setup_name}" -uninstall'),
        "QuietUninstallString": e2e_env.RegValue("REG_SZ", f'"{INSTALL_WIN}{setup_name}" -uninstall -silent'),
        "InstallLocation": e2e_env.RegValue("REG_SZ", INSTALL_WIN),
        # The folder as the installation left it, in KB rounded up.
        "EstimatedSize": e2e_env.RegValue("REG_DWORD", -(-sum(p.stat().st_size for p in folder.rglob("*")
                                                               if p.is_file()) // 1024)),
        "NoModify": e2e_env.RegValue("REG_DWORD", 1),
        "NoRepair": e2e_env.RegValue("REG_DWORD", 1),
        "URLInfoAbout": e2e_env.RegValue("REG_SZ", "https://www.lumidex.com/flashdeck"),
    }
    assert not key_in_64bit_view(machine, VENDOR_KEY)
    assert not key_in_64bit_view(machine, e2e_env.UNINSTALL_KEY)

    link = machine.read_shortcut(machine.shortcut_path())
    assert (link["target"], link["working_dir"], link["icon"], link["icon_index"]) == (
        INSTALL_WIN + APP_EXE, INSTALL_WIN, INSTALL_WIN + APP_EXE, 0)


def plant_hijackers(machine, build):
    """What a process of the user could plant for the elevated installer: system libraries beside
    it (with Wine told to prefer such native copies) and a 7za.bat that a PATH search with
    PATHEXT=.BAT would find first. Returns the arguments for start_installer and the markers."""
    build.require("canary_dll")
    canary_folder = machine.prefix / "drive_c" / "canary"
    canary_folder.mkdir()
    (canary_folder / "7za.bat").write_text("echo ran> C:\\users\\Public\\canary-ran-7za.bat.txt\r\n")
    names = ["wininet.dll", "comctl32.dll", "gdiplus.dll"]
    start = {"beside": {name: build.canary_dll for name in names},
             "extra_env": {"WINEDLLOVERRIDES": e2e_env.wine_env(machine.prefix)["WINEDLLOVERRIDES"] +
                           ";wininet,comctl32,gdiplus=n,b",
                           "WINEPATH": "C:\\canary", "PATHEXT": ".BAT"}}
    public = machine.win_path_to_host("C:\\users\\Public")
    return start, lambda: sorted(p.name for p in public.glob("canary-*"))


@pytest.mark.smoke
def test_full_install_from_the_release_server(machine, build, e2e_run, release_server, demo_app_dir, script_release):
    # The running copy's file swapped before it reads it (started suspended in a copy folder, its
    # file renamed, another program put under its name, resumed): that program is never installed.
    other = machine.win_path_to_host("C:\\users\\Public\\other.exe")
    shutil.copy2(build.demo_app, other)
    copy_folder = machine.temp_dir()[1] + "\\LFD1-2-3"
    since = len(release_server.requests())
    swapped = machine.start_installer(["-test", f'"{release_server.base_url}"', "-silent"], location=copy_folder,
                                      exe=script_release.signed_installer, swap_with="C:\\users\\Public\\other.exe")
    assert swapped.wait(180) == 1603
    # Refused after a good version check, before the archive: the file is checked first.
    assert [r["status"] for r in release_server.requests()[since:] if r["path"].endswith("lista_updater.xml")] == [200]
    assert archive_requests(release_server, since) == []
    # Only the language choice of the start-up is in the registry.
    assert not machine.install_dir().exists() and list(reg_values(machine, e2e_env.APP_KEY)) == ["CurrentCulture"]
    assert not machine.reg_key_exists(e2e_env.UNINSTALL_KEY)

    # The Authenticode-signed installer of the release script's tree, as users download it.
    served_before = len(release_server.requests())
    hijack, canaries_fired = plant_hijackers(machine, build)
    inst, watch = install_to_final_page(machine, release_server.base_url, name=SETUP_NAME,
                                        exe=script_release.signed_installer, **hijack)
    # Nothing planted beside the installer or found through the user's PATH ran with its rights.
    assert canaries_fired() == []

    ui = machine.driver("list")
    assert page(ui) == {"message": success_text(DEMO_VERSION), "action": "Finish", "cancel": True, "progress": False,
                        "notes": True}
    # The one picture of a real run (the gallery draws the rest from the fit check): the window on
    # Wine's desktop, framed, with logo, separator and its texts in their colours.
    check_drawing(Pixels(save_screenshot(machine, e2e_run, build, "installed-final", "en-US"), ui))

    assert_installed(machine, script_release.signed_installer, demo_app_dir, SETUP_NAME)
    served = archive_requests(release_server, served_before)
    assert [(r["path"], r["status"]) for r in served] == [
        (f"/Flashdeck/application/{DEMO_VERSION}/LumidexFlashdeck.zip", 200)]

    # Finish starts the installed application and ends the installer.
    assert machine.demo_app_starts() == []
    machine.driver("click", "actionButton")
    app = machine.driver("wait-window", "--class", "LumidexDemoApp", "--timeout", "30000")
    assert inst.wait(30) == 0
    starts = machine.demo_app_starts()
    assert len(starts) == 1
    assert starts[0].split("\t")[0].strip('"').startswith(INSTALL_WIN + APP_EXE), starts
    running = {p["pid"]: p["path"] for p in machine.processes()}
    assert running[app["pid"]].lower() == (INSTALL_WIN + APP_EXE).lower()

    progress = watch.result(60)
    assert progress["hooked"] and progress["reason"] == "gone", progress
    download, rest = split_download(after_first(progress["positions"], 10))
    assert download and download[-1] == 30, progress["positions"]
    assert download == sorted(download), progress["positions"]
    assert any(10 < p < 30 for p in download), progress["positions"]
    assert rest == [60, 70, 85, 100], progress["positions"]
    assert canaries_fired() == []


def test_install_over_older_pieces_replaces_them(machine, build, fault_server, padded_tree, demo_app_dir):
    # Served so that the archive's connection breaks after 60 %: the download resumes from there.
    served = fault_server.root / "padded"
    if not served.exists():
        shutil.copytree(padded_tree, served)
    archive_path = f"/{served.name}/Flashdeck/application/{DEMO_VERSION}/LumidexFlashdeck.zip"
    archive_size = (served / archive_path.lstrip("/").split("/", 1)[1]).stat().st_size
    since = len(fault_server.requests())
    folder = machine.install_dir()
    folder.mkdir(parents=True)
    (folder / APP_EXE).write_bytes(b"MZ an older application")
    (folder / e2e_env.INSTALLER_NAME).write_bytes(b"MZ an older installer")
    machine.desktop_dir().mkdir(parents=True, exist_ok=True)
    machine.shortcut_path().write_bytes(b"an older shortcut to somewhere else")

    inst, watch = install_to_final_page(machine, fault_server.url("dropwhole", "only=.zip", served.name))
    watch.stop()

    # The whole archive once, cut after 60 %, then the rest with Range; the hash covered both parts.
    asked = [r for r in fault_server.requests()[since:] if r.split(" ")[0].endswith(archive_path)]
    assert asked == [f"/dropwhole/only=.zip{archive_path}",
                     f"/dropwhole/only=.zip{archive_path} range=bytes={archive_size * 6 // 10}-"], asked
    assert (folder / APP_EXE).read_bytes() == (demo_app_dir / APP_EXE).read_bytes()
    assert (folder / e2e_env.INSTALLER_NAME).read_bytes() == build.installer.read_bytes()
    assert files_in(folder) == sorted([APP_EXE, "7za.exe", "vcredist_x86.exe", "padding.bin", e2e_env.INSTALLER_NAME])
    link = machine.read_shortcut(machine.shortcut_path())
    assert link["target"] == INSTALL_WIN + APP_EXE and link["working_dir"] == INSTALL_WIN

    # Cancel on the final page ends the installer without starting the application.
    machine.driver("click", "cancelButton")
    assert inst.wait(30) == 0
    assert machine.demo_app_starts() == []
    assert machine.reg_query(e2e_env.APP_KEY, "IsInstalled") == e2e_env.RegValue("REG_DWORD", 3)


@pytest.mark.parametrize("fault, code, status", [
    ("missing", "0x2", 404),
    # Not the archive the signed version file names: its Content-Length is not the signed size.
    ("replaced", "0xd", 200),
    # No Content-Length and a body that never ends: refused at the first byte past the signed size.
    ("endless", "0xd", None),
])
def test_a_failed_archive_download_rolls_back_and_leaves_nothing(machine, release_server, fault_server, make_tree,
                                                                 demo_app_dir, fault, code, status):
    served_before = len(release_server.requests())
    tree = make_tree(f"offer-with-{fault}-archive", [("3.0.4.0", demo_app_dir)])
    archive = tree / "Flashdeck" / "application" / "3.0.4.0" / "LumidexFlashdeck.zip"
    base_url = release_server.base_url
    if fault == "missing":
        archive.unlink()
    elif fault == "replaced":
        archive.write_bytes(archive.read_bytes() + b"appended by someone else")
    else:
        shutil.copytree(tree, fault_server.root / tree.name, dirs_exist_ok=True)
        base_url = fault_server.url("endless", "only=.zip", tree.name)
        fault_since = len(fault_server.requests())
    release_server.serve(tree)

    inst = start_and_wait_offer(machine, base_url, INSTALL_OFFER_TEXT, "Install")
    machine.driver("click", "actionButton")
    box = machine.messagebox(timeout_ms=60000)
    assert box["title"] == "Error"
    assert box["text"].endswith(f"({code}): LumidexFlashdeck.zip"), box
    assert page(machine.driver("list"))["message"] == INSTALLING_TEXT
    machine.dismiss()
    # A failed installation leaves nothing behind: no IsInstalled, no InstallPath, no extractor.
    wait_page(machine, FAILED_TEXT, timeout=90, action="Finish")
    assert_product_removed(machine)
    machine.driver("click", "actionButton")
    assert inst.wait(30) == 0

    if fault == "endless":
        # Not tried again: no retry makes a wrong body the right one.
        assert [r for r in fault_server.requests()[fault_since:] if r.endswith(".zip")] == [
            f"/endless/only=.zip/{tree.name}/Flashdeck/application/3.0.4.0/LumidexFlashdeck.zip"]
    else:
        assert [(r["path"], r["status"]) for r in archive_requests(release_server, served_before)] == [
            ("/Flashdeck/application/3.0.4.0/LumidexFlashdeck.zip", status)]
    assert machine.vcredist_calls() == [] and machine.demo_app_starts() == []


FAILED_TEXT = "The installation could not be completed."
UNPACK_FAILED_TEXT = ("LumidexFlashdeck.zip could not be unpacked. The Lumidex SSD Flashdeck was not installed, and "
                      "what the installation had added was removed.")
RESTART_SENTENCE = "Please restart your computer to complete the installation."
RUNTIME_EXIT_FILE = r"C:\users\Public\vcredist_x86_exit.txt"


@pytest.fixture(scope="module")
def failing_trees(e2e_run, build, make_tree):
    """Signed releases whose archive cannot give the application: bytes that are no archive, and
    an archive without the application's program."""
    corrupt = make_tree("corrupt-archive", [(DEMO_VERSION, e2e_env.stage_app_dir(e2e_run.path / "apps" / "c", build))])
    archive = corrupt / "Flashdeck" / "application" / DEMO_VERSION / "LumidexFlashdeck.zip"
    archive.write_bytes(b"PK\x03\x04" + random.Random(3).randbytes(40000))
    version_file = corrupt / "Flashdeck" / "config" / "lista_updater.xml"
    version_file.write_bytes(make_release.version_xml(DEMO_VERSION, hashlib.sha256(archive.read_bytes()).hexdigest(),
                                                      archive.stat().st_size))
    make_release.sign(version_file, build.signing_key)
    without_app = e2e_env.stage_app_dir(e2e_run.path / "apps" / "no-app", build)
    (without_app / APP_EXE).unlink()
    return {"corrupt-archive": corrupt, "no-application": make_tree("no-application", [(DEMO_VERSION, without_app)])}


@pytest.mark.parametrize("kind", ["corrupt-archive", "no-application", "runtime-exit-1", "runtime-exit-3010"])
def test_a_failed_step_is_never_reported_as_success(machine, release_server, failing_trees, kind):
    if kind in failing_trees:
        release_server.serve(failing_trees[kind])
    else:
        machine.win_path_to_host(RUNTIME_EXIT_FILE).write_text(kind.rsplit("-", 1)[1])
    inst = start_and_wait_offer(machine, release_server.base_url, INSTALL_OFFER_TEXT, "Install")
    machine.driver("click", "actionButton")

    if kind in failing_trees:
        box = machine.messagebox(timeout_ms=120000)
        assert (box["title"], box["text"]) == ("Error", UNPACK_FAILED_TEXT), box
        machine.dismiss()
        # Rolled back as a Cancel is: no files, shortcut, keys; Finish starts nothing.
        final = wait_page(machine, FAILED_TEXT, timeout=90, action="Finish")
        assert final == {"message": FAILED_TEXT, "action": "Finish", "cancel": False, "progress": False,
                         "notes": False}
        assert_product_removed(machine)
        assert machine.vcredist_calls() == []
        machine.driver("click", "actionButton")
        assert inst.wait(30) == 0
        assert machine.demo_app_starts() == []
        return

    installed = success_text(DEMO_VERSION)
    if kind == "runtime-exit-3010":
        installed = installed.split("\n\n")[0] + "\n\n" + RESTART_SENTENCE
    wait_page(machine, installed, timeout=180, action="Finish")
    if kind == "runtime-exit-1":
        # The application is in place: the installation stands, and the user reads the code.
        box = machine.messagebox(timeout_ms=30000)
        assert box["text"].startswith("The setup of the runtime components ended with code 1. The Lumidex SSD "
                                      "Flashdeck is installed and may still run"), box
        machine.dismiss()
    else:
        # A box would follow the installer's copy into the install folder at once.
        e2e_env.wait_until(lambda: (machine.install_dir() / e2e_env.INSTALLER_NAME).is_file(), 30,
                           what="the installer copy")
        time.sleep(2)
        assert machine.driver("windows", "#32770")["windows"] == []
    assert machine.reg_query(e2e_env.APP_KEY, "IsInstalled") == e2e_env.RegValue("REG_DWORD", 3)
    assert machine.reg_query(e2e_env.UNINSTALL_KEY, "DisplayVersion").data == DEMO_VERSION
    assert len(machine.vcredist_calls()) == 1
    # Finish ends the installer; after a restart request it does not start the application.
    machine.driver("click", "actionButton")
    assert inst.wait(30) == 0
    if kind == "runtime-exit-3010":
        assert machine.demo_app_starts() == []
    else:
        machine.driver("wait-window", "--class", "LumidexDemoApp", "--timeout", "30000")
        assert len(machine.demo_app_starts()) == 1


def test_cancel_in_the_first_pause_rolls_back_and_spares_the_sister_product(machine, release_server):
    served_before = len(release_server.requests())
    sister = add_sister_product(machine)
    inst = start_and_wait_offer(machine, release_server.base_url, INSTALL_OFFER_TEXT, "Install")
    watch = machine.watch_progress(timeout_ms=240000, until_gone=True)
    # Both clicks are queued together: Cancel arrives while the first pause dispatches messages.
    machine.driver("click", "actionButton", "cancelButton")

    watch.wait_for(lambda seen: 0 in seen[seen.index(10):] if 10 in seen else False, timeout=60,
                   what="the bar to drop to 0")
    # The roll-back has not yet deleted the key: the install was stopped before InstallPath.
    assert machine.reg_query(e2e_env.APP_KEY, "IsInstalled") == e2e_env.RegValue("REG_DWORD", 1)
    assert machine.reg_query(e2e_env.APP_KEY, "InstallPath") is None
    wait_page(machine, UNINSTALLING_TEXT, timeout=60, action=None, cancel=False, progress=True)

    final = wait_page(machine, CANCELLED_TEXT, timeout=60, action="Finish")
    assert final == {"message": CANCELLED_TEXT, "action": "Finish", "cancel": False, "progress": False,
                     "notes": False}
    assert archive_requests(release_server, served_before) == []
    assert_product_removed(machine)
    assert_sister_untouched(machine, sister)

    machine.driver("click", "actionButton")
    assert inst.wait(30) == 0
    assert machine.demo_app_starts() == [] and machine.vcredist_calls() == []
    assert not machine.install_dir().exists()
    assert after_first(watch.result(60)["positions"], 10) == [0, 20, 40, 60, 100]


@pytest.fixture(scope="module")
def padded_tree(e2e_run, build, make_tree):
    """The demo release with an incompressible extra file, so that the throttled download lasts seconds."""
    padding = random.Random(7).randbytes(320 * 1024)
    app_dir = e2e_env.stage_app_dir(e2e_run.path / "apps" / "padded", build, {"padding.bin": padding})
    return make_tree("padded", [(DEMO_VERSION, app_dir)])


def test_cancel_during_the_download_stops_it_and_rolls_back(machine, release_server, padded_tree):
    served_before = len(release_server.requests())
    release_server.serve(padded_tree)
    inst = start_and_wait_offer(machine, release_server.slow_base_url, INSTALL_OFFER_TEXT, "Install")
    watch = machine.watch_progress(timeout_ms=240000, until_gone=True)
    machine.driver("click", "actionButton")
    # The window dispatches its messages between reads: the bar is seen moving from outside.
    watch.wait_for(lambda p: len([x for x in p if 10 < x < 30]) >= 2, timeout=60, what="the bar to move")
    clicked = time.monotonic()
    machine.driver("click", "cancelButton")
    watch.wait_for(lambda p: 0 in p, timeout=30, what="the bar to drop to 0")
    stopped = time.monotonic() - clicked
    print(f"\nCancel took effect after {stopped:.1f}s")
    assert stopped < 3, stopped
    # Stopped in the download: no archive, nothing unpacked, no shortcut.
    assert not (machine.install_dir() / "LumidexFlashdeck.zip").exists()
    assert not (machine.install_dir() / "LumidexFlashdeck.zip.part").exists()
    assert not (machine.install_dir() / APP_EXE).exists()
    assert not machine.shortcut_path().exists()

    wait_page(machine, CANCELLED_TEXT, timeout=90, action="Finish", cancel=False, progress=False)
    assert_product_removed(machine)
    assert machine.vcredist_calls() == []
    served = archive_requests(release_server, served_before)
    assert [r["port"] for r in served] == [release_server.slow_port]

    # A final page may be left through the close box as well; nothing is started then.
    machine.driver("close")
    assert inst.wait(30) == 0
    assert machine.demo_app_starts() == []
    positions = watch.result(60)["positions"]
    download, rest = split_download(after_first(positions, 10))
    assert 30 not in download, positions
    assert rest == [0, 20, 40, 60, 100], positions


def test_a_refused_shortcut_is_a_warning_and_the_installation_stands(machine, release_server):
    # A folder of the user's under the shortcut's name: the shortcut cannot be written there.
    blocker = machine.shortcut_path()
    (blocker / "keep").mkdir(parents=True)
    inst = start_and_wait_offer(machine, release_server.base_url, INSTALL_OFFER_TEXT, "Install")
    machine.driver("click", "actionButton")

    wait_page(machine, success_text(DEMO_VERSION), timeout=180, action="Finish")
    box = machine.messagebox(timeout_ms=60000)
    assert box["title"] == "Error" and box["text"].endswith("): Lumidex SSD Flashdeck.lnk"), box
    machine.dismiss()
    assert machine.reg_query(e2e_env.APP_KEY, "IsInstalled") == e2e_env.RegValue("REG_DWORD", 3)
    assert machine.reg_query(e2e_env.UNINSTALL_KEY, "DisplayVersion").data == DEMO_VERSION
    assert (machine.install_dir() / APP_EXE).is_file()
    assert (blocker / "keep").is_dir()
    machine.driver("click", "cancelButton")
    assert inst.wait(30) == 0


def block_installer_copy(machine):
    """A non-empty folder under the copy's name: it cannot be removed or replaced by a file."""
    blocker = machine.install_dir() / e2e_env.INSTALLER_NAME
    (blocker / "keep").mkdir(parents=True)
    (blocker / "keep" / "file.txt").write_text("data")


@pytest.mark.e2e_timeout(420)
def test_a_failed_installer_copy_fails_the_installation(machine, release_server):
    # The Uninstall entry would name a program that is not there: the installation is rolled back.
    block_installer_copy(machine)
    inst = start_and_wait_offer(machine, release_server.base_url, INSTALL_OFFER_TEXT, "Install")
    machine.driver("click", "actionButton")

    box = machine.messagebox(timeout_ms=120000)
    assert box["title"] == "Error"
    assert box["text"].endswith("): " + e2e_env.INSTALLER_NAME), box
    assert not box["text"].startswith("unknown error"), box
    machine.dismiss()
    wait_page(machine, FAILED_TEXT, timeout=90, action="Finish")
    assert_product_removed(machine)
    machine.driver("click", "actionButton")
    assert inst.wait(timeout=60) == 0
    assert machine.demo_app_starts() == []

    # Unattended: the same, ending with 1603.
    block_installer_copy(machine)
    silent = machine.start_installer(["-test", f'"{release_server.base_url}"', "-silent"])
    assert silent.wait(180) == 1603
    assert_product_removed(machine)
