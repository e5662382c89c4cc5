// The text table embedded in this executable is the installer's own resource.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "window/boxes_win.h"
#include "common/text.h"
#include "system/message_texts_win.h"
#include "system/resources_win.h"
#include "localization/text_table.h"
#include "box_recorder.h"
#include "../unit/known_languages.h"

namespace {

// The keys the installer looks up, with their en-US texts.
const std::vector<std::pair<std::wstring, std::wstring>> kInstallerTexts = {
    {L"IDS_INSTALL", L"Install"},
    {L"IDS_UNINSTALL", L"Uninstall"},
    {L"IDS_CANCEL", L"Cancel"},
    {L"IDS_FINISH", L"Finish"},
    {L"IDS_OK", L"OK"},
    {L"IDS_VIEW_RELEASE_NOTES", L"View Release Notes"},
    {L"options_select_language", L"Select Language:"},
    {L"IDS_VERSION", L"Version"},
    {L"version_label", L"Flashdeck Version: %1"},
    {L"installer_version_label", L"Install Version: %1"},
    {L"IDS_TITLE_INSTALLATION",
     L"Thank you for downloading the %1 SSD Flashdeck. This software includes tools that can help you to get the "
     L"most out of your %1 SSDs."},
    {L"IDS_TITLE_UNINSTALL",
     L"Welcome to the %1 SSD Flashdeck Installer. The Installer will remove the %1 SSD Flashdeck software from your "
     L"computer."},
    {L"IDS_INSTALLING_TEXT", L"Please wait while the %1 SSD Flashdeck is being installed on your computer."},
    {L"IDS_UNINSTALLING_TEXT", L"Please wait while the %1 SSD Flashdeck is being uninstalled from your computer."},
    {L"IDS_NEWER_VERSION_INSTALLED",
     L"%1 SSD Flashdeck version %2 is already installed. You must uninstall it before you can install version %3."},
    {L"IDS_OLD_VERSION_INSTALLED",
     L"%3 SSD Flashdeck %1 has been detected on this system. The %3 SSD Flashdeck installer will uninstall the "
     L"current version and install version %2 "},
    {L"IDS_INSTALL_END_TEXT1", L"%1 SSD Flashdeck version"},
    {L"IDS_INSTALL_END_TEXT2", L"was successfully installed."},
    {L"IDS_LAUNCH_TOOLKIT", L"Click on the Finish button to run the application."},
    {L"IDS_UNINSTALL_END_TEXT", L"%1 SSD Flashdeck was successfully uninstalled."},
    {L"IDS_SUMMARY_CANCELLED", L"The installation was cancelled."},
    {L"IDS_TITLE_ERROR", L"Error"},
    {L"error_creating_folder", L"Failed to create folder."},
    {L"error_no_network", L"There is no internet connection. Please try again later."},
    {L"error_download", L"Failed to download"},
    {L"error_signature",
     L"The update information from the server could not be verified and was not used. Please try again later."},
};

// How often each placeholder %1 .. %9 occurs.
std::map<wchar_t, int> placeholders(const std::wstring& text) {
    std::map<wchar_t, int> counts;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == L'%' && text[i + 1] >= L'1' && text[i + 1] <= L'9') ++counts[text[i + 1]];
    }
    return counts;
}

const TextTable& realTable() {
    static const TextTable table = [] {
        TextTable loaded;
        loadFromResource(loaded);
        return loaded;
    }();
    return table;
}

TEST(TextResource, HoldsTheSeventeenLanguagesInCodeOrder) {
    const TextTable& table = realTable();
    std::vector<std::wstring> codes, names;
    for (const auto& [code, name] : knownLanguages) {
        codes.push_back(code);
        names.push_back(name);
        EXPECT_EQ(table.cultureForName(name), code);
    }
    EXPECT_EQ(table.cultures(), codes);
    EXPECT_EQ(table.languageNames(), names);
    // The Russian name starts with the Latin capital P.
    EXPECT_EQ(table.languageNames().at(12).front(), L'P');
}

TEST(TextResource, EnglishTextsAreExact) {
    TextTable table = realTable();
    table.setCulture(L"en-US");
    for (const auto& [key, expected] : kInstallerTexts) EXPECT_EQ(table.text(key), expected) << key;
}

TEST(TextResource, EveryLanguageHasEveryInstallerKeyWithTheSamePlaceholders) {
    const TextTable& table = realTable();
    const TextTable::Entries& english = table.entriesOf(L"en-US");
    for (const auto& [code, name] : knownLanguages) {
        const TextTable::Entries& entries = table.entriesOf(code);
        for (const auto& [key, unused] : kInstallerTexts) {
            const auto found = entries.find(key);
            ASSERT_NE(found, entries.end()) << code << " lacks " << key;
            EXPECT_FALSE(found->second.empty()) << code << " " << key;
            EXPECT_EQ(placeholders(found->second), placeholders(english.at(key))) << code << " " << key;
            // A label is one text: never a verb before its noun, never an abbreviation's dot before the colon.
            if (key.ends_with(L"version_label")) {
                EXPECT_EQ(found->second.find(L".:"), std::wstring::npos) << code << " " << key;
                EXPECT_EQ(found->second.find(L". :"), std::wstring::npos) << code << " " << key;
            }
            if (key != L"IDS_NEWER_VERSION_INSTALLED") {
                EXPECT_EQ(found->second.find(L"\\n"), std::wstring::npos) << code << " " << key;
            }
        }
    }
}

TEST(TextResource, LookupInAnotherLanguage) {
    TextTable table = realTable();
    table.setCulture(table.cultureForName(L"Deutsch"));
    EXPECT_EQ(table.getCulture(), L"de-DE");
    EXPECT_EQ(table.text(L"IDS_INSTALL"), L"Installieren");
    table.setCulture(table.cultureForName(L"Français"));
    EXPECT_EQ(table.text(L"IDS_CANCEL"), L"Annuler");
}

TEST(TextResource, RawBytesAreUtf16LeWithCrLfAfterEveryLine) {
    const void* data = nullptr;
    DWORD size = 0;
    ASSERT_TRUE(readResourceBytes(1001, 1000, &data, &size));
    ASSERT_GE(size, 2u);
    EXPECT_EQ(size % 2, 0u);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);

    const std::wstring units = decodeUtf16Le(bytes, size);
    EXPECT_EQ(units.find(L'\0'), std::wstring::npos);
    ASSERT_GE(units.size(), 3u);
    EXPECT_EQ(units.substr(units.size() - 2), L"\r\n");
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (units[i] == L'\r') {
            ASSERT_LT(i + 1, units.size());
            EXPECT_EQ(units[i + 1], L'\n') << "lone CR at unit " << i;
        }
    }
    // What the loader returns is exactly those units, byte-order mark included.
    EXPECT_EQ(loadTextResource(1001), units);
}

TEST(TextResource, ResourceFunctionsAreLoadedOnce) {
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(loadTextResource(1001).empty());
    EXPECT_EQ(loadTextResource(4242), L"");
    const void* data = nullptr;
    DWORD size = 0;
    EXPECT_TRUE(readResourceBytes(3002, 3000, &data, &size));
    EXPECT_EQ(resourceTableLoadCount(), 1);
}

TEST(SystemMessage, KnownCodeHasTheSystemsTextUnchanged) {
    const std::wstring message = systemMessageText(2);
    ASSERT_FALSE(message.empty());
    const std::wstring body = errorBoxBody(message, 2, L"C:\\some folder\\LumidexFlashdeck.zip");
    EXPECT_EQ(body, message + L"(0x2): LumidexFlashdeck.zip");
}

// The boxes show(recorder) makes, with the shared table loaded and its culture put back after.
template <typename Show>
std::vector<RecordedBox> boxesShownBy(Show show) {
    TextTable& shared = textTable();
    if (shared.cultures().empty()) loadFromResource(shared);
    const std::wstring previous = shared.getCulture();
    std::vector<RecordedBox> shown;
    {
        BoxRecorder recorder;
        show(recorder);
        shown = recorder.boxes();
    }
    shared.setCulture(previous);
    return shown;
}

TEST(ErrorBox, ShowsTheBodyUnderTheLocalizedTitleAndNothingForCodeZero) {
    const std::vector<RecordedBox> shownBoxes = boxesShownBy([](BoxRecorder& recorder) {
        textTable().setCulture(L"en-US");
        showErrorBox(Failure::win32(0, L"C:\\x\\file.zip"));
        EXPECT_TRUE(recorder.boxes().empty());
        showErrorBox(Failure::win32(2, L"C:\\x\\file.zip"));
        textTable().setCulture(L"de-DE");
        showErrorBox(Failure::win32(0x20001234));
    });
    ASSERT_EQ(shownBoxes.size(), 2u);
    EXPECT_EQ(shownBoxes[0].text, systemMessageText(2) + L"(0x2): file.zip");
    EXPECT_EQ(shownBoxes[0].caption, L"Error");
    EXPECT_EQ(shownBoxes[0].flags, static_cast<unsigned>(MB_OK));
    EXPECT_EQ(shownBoxes[1].text, L"unknown error(0x20001234): ");
    EXPECT_EQ(shownBoxes[1].caption, realTable().entriesOf(L"de-DE").at(L"IDS_TITLE_ERROR"));
}

TEST(DownloadFailureBox, NamesTheCauseBeforeTheCodeAndTheProxyByName) {
    const std::vector<RecordedBox> shownBoxes = boxesShownBy([](BoxRecorder&) {
        textTable().setCulture(L"en-US");
        showDownloadFailure(Failure::win32(12037, L"lista_updater.xml"));  // certificate out of date
        showDownloadFailure(Failure::win32(12029, L"lista_updater.xml"));  // the server's own: no cause
        textTable().setCulture(L"de-DE");
        showDownloadFailure(Failure::special(Special::ProxySignInRefused, L"proxy.corp:8080"));
    });
    ASSERT_EQ(shownBoxes.size(), 3u);
    const std::wstring dateText = realTable().entriesOf(L"en-US").at(L"error_cert_date");
    EXPECT_NE(dateText.find(L"Check the computer's date and time."), std::wstring::npos);
    EXPECT_EQ(shownBoxes[0].text, dateText + L"\n\n" + systemMessageText(12037) + L"(0x2f05): lista_updater.xml");
    EXPECT_EQ(shownBoxes[1].text, systemMessageText(12029) + L"(0x2efd): lista_updater.xml");
    EXPECT_EQ(shownBoxes[2].text, L"Der Proxyserver proxy.corp:8080 hat die Anmeldung nicht angenommen.");
    EXPECT_EQ(shownBoxes[2].caption, realTable().entriesOf(L"de-DE").at(L"error_download"));
}

TEST(SystemMessage, CodeWithoutDescriptionGivesUnknownError) {
    // The customer bit: no system message uses it.
    const std::int32_t code = 0x20001234;
    EXPECT_EQ(systemMessageText(code), L"");
    EXPECT_EQ(errorBoxBody(systemMessageText(code), code, L"x.zip"), L"unknown error(0x20001234): x.zip");
}
}  // namespace
