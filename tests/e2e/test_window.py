"""End-to-end checks of the installer window: the first page for each recorded installation,
the close box and Cancel on those pages, the release-notes link, and the screenshot helpers and
pixel checks with which the full installation checks how the real window is drawn.

Every page in every language is drawn by the Windows fit check instead (tests/windows/text_fit_test.cpp),
whose tiles make the contact sheets in <build>/gallery/<page>.png."""

import os
import pathlib
import shutil
import subprocess
import time

import pytest

import e2e_env

REPO = pathlib.Path(__file__).resolve().parents[2]
TEXTS_DIR = REPO / "resources" / "texts"

TITLE = "Lumidex SSD Flashdeck Installer"
BRAND = "Lumidex"
OFFERED = "3.0.3.0"
INSTALLER_VERSION = "3.0.3.0"
SCREEN = (1024, 768)
OUTER = (490, 357)
NOTES_NAME = "LumidexSSDFlashdeckReleaseNotes.pdf"
NOTES_PATH = "/Flashdeck/" + NOTES_NAME

# The release-notes link is an owner-drawn button: it takes the keyboard focus.
CONTROL_CLASSES = ["button", "button", "combobox", "msctls_progress32", "button", "static", "static", "static",
                   "static"]
# Client rectangles (x, y, width, height); the combobox's height is the system's, so only its top row counts.
CONTROL_RECTS = {
    "actionButton": (354, 262, 105, 29),
    "cancelButton": (245, 262, 105, 29),
    "languageList": (15, 167, 244, None),
    "progressBar": (15, 167, 445, 25),
    "releaseNotesLink": (245, 220, 215, 20),
    "messageText": (15, 40, 444, 90),
    "languageLabel": (15, 145, 250, 20),
    "versionLabel": (15, 220, 230, 20),
    "installerVersionLabel": (10, 300, 200, 20),
}

EN_INSTALL_TEXT = ("Thank you for downloading the Lumidex SSD Flashdeck. This software includes tools that can "
                   "help you to get the most out of your Lumidex SSDs.")
EN_UNINSTALL_TEXT = ("Welcome to the Lumidex SSD Flashdeck Installer. The Installer will remove the Lumidex SSD "
                     "Flashdeck software from your computer.")


# ---------------------------------------------------------------- texts of the resource sources

def load_texts():
    """culture code -> (display name, {key: text}) as the text sources hold them."""
    table = {}
    for path in TEXTS_DIR.glob("*.txt"):
        lines = [line for line in path.read_text(encoding="utf-8").splitlines() if line]
        culture, name = lines[0][len("Code="):].split(",", 1)
        table[culture] = (name, dict(line.split(":::", 1) for line in lines[1:]))
    return table


TEXTS = load_texts()


def lookup(culture, key, *args):
    """The text the window should show for `key`; with arguments, "\\n" is a line break."""
    text = TEXTS[culture][1].get(key, "") if culture in TEXTS else ""
    if args:
        text = text.replace("\\n", "\n")
        for number, arg in enumerate(args, start=1):
            text = text.replace(f"%{number}", arg)
    return text


def display_name(culture):
    return TEXTS[culture][0]


# ---------------------------------------------------------------- pages

def english_offer(action, message, cancel=True, version_label=f"Flashdeck Version: {OFFERED}"):
    """What an offer page (or the newer-version notice) shows in English, control by control:
    (text, visible); a text of None is not checked."""
    return {
        "actionButton": (action, True),
        "cancelButton": ("Cancel", cancel),
        "languageList": ("English", True),
        "progressBar": ("", False),
        "releaseNotesLink": ("View Release Notes", True),
        "messageText": (message, True),
        "languageLabel": ("Select Language:", True),
        "versionLabel": (version_label, True),
        "installerVersionLabel": (f"Install Version: {INSTALLER_VERSION}", True),
    }


def page_in(culture, kind, installed=None, uninstall_mode=False):
    """What page `kind` shows in `culture`, taken from the text sources."""
    def t(key, *args):
        return lookup(culture, key, *args)

    shown_version = installed if uninstall_mode else OFFERED
    installed = installed or ""
    common = {
        "versionLabel": (t("version_label", shown_version), True),
        "installerVersionLabel": (t("installer_version_label", INSTALLER_VERSION), True),
    }
    offer = {
        "cancelButton": (t("IDS_CANCEL"), True),
        "languageList": (display_name(culture) if culture in TEXTS else "", True),
        "languageLabel": (t("options_select_language"), True),
        "progressBar": ("", False),
        "releaseNotesLink": (t("IDS_VIEW_RELEASE_NOTES"), True),
    }
    working = {"actionButton": (None, False), "languageList": (None, False), "languageLabel": (None, False),
               "progressBar": ("", True)}
    final = {"actionButton": (t("IDS_FINISH"), True), "languageList": (None, False),
             "languageLabel": (None, False), "progressBar": ("", False)}
    pages = {
        "install-offer": {**offer, "actionButton": (t("IDS_INSTALL"), True),
                          "messageText": (t("IDS_TITLE_INSTALLATION", BRAND), True)},
        "uninstall-offer": {**offer, "actionButton": (t("IDS_UNINSTALL"), True),
                            "messageText": (t("IDS_TITLE_UNINSTALL", BRAND), True)},
        "upgrade-offer": {**offer, "actionButton": (t("IDS_INSTALL"), True),
                          "messageText": (t("IDS_OLD_VERSION_INSTALLED", installed, OFFERED, BRAND), True)},
        "newer-notice": {**offer, "actionButton": (t("IDS_OK"), True), "cancelButton": (t("IDS_CANCEL"), False),
                         "messageText": (t("IDS_NEWER_VERSION_INSTALLED", BRAND, installed, OFFERED), True)},
        "installing": {**working, "cancelButton": (t("IDS_CANCEL"), True),
                       "releaseNotesLink": (t("IDS_VIEW_RELEASE_NOTES"), True),
                       "messageText": (t("IDS_INSTALLING_TEXT", BRAND), True)},
        "installed": {**final, "cancelButton": (t("IDS_CANCEL"), True),
                      "releaseNotesLink": (t("IDS_VIEW_RELEASE_NOTES"), True),
                      "messageText": (t("IDS_INSTALL_END_TEXT1", BRAND) + f" {OFFERED} " + t("IDS_INSTALL_END_TEXT2")
                                      + "\n\n" + t("IDS_LAUNCH_TOOLKIT"), True)},
        "uninstalling": {**working, "cancelButton": (None, False), "releaseNotesLink": (None, False),
                         "messageText": (t("IDS_UNINSTALLING_TEXT", BRAND), True)},
        "uninstalled": {**final, "cancelButton": (None, False), "releaseNotesLink": (None, False),
                        "messageText": (t("IDS_UNINSTALL_END_TEXT", BRAND), True)},
    }
    return {**pages[kind], **common}


def control_state(ui, name, want):
    control = ui["controls"][e2e_env.CONTROL_INDEX[name]]
    return (control["text"] if want[0] is not None else None, control["visible"])


def wait_page(machine, expected, timeout=30):
    """Waits until every control shows what `expected` says; on timeout
    fails with the difference between what was expected and what the window last showed."""
    seen = {}

    def matches(ui):
        seen["ui"] = ui
        return (len(ui["controls"]) == len(CONTROL_CLASSES)
                and all(control_state(ui, name, want) == want for name, want in expected.items()))

    try:
        return machine.wait_ui(matches, timeout=timeout, what="the expected page")
    except e2e_env.HarnessError:
        ui = seen.get("ui")
        assert ui is not None, "the installer window never answered"
        assert {name: control_state(ui, name, want) for name, want in expected.items()} == expected
        raise


def check_frame(ui, pid=None):
    """Caption, style, outer size and centring, and the nine controls in creation order."""
    assert ui["caption"] == TITLE
    if pid is not None:
        assert ui["pid"] == pid
    # Fixed frame with caption, system menu and minimize box; no maximize box, no sizing border.
    assert ui["style"] & 0x00CF0000 == 0x00CA0000, hex(ui["style"])
    rect = ui["rect"]
    size = (rect["right"] - rect["left"], rect["bottom"] - rect["top"])
    assert size == OUTER
    assert (rect["left"], rect["top"]) == ((SCREEN[0] - OUTER[0]) // 2, (SCREEN[1] - OUTER[1]) // 2)
    assert [c["class"].lower() for c in ui["controls"]] == CONTROL_CLASSES
    for name, (x, y, width, height) in CONTROL_RECTS.items():
        r = ui["controls"][e2e_env.CONTROL_INDEX[name]]["rect"]
        got = (r["left"], r["top"], r["right"] - r["left"], r["bottom"] - r["top"] if height else None)
        assert got == (x, y, width, height), name


# ---------------------------------------------------------------- starting and ending

def record_installation(machine, version):
    machine.reg_add(e2e_env.APP_KEY, "IsInstalled", 3, "REG_DWORD")
    machine.reg_add(e2e_env.UNINSTALL_KEY, "DisplayVersion", version)


def start(machine, server, *args):
    """Starts the installer from the temporary folder (so its own exit code is seen) and waits for its window."""
    inst = machine.start_installer(["-test", f'"{server.base_url}"', *args])
    machine.driver("wait-window", "--timeout", "60000")
    return inst


def assert_close_ignored(machine, inst):
    machine.driver("close")
    with pytest.raises(e2e_env.DriverError, match="still exists"):
        machine.driver("wait-gone", "--timeout", "2500")
    assert inst.running()


def assert_ends_on_click(machine, inst, control):
    machine.driver("click", control)
    assert inst.wait(30) == 0
    machine.driver("wait-gone", "--timeout", "10000")


def notes_requests(server):
    return [r for r in server.requests() if r["path"] == NOTES_PATH]


# ---------------------------------------------------------------- screenshots and pixels

def save_screenshot(machine, e2e_run, build, page, lang, settle=0.8):
    # Text changes are painted asynchronously; give the window a moment to draw them.
    time.sleep(settle)
    shot = machine.screenshot(e2e_run.path / "screenshots" / f"{page}-{lang}.png")
    # The emulator guest sees the build tree read-only; it names a folder it can write.
    copies = pathlib.Path(os.environ.get("FLASHDECK_E2E_SCREENSHOTS_DIR") or build.build_dir / "screenshots")
    copies.mkdir(parents=True, exist_ok=True)
    shutil.copy2(shot, copies / shot.name)
    return shot


class Pixels:
    """The screenshot's pixels, addressed in the installer window's client coordinates."""

    def __init__(self, path, ui):
        ppm = subprocess.run(["convert", str(path), "-depth", "8", "ppm:-"], capture_output=True, check=True,
                             timeout=60).stdout
        header = ppm.split(b"\n", 3)
        assert header[0] == b"P6"
        self.width, self.height = map(int, header[1].split())
        self.data = header[3]
        client = ui["client_rect"]
        outer = ui["rect"]
        border = (outer["right"] - outer["left"] - client["right"]) // 2
        self.origin = (outer["left"] + border, outer["bottom"] - border - client["bottom"])
        self.client_size = (client["right"], client["bottom"])

    def at(self, x, y):
        sx, sy = self.origin[0] + x, self.origin[1] + y
        offset = 3 * (sy * self.width + sx)
        return tuple(self.data[offset:offset + 3])

    def area(self, x0, y0, x1, y1):
        """Pixels of the client rectangle [x0, x1) x [y0, y1)."""
        return [self.at(x, y) for y in range(y0, y1) for x in range(x0, x1)]


WHITE = (255, 255, 255)


def is_dark_grey(p):
    return max(p) < 110 and max(p) - min(p) < 30


def is_link_blue(p):
    r, g, b = p
    return b >= 140 and b - r >= 90 and r <= 90


def check_drawing(pixels):
    """The separator, the scaled logo, white static backgrounds, the blue link and black texts."""
    assert pixels.client_size[0] >= 476
    separator = pixels.area(0, 240, 475, 241)
    assert all(p == (0, 0, 0) for p in separator), "the separator line at y 240 is not solid black"
    assert sum(p == (0, 0, 0) for p in pixels.area(0, 242, 475, 243)) < 10, "the separator is thicker than 1 px"

    logo = pixels.area(15, 260, 145, 294)
    assert sum(p != WHITE for p in logo) > 500, "no logo in its rectangle"
    # Drawn at its stored size (195 x 52) the logo would reach x 210 and y 312.
    assert all(p == WHITE for p in pixels.area(147, 258, 240, 300)), "the logo is wider than 130 px"
    assert all(p == WHITE for p in pixels.area(15, 296, 145, 300)), "the logo is taller than 34 px"

    # Statics paint on white, not on the dialog grey; lower rows of the message area hold no text.
    assert all(p == WHITE for p in pixels.area(15, 118, 459, 130)), "message background not white"
    # The link's right-aligned text never reaches below its one line.
    assert all(p == WHITE for p in pixels.area(245, 237, 460, 240)), "link background not white"
    link = pixels.area(245, 220, 460, 240)
    assert sum(is_link_blue(p) for p in link) > 15, "the release-notes link is not blue"
    message = pixels.area(15, 40, 459, 130)
    assert sum(is_dark_grey(p) for p in message) > 50, "the message text is not drawn in black"
    assert sum(is_link_blue(p) for p in message) == 0
    version = pixels.area(15, 220, 245, 240)
    assert sum(is_dark_grey(p) for p in version) > 20 and sum(is_link_blue(p) for p in version) == 0


# ---------------------------------------------------------------- keyboard and screen readers

def focused(result):
    """The name of the control that has the focus after a `keys` or `focus` result."""
    names = {index: name for name, index in e2e_env.CONTROL_INDEX.items()}
    return names.get(result.get("index"), result.get("focus"))


def accessible_names(machine):
    """control name -> what a screen reader reads for it, for the controls shown."""
    names = {index: name for name, index in e2e_env.CONTROL_INDEX.items()}
    return {names[c["index"]]: c.get("name") for c in machine.driver("names")["controls"] if c["visible"]}


def check_keyboard_and_names(machine, inst):
    """Real key presses on the install offer: the focus starts on Install, Tab and Shift+Tab go
    round the list, the link and the buttons, an arrow changes the language, and the names a
    screen reader reads follow the language."""
    assert focused(machine.driver("focus")) == "actionButton"
    steps = machine.driver("keys", "tab", "tab", "tab", "tab", "shift+tab", "shift+tab")
    assert [focused(step) for step in steps] == ["languageList", "releaseNotesLink", "cancelButton", "actionButton",
                                                 "cancelButton", "releaseNotesLink"]
    assert accessible_names(machine) == {
        "actionButton": "Install", "cancelButton": "Cancel", "languageList": "Select Language:",
        "releaseNotesLink": "View Release Notes", "messageText": EN_INSTALL_TEXT,
        "languageLabel": "Select Language:", "versionLabel": f"Flashdeck Version: {OFFERED}",
        "installerVersionLabel": f"Install Version: {INSTALLER_VERSION}"}
    # Down in the focused list picks the next language in list order, as a click would.
    following = sorted(TEXTS, key=lambda code: code.encode("utf-16-be"))
    culture = following[following.index("en-US") + 1]
    assert focused(machine.driver("keys", "shift+tab", "down")[-1]) == "languageList"
    wait_page(machine, page_in(culture, "install-offer"))
    names = accessible_names(machine)
    assert names["languageList"] == lookup(culture, "options_select_language")
    assert names["actionButton"] == lookup(culture, "IDS_INSTALL")
    assert names["releaseNotesLink"] == lookup(culture, "IDS_VIEW_RELEASE_NOTES")
    assert machine.reg_query(e2e_env.APP_KEY, "CurrentCulture") == e2e_env.RegValue("REG_SZ", culture)
    assert inst.running()


# ---------------------------------------------------------------- scenarios: first pages

@pytest.mark.parametrize("args, version_label", [
    ([], f"Flashdeck Version: {OFFERED}"),
    # With -uninstall and nothing recorded the install offer names the offered version too.
    (["-uninstall"], f"Flashdeck Version: {OFFERED}"),
], ids=["plain", "uninstall-switch"])
def test_nothing_recorded_offers_install(machine, release_server, args, version_label):
    inst = start(machine, release_server, *args)
    ui = wait_page(machine, english_offer("Install", EN_INSTALL_TEXT, version_label=version_label))
    check_frame(ui, inst.pid)
    combo = machine.control(ui, "languageList")
    assert combo["items"][combo["selected"]] == "English"
    # The first start records English as the chosen language.
    assert machine.reg_query(e2e_env.APP_KEY, "CurrentCulture") == e2e_env.RegValue("REG_SZ", "en-US")

    assert_close_ignored(machine, inst)
    wait_page(machine, english_offer("Install", EN_INSTALL_TEXT, version_label=version_label), timeout=5)
    check_keyboard_and_names(machine, inst)
    # A language pick rebuilds the label, still with the offered version.
    machine.driver("pick-language", display_name("ja-JP"))
    ui = wait_page(machine, page_in("ja-JP", "install-offer"))
    assert machine.control(ui, "versionLabel")["text"] == lookup("ja-JP", "version_label", OFFERED)
    # Escape does what Cancel does on the offer: the installer ends.
    assert machine.driver("keys", "escape")["key"] == "escape"
    assert inst.wait(30) == 0
    machine.driver("wait-gone", "--timeout", "10000")
    assert machine.reg_query(e2e_env.APP_KEY, "IsInstalled") is None
    assert not machine.install_dir().exists()
    assert machine.demo_app_starts() == []


@pytest.mark.parametrize("installed, args", [
    (OFFERED, []),
    ("2.7.0.0", ["-uninstall"]),
    # -uninstall wins over the newer-version notice; the switch is matched case-insensitively.
    ("9.0.0.0", ["-UnInstall"]),
], ids=["same-version", "older-with-switch", "newer-with-switch"])
def test_recorded_installation_offers_uninstall(machine, release_server, installed, args):
    record_installation(machine, installed)
    inst = start(machine, release_server, *args)
    label_version = installed if args else OFFERED
    ui = wait_page(machine, english_offer("Uninstall", EN_UNINSTALL_TEXT,
                                          version_label=f"Flashdeck Version: {label_version}"))
    check_frame(ui, inst.pid)

    assert_close_ignored(machine, inst)
    assert_ends_on_click(machine, inst, "cancelButton")
    # Leaving the offer touches nothing that was recorded.
    assert machine.reg_query(e2e_env.APP_KEY, "IsInstalled") == e2e_env.RegValue("REG_DWORD", 3)
    assert machine.reg_query(e2e_env.UNINSTALL_KEY, "DisplayVersion").data == installed


def test_newer_installed_version_shows_notice_and_ok_ends(machine, release_server):
    record_installation(machine, "9.0.0.0")
    inst = start(machine, release_server)
    notice = english_offer("OK", "Lumidex SSD Flashdeck version 9.0.0.0 is already installed. You must uninstall "
                                 "it before you can install version 3.0.3.0.", cancel=False)
    ui = wait_page(machine, notice)
    check_frame(ui, inst.pid)
    with pytest.raises(e2e_env.DriverError, match="hidden"):
        machine.driver("click", "cancelButton")

    assert_close_ignored(machine, inst)
    wait_page(machine, notice, timeout=5)
    assert_ends_on_click(machine, inst, "actionButton")
    # OK starts nothing and creates nothing.
    assert machine.demo_app_starts() == []
    assert not machine.runs("LumidexSSDFlashdeck.exe")
    assert not machine.install_dir().exists()
    assert machine.reg_query(e2e_env.UNINSTALL_KEY, "DisplayVersion").data == "9.0.0.0"


def test_older_installed_version_offers_upgrade(machine, release_server):
    record_installation(machine, "2.7.0.0")
    inst = start(machine, release_server)
    upgrade_text = ("Lumidex SSD Flashdeck 2.7.0.0 has been detected on this system. The Lumidex SSD Flashdeck "
                    "installer will uninstall the current version and install version 3.0.3.0 ")
    ui = wait_page(machine, english_offer("Install", upgrade_text))
    check_frame(ui, inst.pid)
    assert machine.control(ui, "messageText")["text"].endswith("3.0.3.0 ")

    assert_close_ignored(machine, inst)
    assert_ends_on_click(machine, inst, "cancelButton")
    assert machine.reg_query(e2e_env.UNINSTALL_KEY, "DisplayVersion").data == "2.7.0.0"
    assert not machine.install_dir().exists()


# ---------------------------------------------------------------- scenarios: release notes

def dismiss_boxes(machine, wait_ms):
    """Closes the message boxes that appear within `wait_ms` (the shell may or may not show one
    for a .pdf under Wine); returns their texts."""
    texts = []
    while True:
        try:
            box = machine.dismiss(timeout_ms=wait_ms)
        except e2e_env.DriverError:
            return texts
        e2e_env.log(f"dismissed a box: {box['title']!r} {box['text']!r}")
        texts.append(box["text"])
        wait_ms = 500


def test_release_notes_downloaded_once_and_opened(machine, release_server, release_tree):
    inst = start(machine, release_server)
    offer = english_offer("Install", EN_INSTALL_TEXT)
    wait_page(machine, offer)
    before = len(notes_requests(release_server))
    stored = machine.program_files_x86() / "Lumidex" / NOTES_NAME
    served = (release_tree / "Flashdeck" / NOTES_NAME).read_bytes()
    # A copy someone planted under the cached name is not what the signed version file names:
    # it is fetched anew, never opened.
    planted = b"%PDF-1.4 planted, not the signed notes"
    stored.parent.mkdir(parents=True, exist_ok=True)
    stored.write_bytes(planted)

    machine.driver("click", "releaseNotesLink")
    e2e_env.wait_until(lambda: stored.is_file() and stored.read_bytes() == served, 60,
                       what="the release notes in the vendor folder")
    dismiss_boxes(machine, 4000)
    requests = notes_requests(release_server)[before:]
    assert [(r["status"], r["bytes"]) for r in requests] == [(200, len(served))]
    assert sorted(p.name for p in stored.parent.iterdir() if p.is_file()) == [NOTES_NAME]

    # The second click opens the stored copy: no request. A language pick posted after the
    # click shows that the click has been handled.
    machine.driver("click", "releaseNotesLink")
    machine.driver("pick-language", "Deutsch")
    german = page_in("de-DE", "install-offer")
    dismiss_boxes(machine, 2000)
    wait_page(machine, german, timeout=30)
    dismiss_boxes(machine, 500)
    assert notes_requests(release_server)[before:] == requests
    assert stored.read_bytes() == served

    # The kept copy is checked again before every opening: changed after the first, it is fetched again.
    stored.write_bytes(planted)
    machine.driver("click", "releaseNotesLink")
    e2e_env.wait_until(lambda: len(notes_requests(release_server)) > before + 1, 60, what="the notes fetched again")
    e2e_env.wait_until(lambda: stored.is_file() and stored.read_bytes() == served, 60, what="the signed notes again")
    dismiss_boxes(machine, 2000)
    assert inst.running()
    assert_ends_on_click(machine, inst, "cancelButton")


@pytest.mark.parametrize("fault", ["missing", "changed", "none"])
def test_release_notes_missing_changed_or_not_named(machine, release_server, make_tree, demo_app_dir, fault):
    tree = make_tree(f"release-notes-{fault}", [(OFFERED, demo_app_dir)])
    notes = tree / "Flashdeck" / NOTES_NAME
    if fault == "missing":
        notes.unlink()
    elif fault == "changed":
        # Other bytes than the signed version file names.
        notes.write_bytes(notes.read_bytes() + b"% changed on the server\n")
    else:
        # A release without notes: its version file names none.
        shutil.rmtree(tree)
        e2e_env.make_release.build_release(tree, [(OFFERED, demo_app_dir)],
                                           key=e2e_env.BuildPaths.discover().signing_key, notes=None)
    release_server.serve(tree)
    inst = start(machine, release_server)
    offer = english_offer("Install", EN_INSTALL_TEXT)
    if fault == "none":
        offer["releaseNotesLink"] = ("No release notes available", True)
    wait_page(machine, offer)
    before = len(notes_requests(release_server))

    machine.driver("click", "releaseNotesLink")
    if fault == "none":
        # Nothing to fetch: a language pick posted after the click shows the click was handled.
        machine.driver("pick-language", "Deutsch")
        german = page_in("de-DE", "install-offer")
        german["releaseNotesLink"] = (TEXTS["de-DE"][1]["IDS_NO_RELEASE_NOTES"], True)
        wait_page(machine, german, timeout=30)
        assert dismiss_boxes(machine, 1000) == []
        assert notes_requests(release_server)[before:] == []
        machine.driver("pick-language", "English")
    else:
        box = machine.messagebox(timeout_ms=60000)
        assert box["pid"] == inst.pid
        assert box["title"] == "Error"
        if fault == "missing":
            assert "(0x2): " + NOTES_NAME in box["text"]
        else:
            assert box["text"] == "The release notes could not be verified and were not opened."
        assert [b["text"] for b in box["buttons"]] == ["OK"]
        machine.dismiss()
        assert [r["status"] for r in notes_requests(release_server)[before:]] == [404 if fault == "missing" else 200]

    # Nothing unverified is kept, not even in part.
    vendor = machine.program_files_x86() / "Lumidex"
    assert not vendor.exists() or [p.name for p in vendor.iterdir() if p.is_file()] == []
    ui = wait_page(machine, offer, timeout=10)
    check_frame(ui, inst.pid)
    assert inst.running()
    assert_ends_on_click(machine, inst, "cancelButton")
