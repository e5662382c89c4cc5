"""Start-up of the installer, end to end under Wine: the command line, the single-instance lock,
the language at first and later runs, the version check against a good and a faulty server,
and the relaunch from a temporary copy."""

import pathlib
import time

import pytest

import e2e_env
import make_release

WINDOW_TIMEOUT_MS = 60000
CAPTION = "Lumidex SSD Flashdeck Installer"
VERSION_FILE_PATH = "Flashdeck/config/lista_updater.xml"
OFFERED = "3.0.3.0"          # what the demo release tree and the fault server offer
CASED_OFFER = "3.1.0.7"      # what the tree behind the lower-case path offers
INSTALLED = "2.7.0.0"
UNINSTALL_OFFER_TEXT = ("Welcome to the Lumidex SSD Flashdeck Installer. The Installer will remove the "
                        "Lumidex SSD Flashdeck software from your computer.")
UPGRADE_OFFER_TEXT = (f"Lumidex SSD Flashdeck {INSTALLED} has been detected on this system. The Lumidex SSD "
                      f"Flashdeck installer will uninstall the current version and install version {OFFERED} ")
INSTALL_OFFER_TEXT = ("Thank you for downloading the Lumidex SSD Flashdeck. This software includes tools "
                      "that can help you to get the most out of your Lumidex SSDs.")
# Wine's system text for ERROR_FILE_NOT_FOUND (2).
FILE_NOT_FOUND_TEXT = "File not found."


def quoted(url):
    return f'"{url}"'


def record_installation(machine, version=INSTALLED):
    machine.reg_add(e2e_env.APP_KEY, "IsInstalled", 3, "REG_DWORD")
    machine.reg_add(e2e_env.UNINSTALL_KEY, "DisplayVersion", version)


def temp_entries(machine):
    return {entry.name for entry in machine.temp_dir()[0].iterdir()}


def installer_windows(machine):
    return machine.driver("windows", e2e_env.WINDOW_CLASS)["windows"]


def message_boxes(machine):
    return machine.driver("windows", "#32770")["windows"]


def wait_window(machine, pid=None):
    """The installer window (of `pid` when given) once it shows; returns its `list` result."""
    extra = ["--pid", pid] if pid is not None else []
    machine.driver("wait-window", "--timeout", WINDOW_TIMEOUT_MS, *extra)
    return machine.driver("list", *extra)


def texts(machine, ui):
    return {name: machine.control(ui, name)["text"] for name in e2e_env.CONTROL_INDEX}


def cancel(machine, inst=None, pid=None):
    """Presses Cancel on an offer page; the installer must end with exit code 0."""
    pid = pid if pid is not None else inst.pid
    machine.driver("click", "cancelButton", "--pid", pid)
    if inst is not None:
        assert inst.wait(30) == 0
    machine.driver("wait-gone", "--pid", pid, "--timeout", 30000)


def host_arguments(machine, exe_win):
    """The arguments of every process of this machine's prefix that runs `exe_win`, as Wine shows
    them to the host (its Windows command line split at blanks, quotes removed)."""
    found = []
    prefix_entry = f"WINEPREFIX={machine.prefix}".encode()
    for entry in pathlib.Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            environment = (entry / "environ").read_bytes().split(b"\0")
            argv = [a.decode("utf-8", "replace") for a in (entry / "cmdline").read_bytes().split(b"\0") if a]
        except OSError:
            continue
        if prefix_entry in environment and argv and argv[0].lower() == exe_win.lower():
            found.append(argv[1:])
    return found


def version_file_requests(release_server, since=0):
    return [r for r in release_server.requests()[since:] if r["path"].endswith("/lista_updater.xml")]


@pytest.fixture(scope="module")
def cased_tree(make_tree, demo_app_dir, e2e_run):
    """A tree whose release lies below the lower-case path "startup/case/" (nginx matches paths
    case-sensitively, so only the lower-cased URL finds it) and offers CASED_OFFER."""
    release = make_tree("startup-offer", [(CASED_OFFER, demo_app_dir)])
    outer = e2e_run.path / "trees" / "startup-cased"
    (outer / "startup" / "case").mkdir(parents=True, exist_ok=True)
    link = outer / "startup" / "case" / "Flashdeck"
    if not link.exists():
        link.symlink_to(release / "Flashdeck", target_is_directory=True)
    return outer


# ---------------------------------------------------------------- command line


def test_upper_case_test_url_without_slash_is_lower_cased_and_completed(machine, release_server, cased_tree):
    release_server.serve(cased_tree)
    since = len(release_server.requests())
    # The harness places the installer itself into the temporary folder.
    before = temp_entries(machine) | {e2e_env.INSTALLER_NAME}
    url = release_server.base_url.upper() + "STARTUP/CASE"
    inst = machine.start_installer(["-TEST", quoted(url)])

    ui = wait_window(machine)
    assert ui["pid"] == inst.pid
    assert ui["caption"] == CAPTION
    assert machine.control(ui, "versionLabel")["text"] == f"Flashdeck Version: {CASED_OFFER}"
    served = [(r["path"], r["status"]) for r in version_file_requests(release_server, since)]
    assert served == [("/startup/case/Flashdeck/config/lista_updater.xml", 200)]
    # Started from inside the temporary folder: it is its own copy and makes none.
    assert temp_entries(machine) == before
    cancel(machine, inst)


def test_uninstall_switch_in_mixed_case_selects_the_uninstall_offer(machine, release_server):
    record_installation(machine)
    server = quoted(release_server.base_url)

    # Without the switch the older installed version is offered for replacement ...
    inst = machine.start_installer(["-test", server])
    ui = machine.wait_ui(lambda u: texts(machine, u)["messageText"] != "", timeout=WINDOW_TIMEOUT_MS / 1000)
    shown = texts(machine, ui)
    assert shown["messageText"] == UPGRADE_OFFER_TEXT
    assert shown["versionLabel"] == f"Flashdeck Version: {OFFERED}"
    cancel(machine, inst)

    # ... with it, in any letter case, the same machine gets the uninstall offer.
    since = len(release_server.requests())
    inst = machine.start_installer(["-UnInstall", "-test", server])
    ui = machine.wait_ui(lambda u: texts(machine, u)["messageText"] != "", timeout=WINDOW_TIMEOUT_MS / 1000)
    assert ui["pid"] == inst.pid
    shown = texts(machine, ui)
    assert shown["messageText"] == UNINSTALL_OFFER_TEXT
    assert shown["actionButton"] == "Uninstall"
    assert shown["versionLabel"] == f"Flashdeck Version: {INSTALLED}"
    # The offered version is asked for in uninstall mode too.
    assert len(version_file_requests(release_server, since)) == 1
    cancel(machine, inst)


# ---------------------------------------------------------------- single instance


def test_second_start_of_the_same_file_name_ends_silently(machine, release_server):
    args = ["-test", quoted(release_server.base_url)]
    first = machine.start_installer(args)
    assert wait_window(machine)["pid"] == first.pid
    since = len(release_server.requests())

    # Same file name, in a subfolder of the temporary folder (so it is a copy itself and its
    # exit code is its own).
    second = machine.start_installer(args, location=machine.temp_dir()[1] + r"\second")
    assert second.wait(60) == 0
    assert [w["pid"] for w in installer_windows(machine)] == [first.pid]
    assert message_boxes(machine) == []
    # It ended before asking the server.
    assert version_file_requests(release_server, since) == []

    # A copy under another file name is not locked out.
    other = machine.start_installer(args, name="FlashdeckSetupCopy.exe")
    ui = wait_window(machine, pid=other.pid)
    assert ui["caption"] == CAPTION
    assert sorted(w["pid"] for w in installer_windows(machine)) == sorted([first.pid, other.pid])
    cancel(machine, other)
    cancel(machine, first)


# ---------------------------------------------------------------- language


@pytest.mark.parametrize("stored, expected_value, expected", [
    (None, e2e_env.RegValue("REG_SZ", "en-US"),
     {"actionButton": "Install", "cancelButton": "Cancel", "languageLabel": "Select Language:",
      "messageText": INSTALL_OFFER_TEXT, "language": "English"}),
    # Stored as an expandable string: a write at start-up would turn it into REG_SZ.
    (e2e_env.RegValue("REG_EXPAND_SZ", "de-DE"), e2e_env.RegValue("REG_EXPAND_SZ", "de-DE"),
     {"actionButton": "Installieren", "cancelButton": "Abbrechen", "languageLabel": "Sprache auswählen:",
      "language": "Deutsch"}),
], ids=["first-run", "german-stored"])
def test_language_at_start_up(machine, release_server, stored, expected_value, expected):
    if stored is not None:
        machine.reg_add(e2e_env.APP_KEY, "CurrentCulture", stored.data, stored.type)
    inst = machine.start_installer(["-test", quoted(release_server.base_url)])
    ui = machine.wait_ui(lambda u: texts(machine, u)["messageText"] != "", timeout=WINDOW_TIMEOUT_MS / 1000)

    assert machine.reg_query(e2e_env.APP_KEY, "CurrentCulture") == expected_value
    shown = texts(machine, ui)
    for name, text in expected.items():
        if name != "language":
            assert shown[name] == text, name
    languages = machine.control(ui, "languageList")
    assert len(languages["items"]) == 17
    assert languages["selected"] >= 0
    assert languages["items"][languages["selected"]] == expected["language"]
    cancel(machine, inst)


# ---------------------------------------------------------------- version check


@pytest.fixture(scope="module")
def fault_files(fault_server, build):
    """Version files the fault server serves as they are, below their own first path segment,
    each signed with the build's key (and naming an archive hash and size, which a signed file must)."""
    digest = "<sha256>" + "0" * 64 + "</sha256><size>1</size>"
    files = {
        # Long enough that the first half (all a dropped connection delivers) holds a whole version.
        "bigfile": f'<?xml version="1.0"?>\n<updater><version>{OFFERED}</version>\n<!--'
                   + "x" * 20000 + "-->\n</updater>\n",
        "noclose": f'<?xml version="1.0"?>\n<updater>{digest}<version>{CASED_OFFER}\n</updater>\n',
        "noopen": f'<?xml version="1.0"?>\n<updater>{digest}<release>{CASED_OFFER}</release></version></updater>\n',
    }
    for name, body in files.items():
        path = fault_server.root / name / VERSION_FILE_PATH
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(body.encode("ascii"))
        make_release.sign(path, build.signing_key)
    return files


@pytest.mark.parametrize("segments, uninstall, text_check", [
    (("404",), False, "file-not-found"),
    (("500",), False, None),
    (("drop", "bigfile"), False, None),
    (("404",), True, "file-not-found"),
], ids=["missing-file", "server-error", "dropped-connection", "missing-file-uninstall"])
def test_failed_version_check_shows_a_box_and_ends(machine, fault_server, fault_files, segments, uninstall,
                                                    text_check):
    args = ["-test", quoted(fault_server.url(*segments))]
    if uninstall:
        record_installation(machine)
        args.append("-uninstall")
    since = len(fault_server.requests())
    inst = machine.start_installer(args)

    box = machine.messagebox(timeout_ms=WINDOW_TIMEOUT_MS)
    assert box["pid"] == inst.pid
    assert box["title"] == "Error"
    assert box["text"].endswith("): lista_updater.xml"), box["text"]
    if text_check == "file-not-found":
        assert box["text"].startswith(FILE_NOT_FOUND_TEXT), box["text"]
        assert "(0x2): lista_updater.xml" in box["text"]
    assert installer_windows(machine) == []
    assert fault_server.requests()[since:] == ["/" + "/".join(segments) + "/" + VERSION_FILE_PATH]

    machine.dismiss()
    assert inst.wait(30) == 0
    assert installer_windows(machine) == []


@pytest.mark.parametrize("server, code", [
    ("stalled", "0x2ee2"),   # accepts the connection, never answers: the network timeout ends it
    ("refused", "0x2efd"),   # nothing listens on the port
])
def test_a_stalled_or_refused_server_ends_in_a_box_that_names_the_cause(machine, fault_server, server, code):
    url = fault_server.url("silent") if server == "stalled" else f"https://127.0.0.1:{e2e_env.free_port()}/"
    started = time.monotonic()
    inst = machine.start_installer(["-test", quoted(url)], extra_env={"FLASHDECK_TEST_NETWORK_TIMEOUT_MS": "4000"})
    box = machine.messagebox(timeout_ms=WINDOW_TIMEOUT_MS)
    waited = time.monotonic() - started
    print(f"\n{server}: box after {waited:.1f}s: {box['text']}")
    assert box["title"] == "Error"
    # WinINet's own words for the code, and no file name: the server never sent one.
    assert box["text"].endswith(f"({code}): "), box["text"]
    assert not box["text"].startswith("unknown error"), box["text"]
    assert len(box["text"]) > len(f"({code}): ") + 10, box["text"]
    # Connecting and the first answer have 4 s each under the shortened timeouts.
    assert waited < 30, waited
    machine.dismiss()
    assert inst.wait(30) == 0


def test_a_test_url_that_is_not_https_is_ignored(machine, release_server):
    # The value is handed through the elevation: only an https:// server is taken, anything else
    # leaves the built-in server (unreachable here, so the version check fails with a box).
    inst = machine.start_installer(["-test", quoted(release_server.http_base_url)])
    box = machine.messagebox(timeout_ms=WINDOW_TIMEOUT_MS)
    assert box["title"] == "Error"
    assert not box["text"].endswith("lista_updater.xml"), box["text"]
    machine.dismiss()
    assert inst.wait(30) == 0
    assert [r for r in release_server.requests() if r["port"] == release_server.http_port] == []


@pytest.mark.parametrize("segment, version_text", [
    ("noclose", f"{CASED_OFFER}\n</updater>\n"),   # everything after the open tag
    ("noopen", ""),
], ids=["no-closing-tag", "no-opening-tag"])
def test_version_file_without_tags_still_opens_the_window(machine, fault_server, fault_files, segment,
                                                         version_text):
    inst = machine.start_installer(["-test", quoted(fault_server.url(segment))])
    ui = machine.wait_ui(lambda u: texts(machine, u)["messageText"] != "", timeout=WINDOW_TIMEOUT_MS / 1000)
    assert ui["pid"] == inst.pid
    shown = texts(machine, ui)
    assert shown["versionLabel"] == f"Flashdeck Version: {version_text}"
    assert shown["messageText"] == INSTALL_OFFER_TEXT
    assert message_boxes(machine) == []
    cancel(machine, inst)


SIGNATURE_TEXT = "The update information from the server could not be verified and was not used. Please try again later."


@pytest.mark.parametrize("tampering", ["changed-byte", "missing-signature", "other-key"])
def test_a_version_file_the_release_key_did_not_sign_is_refused(machine, release_server, make_tree, demo_app_dir,
                                                                e2e_run, tampering):
    tree = make_tree(f"tampered-{tampering}", [(OFFERED, demo_app_dir)])
    version_file = tree / VERSION_FILE_PATH
    if tampering == "changed-byte":
        data = bytearray(version_file.read_bytes())
        data[data.index(b"<version>") + len(b"<version>")] = ord("9")
        version_file.write_bytes(bytes(data))
    elif tampering == "missing-signature":
        pathlib.Path(f"{version_file}.sig").unlink()
    else:
        other_key = e2e_run.path / "other-signing-key.pem"
        if not other_key.exists():
            e2e_env.run(["openssl", "ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", other_key], timeout=30)
        make_release.sign(version_file, other_key)
    release_server.serve(tree)

    inst = machine.start_installer(["-test", quoted(release_server.base_url)])
    box = machine.messagebox(timeout_ms=WINDOW_TIMEOUT_MS)
    assert (box["title"], box["text"]) == ("Error", SIGNATURE_TEXT)
    assert installer_windows(machine) == []
    machine.dismiss()
    assert inst.wait(30) == 0
    assert not machine.install_dir().exists()


def test_a_changed_version_file_is_read_anew_at_the_next_start(machine, release_server, make_tree, demo_app_dir):
    # WinINet is told neither to answer from its cache nor to keep what it fetched.
    since = len(release_server.requests())
    for name, version in (("first-offer", OFFERED), ("second-offer", "3.0.9.0")):
        release_server.serve(make_tree(name, [(version, demo_app_dir)]))
        inst = machine.start_installer(["-test", quoted(release_server.base_url)])
        ui = machine.wait_ui(lambda u: texts(machine, u)["messageText"] != "", timeout=WINDOW_TIMEOUT_MS / 1000)
        assert texts(machine, ui)["versionLabel"] == f"Flashdeck Version: {version}"
        cancel(machine, inst)
    assert [r["status"] for r in version_file_requests(release_server, since)] == [200, 200]


# ---------------------------------------------------------------- relaunch


@pytest.mark.smoke
def test_start_outside_temp_relaunches_a_temporary_copy(machine, build, release_server, cased_tree):
    release_server.serve(cased_tree)
    record_installation(machine)
    since = len(release_server.requests())
    before = temp_entries(machine)
    url = release_server.base_url.upper() + "STARTUP/CASE/"
    started = time.monotonic()
    starter = machine.start_installer(["-TEST", quoted(url), "-UNINSTALL"], location="downloads")

    assert starter.wait(30) == 0
    print(f"\nthe starting process ended after {time.monotonic() - started:.1f}s")
    ui = machine.wait_ui(lambda u: texts(machine, u)["messageText"] != "", timeout=WINDOW_TIMEOUT_MS / 1000,
                         program=e2e_env.INSTALLER_NAME)

    new = temp_entries(machine) - before
    assert len(new) == 1, new
    folder_host = machine.temp_dir()[0] / new.pop()
    assert folder_host.is_dir()
    assert [p.name for p in folder_host.iterdir()] == [e2e_env.INSTALLER_NAME]
    copy_host = folder_host / e2e_env.INSTALLER_NAME
    assert copy_host.read_bytes() == build.installer.read_bytes()

    # The window belongs to the copy, not to the process that was started.
    assert ui["pid"] != starter.pid
    owner = [p for p in machine.processes() if p["pid"] == ui["pid"]]
    assert len(owner) == 1
    copy_win = machine.host_path_to_win(copy_host)
    assert owner[0]["path"].lower() == copy_win.lower()
    assert host_arguments(machine, copy_win) == [["-test", url.lower(), "-uninstall"]]
    # The copy holds its own file from the start: no process of the user can swap it for another
    # (it becomes the program the Uninstall entry runs as administrator).
    moved = machine.wine("cmd", "/c", "move", copy_win, copy_win + ".old", check=False)
    assert copy_host.is_file() and not folder_host.joinpath(e2e_env.INSTALLER_NAME + ".old").exists(), moved.stdout

    # The copy got the switches and the URL lower-cased: uninstall mode, the lower-case path served.
    shown = texts(machine, ui)
    assert shown["messageText"] == UNINSTALL_OFFER_TEXT
    assert shown["versionLabel"] == f"Flashdeck Version: {INSTALLED}"
    served = [(r["path"], r["status"]) for r in version_file_requests(release_server, since)]
    assert served == [("/startup/case/Flashdeck/config/lista_updater.xml", 200)]
    cancel(machine, pid=ui["pid"])
