"""End-to-end removal: the Uninstall entry's command, an upgrade from an older release, and a
file of the install folder that another program keeps open."""

import re
import shutil
import time

import pytest

import e2e_env
from test_install import (APP_EXE, DEMO_VERSION, INSTALL_OFFER_TEXT, INSTALL_WIN, INSTALLING_TEXT, SETUP_NAME,
                          UNINSTALLING_TEXT, VENDOR_KEY, after_first, assert_installed, assert_product_removed,
                          files_in, install_to_final_page, page, reg_values, start_and_wait_offer, success_text,
                          wait_page)

UNINSTALL_OFFER_TEXT = ("Welcome to the Lumidex SSD Flashdeck Installer. The Installer will remove the Lumidex SSD "
                        "Flashdeck software from your computer.")
UNINSTALLED_TEXT = "Lumidex SSD Flashdeck was successfully uninstalled."
NOTES_NAME = "LumidexSSDFlashdeckReleaseNotes.pdf"


def upgrade_text(installed, offered):
    return (f"Lumidex SSD Flashdeck {installed} has been detected on this system. The Lumidex SSD Flashdeck "
            f"installer will uninstall the current version and install version {offered} ")


def add_vendor_folder_contents(machine, tree):
    """A loose file of the vendor folder (the release notes) and a subfolder of another tool."""
    vendor = machine.install_dir().parent
    vendor.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(tree / "Flashdeck" / NOTES_NAME, vendor / NOTES_NAME)
    (vendor / "Other Tool").mkdir()
    (vendor / "Other Tool" / "keep.txt").write_text("not the installer's")
    return vendor


def uninstall_and_check_pages(machine):
    """Clicks Uninstall on the uninstall offer and follows the pages; returns the progress positions
    seen until the final page."""
    watch = machine.watch_progress(timeout_ms=180000, until_gone=True)
    machine.driver("click", "actionButton")
    wait_page(machine, UNINSTALLING_TEXT, timeout=60, action=None, cancel=False, progress=True, notes=False)
    final = wait_page(machine, UNINSTALLED_TEXT, timeout=90, action="Finish")
    assert final == {"message": UNINSTALLED_TEXT, "action": "Finish", "cancel": False, "progress": False,
                     "notes": False}
    return watch


@pytest.mark.smoke
def test_uninstall_through_the_uninstall_entry(machine, release_server, release_tree):
    inst, install_watch = install_to_final_page(machine, release_server.base_url, name=SETUP_NAME)
    install_watch.stop()
    machine.driver("click", "actionButton")  # Finish: the application starts from the install folder
    assert inst.wait(30) == 0
    machine.driver("wait-window", "--class", "LumidexDemoApp", "--timeout", "30000")
    # A second instance keeps a file of the install folder open: only ending it frees the folder.
    holder = machine.start_program(INSTALL_WIN + APP_EXE, f'--hold "{INSTALL_WIN}7za.exe"')
    e2e_env.wait_until(lambda: len(machine.demo_app_starts()) == 2, 30, what="the second application start")
    vendor = add_vendor_folder_contents(machine, release_tree)
    # An InstallPath that points elsewhere is not trusted with a removal as administrator.
    data = machine.prefix / "drive_c" / "Data"
    data.mkdir()
    (data / "keep.txt").write_text("the user's")
    machine.reg_add(e2e_env.APP_KEY, "InstallPath", "C:\\Data")

    command = machine.reg_query(e2e_env.UNINSTALL_KEY, "UninstallString").data
    match = re.fullmatch(r'"([^"]+)" -uninstall', command)
    assert match, command
    starter = machine.start_program(match.group(1), f'-uninstall -test "{release_server.base_url}"')
    assert starter.wait(60) == 0
    window = machine.driver("wait-window", "--timeout", "60000")
    assert window["pid"] != starter.pid
    # The uninstaller runs from a copy in the temporary folder, not from the folder it removes.
    path = {p["pid"]: p["path"] for p in machine.processes()}[window["pid"]]
    temp_win = machine.temp_dir()[1]
    assert path.lower().startswith(temp_win.lower() + "\\") and path.endswith("\\" + SETUP_NAME), path
    uninstaller = machine.watch_exit(window["pid"])

    offer = wait_page(machine, UNINSTALL_OFFER_TEXT, timeout=60, action="Uninstall", cancel=True, progress=False)
    assert offer["notes"]
    watch = uninstall_and_check_pages(machine)

    assert holder.wait(30) == 0  # terminated with exit code 0
    machine.driver("wait-gone", "--class", "LumidexDemoApp", "--timeout", "30000")
    assert not machine.install_dir().exists(), files_in(machine.install_dir())
    assert files_in(data) == ["keep.txt"]
    assert files_in(vendor) == ["Other Tool"]
    assert files_in(vendor / "Other Tool") == ["keep.txt"]
    assert not machine.shortcut_path().exists()
    assert not machine.reg_key_exists(e2e_env.UNINSTALL_KEY)
    assert not machine.reg_key_exists(e2e_env.APP_KEY)
    assert machine.reg_key_exists(VENDOR_KEY)

    machine.driver("click", "actionButton")
    assert uninstaller.wait(30) == 0
    machine.driver("wait-gone", "--timeout", "30000")
    assert len(machine.demo_app_starts()) == 2  # Finish after an uninstallation starts nothing
    assert not machine.install_dir().exists()
    assert after_first(watch.result(60)["positions"], 20) == [40, 60, 100]


def test_upgrade_replaces_the_older_release(machine, build, e2e_run, release_server, release_tree, make_tree,
                                            demo_app_dir):
    old_dir = e2e_env.stage_app_dir(e2e_run.path / "apps" / "2.7.0.0", build,
                                    {"old-only.txt": "a file that only the old release has"})
    release_server.serve(make_tree("old-release", [("2.7.0.0", old_dir)]))
    inst, watch = install_to_final_page(machine, release_server.base_url, version="2.7.0.0")
    watch.stop()
    machine.driver("click", "cancelButton")  # leaves the final page without starting the application
    assert inst.wait(30) == 0
    assert (machine.install_dir() / "old-only.txt").is_file()
    assert machine.reg_query(e2e_env.UNINSTALL_KEY, "DisplayVersion").data == "2.7.0.0"

    old_state = (files_in(machine.install_dir()), reg_values(machine, e2e_env.UNINSTALL_KEY),
                 machine.shortcut_path().read_bytes())

    # The new archive answers 404: the old release stays as it was, and the box says so.
    missing = make_tree("upgrade-without-archive", [(DEMO_VERSION, demo_app_dir)])
    (missing / "Flashdeck" / "application" / DEMO_VERSION / "LumidexFlashdeck.zip").unlink()
    release_server.serve(missing)
    inst = start_and_wait_offer(machine, release_server.base_url, upgrade_text("2.7.0.0", DEMO_VERSION), "Install")
    machine.driver("click", "actionButton")
    box = machine.messagebox(timeout_ms=60000)
    assert box["text"].endswith("(0x2): LumidexFlashdeck.zip\n\nThe installed version was not changed."), box
    machine.dismiss()
    assert inst.wait(30) == 0
    assert (files_in(machine.install_dir()), reg_values(machine, e2e_env.UNINSTALL_KEY),
            machine.shortcut_path().read_bytes()) == old_state
    assert machine.reg_query(e2e_env.APP_KEY, "IsInstalled") == e2e_env.RegValue("REG_DWORD", 3)
    assert files_in(machine.install_dir().parent) == ["SSD Flashdeck"]  # no staged archive left

    release_server.serve(release_tree)
    inst = start_and_wait_offer(machine, release_server.base_url, upgrade_text("2.7.0.0", DEMO_VERSION), "Install")
    watch = machine.watch_progress(timeout_ms=240000, until_gone=True)
    machine.driver("click", "actionButton")
    # The new archive arrives and is verified first (the positions below show the order).
    wait_page(machine, UNINSTALLING_TEXT, timeout=60, action=None, cancel=False, progress=True)
    watch.wait_for(lambda p: 100 in p, timeout=60, what="the end of the removal")
    assert not (machine.install_dir() / "old-only.txt").exists()
    wait_page(machine, INSTALLING_TEXT, timeout=60, action=None, cancel=True, progress=True)
    final = wait_page(machine, success_text(DEMO_VERSION), timeout=180, action="Finish")
    assert final["cancel"] and not final["progress"]

    e2e_env.wait_until(lambda: (machine.install_dir() / e2e_env.INSTALLER_NAME).is_file(), 30,
                       what="the installer copy")
    assert files_in(machine.install_dir()) == sorted([APP_EXE, "7za.exe", "vcredist_x86.exe",
                                                      e2e_env.INSTALLER_NAME])
    assert (machine.install_dir() / APP_EXE).read_bytes() == (demo_app_dir / APP_EXE).read_bytes()
    assert machine.reg_query(e2e_env.UNINSTALL_KEY, "DisplayVersion").data == DEMO_VERSION
    assert machine.reg_query(e2e_env.APP_KEY, "CurrentVersion").data == DEMO_VERSION
    assert machine.reg_query(e2e_env.APP_KEY, "IsInstalled") == e2e_env.RegValue("REG_DWORD", 3)
    assert len(machine.vcredist_calls()) == 2
    assert machine.read_shortcut(machine.shortcut_path())["target"] == INSTALL_WIN + APP_EXE

    machine.driver("click", "actionButton")
    machine.driver("wait-window", "--class", "LumidexDemoApp", "--timeout", "30000")
    assert inst.wait(30) == 0
    positions = watch.result(60)["positions"]
    # The download (0 to 30), the removal, then the install from the verified archive.
    end_of_removal = positions.index(100)
    before, after = positions[:end_of_removal + 1], positions[end_of_removal + 1:]
    assert before[-4:] == [20, 40, 60, 100], positions
    download = [p for p in before[:-4] if p != 0]
    assert download and download[-1] == 30 and download == sorted(download), positions
    assert after == [10, 30, 60, 70, 85, 100], positions


def fake_installation(machine, build):
    """What a completed installation of the offered release leaves, written directly."""
    folder = machine.install_dir()
    (folder / "data").mkdir(parents=True)
    shutil.copyfile(build.demo_app, folder / APP_EXE)
    shutil.copyfile(build.vcredist_stub, folder / "vcredist_x86.exe")
    (folder / "7za.exe").write_bytes(b"MZ extractor")
    (folder / "data" / "settings.ini").write_text("[ui]\n")
    machine.desktop_dir().mkdir(parents=True, exist_ok=True)
    # A shell link's header: the uninstaller removes only a file that is one.
    machine.shortcut_path().write_bytes(bytes.fromhex("4c0000000114020000000000c000000000000046") + bytes(56))
    machine.reg_add(e2e_env.APP_KEY, "IsInstalled", 3, "REG_DWORD")
    machine.reg_add(e2e_env.APP_KEY, "InstallPath", INSTALL_WIN)
    machine.reg_add(e2e_env.APP_KEY, "CurrentVersion", DEMO_VERSION)
    machine.reg_add(e2e_env.UNINSTALL_KEY, "DisplayVersion", DEMO_VERSION)
    return folder


IN_USE_TEXT = "{} could not be removed because a program is using it. Close that program and uninstall again."


def test_a_file_held_open_stops_the_uninstall_until_it_is_free(machine, build, release_server, release_tree):
    folder = fake_installation(machine, build)
    vendor = add_vendor_folder_contents(machine, release_tree)
    # Not the application's name, so the uninstaller leaves it running.
    holder_win = "C:\\users\\Public\\Holder\\holder.exe"
    holder_host = machine.win_path_to_host("C:\\users\\Public")
    (holder_host / "Holder").mkdir()
    shutil.copyfile(build.demo_app, holder_host / "Holder" / "holder.exe")
    holder = machine.start_program(holder_win, f'--hold "{INSTALL_WIN}vcredist_x86.exe"',
                                   cwd="C:\\users\\Public\\Holder")
    held = machine.driver("wait-window", "--class", "LumidexDemoApp", "--timeout", "30000")
    assert held["pid"] == holder.pid

    inst = start_and_wait_offer(machine, release_server.base_url, UNINSTALL_OFFER_TEXT, "Uninstall")
    machine.driver("click", "actionButton")
    box = machine.messagebox(timeout_ms=60000)
    assert box["text"] == IN_USE_TEXT.format(INSTALL_WIN + "vcredist_x86.exe"), box
    machine.dismiss()
    assert inst.wait(30) == 0
    # Stopped at the held file: Windows still lists the product, and its path is known.
    assert holder.running()
    assert (folder / "vcredist_x86.exe").is_file()
    assert machine.reg_query(e2e_env.UNINSTALL_KEY, "DisplayVersion").data == DEMO_VERSION
    assert machine.reg_query(e2e_env.APP_KEY, "InstallPath").data == INSTALL_WIN
    assert machine.shortcut_path().exists()

    machine.driver("close", "--class", "LumidexDemoApp")
    assert holder.wait(30) == 0
    inst = start_and_wait_offer(machine, release_server.base_url, UNINSTALL_OFFER_TEXT, "Uninstall")
    watch = uninstall_and_check_pages(machine)
    assert not folder.exists()
    assert files_in(vendor) == ["Other Tool"]
    assert not machine.shortcut_path().exists()
    assert not machine.reg_key_exists(e2e_env.APP_KEY)
    assert not machine.reg_key_exists(e2e_env.UNINSTALL_KEY)
    assert reg_values(machine, VENDOR_KEY) == {}

    # The close box ends the final page as Finish does: nothing is started.
    machine.driver("close")
    assert inst.wait(30) == 0
    assert after_first(watch.result(60)["positions"], 20) == [40, 60, 100]
    assert len(machine.demo_app_starts()) == 1  # only the holder's own start


# ---------------------------------------------------------------- unattended runs

# A switch's name inside a value is no switch: this log path must not make the install an uninstall.
LOG_WIN = r"C:\users\Public\Deploy Logs\pre-uninstall\flashdeck.log"


def run_silent(machine, base_url, *extra, allow_window=False, program=None):
    """Starts a -silent run from the Downloads folder (so the first process relaunches the elevated
    copy and waits for it) and returns the first process's exit code. No installer window and no
    message box may appear at any moment of the run. program: a command of the prefix to run
    instead, with the arguments `extra` (and -test)."""
    if program:
        inst = machine.start_program(program, " ".join([*extra, "-test", f'"{base_url}"']))
    else:
        inst = machine.start_installer(["-test", f'"{base_url}"', "-silent", *extra], location="downloads")
    seen = []
    while inst.running():
        if not allow_window:
            seen += installer_windows(machine)
        seen += machine.driver("windows", "#32770")["windows"]
        # Each look starts a Wine process: under an emulated processor, looking without a pause
        # would take most of the processor from the run it watches.
        time.sleep(0.3 * (e2e_env.TIME_SCALE - 1))
    assert seen == [], seen
    return inst.wait(30)


def run_passive(machine, base_url, cancel=False):
    """Starts a -passive run from the Downloads folder; returns the first process's exit code and
    the pages the window showed, in order. No message box may appear. cancel: Cancel is pressed
    as soon as the installing page offers it."""
    inst = machine.start_installer(["-test", f'"{base_url}"', "-passive"], location="downloads")
    pages, boxes = [], []
    while inst.running():
        boxes += machine.driver("windows", "#32770")["windows"]
        ui = machine.driver("list", check=False)
        if isinstance(ui, dict) and ui.get("ok") and ui.get("controls"):
            now = page(ui)
            if not pages or pages[-1] != now:
                pages.append(now)
            if cancel and now["message"] == INSTALLING_TEXT and now["cancel"]:
                machine.driver("click", "cancelButton", check=False)
                cancel = False
        time.sleep(0.3 * (e2e_env.TIME_SCALE - 1))
    assert boxes == [], boxes
    return inst.wait(30), pages


def installer_windows(machine):
    return machine.driver("windows", e2e_env.WINDOW_CLASS)["windows"]


def log_lines(machine, path_win=LOG_WIN):
    return machine.win_path_to_host(path_win).read_text(encoding="utf-8").splitlines()


def snapshot(machine):
    return (files_in(machine.install_dir()), reg_values(machine, e2e_env.APP_KEY),
            reg_values(machine, e2e_env.UNINSTALL_KEY), machine.shortcut_path().read_bytes())


@pytest.mark.smoke
def test_silent_install_and_uninstall_show_nothing_and_report_through_exit_codes_and_the_log(machine, build,
                                                                                          release_server,
                                                                                          demo_app_dir):
    base = release_server.base_url
    # The Desktop links to a folder elsewhere, as in a fresh prefix (Windows: a junction).
    linked_desktop = machine.link_desktop(machine.prefix.parent.parent / f"linked-desktop-{machine.prefix.name}")

    # A clean machine: installed exactly as the interactive install does; the first process's
    # exit code is the elevated copy's. An argument with a line break cannot write a line of its own.
    started = time.time()
    assert run_silent(machine, base, "-log", f'"{LOG_WIN}"', '"x\r\nINJECTED line"') == 0
    assert_installed(machine, build.installer, demo_app_dir, e2e_env.INSTALLER_NAME, started)
    assert [p.name for p in linked_desktop.iterdir()] == ["Lumidex SSD Flashdeck.lnk"]
    log = log_lines(machine)
    stamp = re.compile(r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[(\d+)\] ")
    assert all(stamp.match(line) for line in log), log
    text = "\n".join(log)
    assert '"x\\r\\nINJECTED line"' in text, text
    # The first process writes the file (in the folders' own letter case); the copy's lines reach
    # it through the channel, and the copy is never handed the log's path.
    written = machine.win_path_to_host(LOG_WIN)
    assert [written.parent.parent.name, written.parent.name, written.name] == ["Deploy Logs", "pre-uninstall",
                                                                               "flashdeck.log"]
    starts = [line for line in log if "] start: " in line]
    assert len(starts) == 2 and len({stamp.match(line).group(1) for line in starts}) == 2, starts
    assert LOG_WIN in starts[0] and LOG_WIN not in starts[1] and "-logchannel" in starts[1], starts
    for expected in ["-silent -log", f"offered version: {DEMO_VERSION}",
                     f"GET {base}Flashdeck/config/lista_updater.xml: HTTP 200",
                     f"GET {base}Flashdeck/application/{DEMO_VERSION}/LumidexFlashdeck.zip: HTTP 200",
                     "SHA-256 of LumidexFlashdeck.zip matches the signed version file",
                     "install: progress 10", "install: progress 60", "install: progress 100",
                     "IsInstalled = 3", f'DisplayVersion = "{DEMO_VERSION}"',
                     "vcredist_x86.exe\" /quiet /norestart: exit code 0",
                     "result: installed", "the elevated copy ended with exit code 0"]:
        assert expected in text, (expected, text)

    # The same version again: nothing changes, 1638.
    before = snapshot(machine)
    assert run_silent(machine, base, "-log", f'"{LOG_WIN}"') == 1638
    assert snapshot(machine) == before
    assert "result: the same or a newer version is installed" in "\n".join(log_lines(machine)[len(log):])

    # The Uninstall entry's quiet command (what a deployment tool runs: -uninstall -silent, from
    # the install folder) removes everything with no window; without -log the log is in the
    # temporary folder.
    quiet = machine.reg_query(e2e_env.UNINSTALL_KEY, "QuietUninstallString").data
    match = re.fullmatch(r'"([^"]+)" (-uninstall -silent)', quiet)
    assert match, quiet
    temp_log = machine.temp_dir()[1] + "\\LumidexFlashdeckSetup.log"
    assert run_silent(machine, base, match.group(2), program=match.group(1)) == 0
    assert_product_removed(machine)
    assert list(linked_desktop.iterdir()) == []
    assert "result: uninstalled" in "\n".join(log_lines(machine, temp_log))


def test_passive_runs_show_only_the_work_page_and_end_by_themselves(machine, build, release_server, demo_app_dir):
    base = release_server.base_url
    # -passive: the installing page with its bar and Cancel, no offer page, no box, and no
    # Finish to press. Cancel ends with 1602 and nothing of the installation stays.
    code, pages = run_passive(machine, base, cancel=True)
    print(f"\n-passive with Cancel: exit code {code}, pages {pages}")
    assert code == 1602
    assert_product_removed(machine)
    assert {"message": INSTALLING_TEXT, "action": None, "cancel": True, "progress": True} in [
        {k: p[k] for k in ("message", "action", "cancel", "progress")} for p in pages], pages
    assert INSTALL_OFFER_TEXT not in [p["message"] for p in pages]

    # The runtime installer's calls of a cancelled installation are not this one's.
    machine.win_path_to_host(e2e_env.VCREDIST_LOG).unlink(missing_ok=True)
    started = time.time()
    code, pages = run_passive(machine, base)
    print(f"\n-passive: exit code {code}, pages {pages}")
    assert code == 0
    assert_installed(machine, build.installer, demo_app_dir, e2e_env.INSTALLER_NAME, started)
    # The first text the window shows is the installing page's (the controls start out empty).
    shown = [p for p in pages if p["message"]]
    assert shown and shown[0]["message"] == INSTALLING_TEXT and shown[0]["cancel"] and shown[0]["progress"], pages
    assert INSTALL_OFFER_TEXT not in [p["message"] for p in pages]
    assert machine.demo_app_starts() == []  # nobody pressed Finish


def test_silent_runs_end_with_1618_beside_an_open_run_and_1603_when_a_step_fails(machine, release_server, make_tree,
                                                                              demo_app_dir):
    from test_install import assert_product_removed
    base = release_server.base_url
    # While another run of the same installer is open, a second one ends at once with 1618.
    holder = start_and_wait_offer(machine, base, INSTALL_OFFER_TEXT, "Install")
    assert run_silent(machine, base, allow_window=True) == 1618
    machine.driver("click", "cancelButton")
    assert holder.wait(30) == 0

    # The archive answers 404: 1603, and the log names the URL and the status.
    missing = make_tree("silent-without-archive", [(DEMO_VERSION, demo_app_dir)])
    (missing / "Flashdeck" / "application" / DEMO_VERSION / "LumidexFlashdeck.zip").unlink()
    release_server.serve(missing)
    assert run_silent(machine, base, "-log", f'"{LOG_WIN}"') == 1603
    text = "\n".join(log_lines(machine))
    assert f"GET {base}Flashdeck/application/{DEMO_VERSION}/LumidexFlashdeck.zip: HTTP 404" in text, text
    assert "result: failed" in text
    # Nothing of the failed installation stays: no IsInstalled, no InstallPath, no extractor.
    assert_product_removed(machine)
