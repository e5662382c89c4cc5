"""End-to-end checks of the language list: its entries, switching the language of every text at
once, remembering the choice for the next start, and a stored culture that no section knows."""

import pytest

import e2e_env
from test_window import (CONTROL_CLASSES, EN_INSTALL_TEXT, OFFERED, TEXTS, assert_ends_on_click, check_frame,
                         display_name, english_offer, page_in, record_installation, start, wait_page)

# In the order of their culture codes, not alphabetically; "Pусский" begins with a Latin P.
LANGUAGE_NAMES = ["Čeština", "Dansk", "Deutsch", "English", "Español", "Français", "Italiano", "日本語", "한국어",
                  "Nederlands", "Polski", "Português", "P\u0443\u0441\u0441\u043a\u0438\u0439", "Svenskt", "Türkçe",
                  "简体中文", "繁體中文"]


def culture_value(machine):
    return machine.reg_query(e2e_env.APP_KEY, "CurrentCulture")


def selected_name(ui):
    combo = ui["controls"][2]
    return combo["items"][combo["selected"]] if combo["selected"] >= 0 else None


def test_language_names_match_the_text_sources():
    # The fixed list above and the sources of the resource must agree, or the checks below mislead.
    by_code = sorted(TEXTS, key=lambda code: code.encode("utf-16-be"))
    assert [display_name(code) for code in by_code] == LANGUAGE_NAMES
    assert LANGUAGE_NAMES[12][0] == "P"


@pytest.mark.e2e_timeout(420)
def test_every_language_rewrites_the_window_and_is_remembered(machine, release_server):
    inst = start(machine, release_server)
    ui = wait_page(machine, english_offer("Install", EN_INSTALL_TEXT))
    combo = ui["controls"][2]
    assert combo["items"] == LANGUAGE_NAMES
    assert combo["selected"] == LANGUAGE_NAMES.index("English")
    assert culture_value(machine) == e2e_env.RegValue("REG_SZ", "en-US")

    # Each pick rewrites every visible text in that language and stores that language's code.
    # German comes last, so the next start has to open in German.
    codes = sorted(sorted(code for code in TEXTS if code != "de-DE"), key=lambda code: code == "en-US")
    for code in [*codes, "de-DE"]:
        machine.driver("pick-language", display_name(code))
        ui = wait_page(machine, page_in(code, "install-offer"), timeout=20)
        assert selected_name(ui) == display_name(code)
        assert culture_value(machine) == e2e_env.RegValue("REG_SZ", code), display_name(code)
    assert machine.control(ui, "actionButton")["text"] == "Installieren"
    assert ui["caption"] == "Lumidex SSD Flashdeck Installer"
    assert_ends_on_click(machine, inst, "cancelButton")

    inst = start(machine, release_server)
    ui = wait_page(machine, page_in("de-DE", "install-offer"))
    check_frame(ui, inst.pid)
    assert ui["controls"][2]["items"] == LANGUAGE_NAMES
    assert selected_name(ui) == "Deutsch"
    assert culture_value(machine) == e2e_env.RegValue("REG_SZ", "de-DE")
    assert_ends_on_click(machine, inst, "cancelButton")


def test_unknown_stored_culture_shows_empty_texts_until_a_pick(machine, release_server):
    machine.reg_add(e2e_env.APP_KEY, "CurrentCulture", "xx-XX")
    inst = start(machine, release_server)
    empty = {
        "actionButton": ("", True),
        "cancelButton": ("", True),
        "languageList": ("", True),
        "progressBar": ("", False),
        "releaseNotesLink": ("", True),
        "messageText": ("", True),
        "languageLabel": ("", True),
        # Each label is a text of the table like any other: empty too.
        "versionLabel": ("", True),
        "installerVersionLabel": ("", True),
    }
    ui = wait_page(machine, empty)
    assert [c["class"].lower() for c in ui["controls"]] == CONTROL_CLASSES
    assert ui["controls"][2]["items"] == LANGUAGE_NAMES
    assert ui["controls"][2]["selected"] == -1
    # Start-up keeps a stored culture even when no section knows it.
    assert culture_value(machine) == e2e_env.RegValue("REG_SZ", "xx-XX")

    machine.driver("pick-language", "Français")
    ui = wait_page(machine, page_in("fr-FR", "install-offer"))
    assert machine.control(ui, "cancelButton")["text"] == "Annuler"
    assert selected_name(ui) == "Français"
    assert culture_value(machine) == e2e_env.RegValue("REG_SZ", "fr-FR")
    assert_ends_on_click(machine, inst, "cancelButton")


@pytest.mark.parametrize("installed, args, kind, pick, leave", [
    ("9.0.0.0", [], "newer-notice", "Deutsch", "actionButton"),
    # In uninstall mode the rebuilt version label names the installed version.
    ("2.7.0.0", ["-uninstall"], "uninstall-offer", "Español", "cancelButton"),
    ("2.7.0.0", [], "upgrade-offer", "Polski", "cancelButton"),
], ids=["newer-notice", "uninstall-mode", "upgrade-offer"])
def test_language_pick_keeps_the_page(machine, release_server, installed, args, kind, pick, leave):
    record_installation(machine, installed)
    inst = start(machine, release_server, *args)
    uninstall_mode = bool(args)
    wait_page(machine, page_in("en-US", kind, installed=installed, uninstall_mode=uninstall_mode))

    code = next(code for code in TEXTS if display_name(code) == pick)
    machine.driver("pick-language", pick)
    ui = wait_page(machine, page_in(code, kind, installed=installed, uninstall_mode=uninstall_mode))
    assert selected_name(ui) == pick
    assert culture_value(machine) == e2e_env.RegValue("REG_SZ", code)
    if kind == "newer-notice":
        # The German notice holds a line break and still offers only OK.
        assert "\n" in machine.control(ui, "messageText")["text"]
        assert machine.control(ui, "actionButton")["text"] == "OK"
    if uninstall_mode:
        assert machine.control(ui, "versionLabel")["text"] == f"Versión de Flashdeck: {installed}"

    assert_ends_on_click(machine, inst, leave)
    assert machine.demo_app_starts() == []
    assert machine.reg_query(e2e_env.UNINSTALL_KEY, "DisplayVersion").data == installed
