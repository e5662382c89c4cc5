#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "common/product_config.h"
#include "localization/text_table.h"
#include "window/layout.h"
#include "window/page_logic.h"
#include "../support/versions.h"

namespace {
struct PageCase {
    std::int32_t isInstalled;
    bool uninstallMode;
    const wchar_t* installed;
    const wchar_t* offered;
    Page expected;
};

class FirstPage : public ::testing::TestWithParam<PageCase> {};

TEST_P(FirstPage, FollowsRegistryAndVersions) {
    const auto& c = GetParam();
    EXPECT_EQ(chooseFirstPage(c.isInstalled, c.uninstallMode, version(c.installed), version(c.offered)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, FirstPage,
    ::testing::Values(
        // Nothing recorded: the install offer, also in uninstall mode and whatever the versions say.
        PageCase{NOT_RECORDED, false, L"", L"3.0.3.0", Page::InstallOffer},
        PageCase{NOT_RECORDED, true, L"3.0.3.0", L"3.0.3.0", Page::InstallOffer},
        PageCase{NOT_RECORDED, false, L"9.0.0.0", L"3.0.3.0", Page::InstallOffer},
        // Equal texts, or the uninstall switch: the uninstall offer.
        PageCase{3, false, L"3.0.3.0", L"3.0.3.0", Page::UninstallOffer},
        PageCase{1, false, L"3.0.3.0", L"3.0.3.0", Page::UninstallOffer},
        PageCase{3, true, L"2.7.0.0", L"3.0.3.0", Page::UninstallOffer},
        PageCase{3, true, L"9.0.0.0", L"3.0.3.0", Page::UninstallOffer},
        // Offered older: the newer-version notice (a final page).
        PageCase{3, false, L"3.0.10.0", L"3.0.9.0", Page::NewerInstalled},
        PageCase{0, false, L"4.0.0.0", L"3.0.3.0", Page::NewerInstalled},
        // Offered newer, or equal numbers written differently: the upgrade offer.
        PageCase{3, false, L"2.7.0.0", L"3.0.3.0", Page::UpgradeOffer},
        PageCase{3, false, L"03.0.3.0", L"3.0.3.0", Page::UpgradeOffer},
        PageCase{3, false, L"", L"3.0.3.0", Page::UpgradeOffer}));

// A road through the window: the pages that each event leads to, from a first page.
struct Road {
    const char* name;
    Page start;
    std::vector<std::pair<Event, Page>> steps;
};

class Transitions : public ::testing::TestWithParam<Road> {};

TEST_P(Transitions, EachEventLeadsToItsPage) {
    Page page = GetParam().start;
    for (const auto& [event, expected] : GetParam().steps) {
        const Page from = page;
        page = next(page, event);
        EXPECT_EQ(page, expected) << pageName(from) << " + event " << static_cast<int>(event);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Roads, Transitions,
    ::testing::Values(
        Road{"install", Page::InstallOffer,
             {{Event::Done, Page::InstallOffer}, {Event::Action, Page::Installing}, {Event::Done, Page::InstalledFinal},
              {Event::Action, Page::Ended}}},
        Road{"installRestart", Page::InstallOffer,
             {{Event::Action, Page::Installing}, {Event::Restart, Page::InstalledRestartFinal},
              {Event::Cancel, Page::Ended}}},
        // Cancel is noticed at a checkpoint, or not at all when the sequence ends first: either way
        // what it wrote is removed and the cancellation is reported.
        Road{"cancelled", Page::InstallOffer,
             {{Event::Action, Page::Installing}, {Event::Cancel, Page::CancellingInstall},
              {Event::Stopped, Page::UndoingCancelled}, {Event::Cancel, Page::UndoingCancelled},
              {Event::Done, Page::CancelledFinal}}},
        Road{"cancelledAfterTheLastCheckpoint", Page::Installing,
             {{Event::Cancel, Page::CancellingInstall}, {Event::Done, Page::UndoingCancelled}}},
        Road{"cancelledTwice", Page::Installing, {{Event::Cancel, Page::CancellingInstall}, {Event::Cancel, Page::Ended}}},
        Road{"failedStep", Page::Installing,
             {{Event::Failed, Page::UndoingFailed}, {Event::Done, Page::FailedFinal}, {Event::Action, Page::Ended}}},
        Road{"upgrade", Page::UpgradeOffer,
             {{Event::Action, Page::DownloadingUpgrade}, {Event::Done, Page::RemovingOldVersion},
              {Event::Cancel, Page::RemovingOldVersion}, {Event::Done, Page::Installing},
              {Event::Done, Page::InstalledFinal}}},
        // Nothing of the installed version is touched before its archive is verified.
        Road{"upgradeCancelled", Page::UpgradeOffer,
             {{Event::Action, Page::DownloadingUpgrade}, {Event::Cancel, Page::CancellingUpgrade},
              {Event::Stopped, Page::CancelledFinal}}},
        Road{"upgradeCancelledTooLate", Page::DownloadingUpgrade,
             {{Event::Cancel, Page::CancellingUpgrade}, {Event::Done, Page::CancelledFinal}}},
        Road{"uninstall", Page::UninstallOffer,
             {{Event::Action, Page::Uninstalling}, {Event::Cancel, Page::Uninstalling},
              {Event::Done, Page::UninstalledFinal}, {Event::Action, Page::Ended}}},
        Road{"newerInstalled", Page::NewerInstalled, {{Event::Action, Page::Ended}}},
        Road{"offerCancelled", Page::UpgradeOffer, {{Event::Cancel, Page::Ended}}},
        Road{"fatalInTheMiddle", Page::RemovingOldVersion, {{Event::Fatal, Page::Ended}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Transitions, WhatThePageDecides) {
    for (int i = 0; i <= static_cast<int>(Page::Ended); ++i) {
        const Page page = static_cast<Page>(i);
        SCOPED_TRACE(testing::PrintToString(std::wstring(pageName(page))));
        // The close box works only once everything is done, never while work runs.
        EXPECT_FALSE(closeAllowed(page) && isWorkPage(page));
        // A Cancel is asked of running work only, and only after it was pressed.
        EXPECT_EQ(cancelRequested(page), page == Page::CancellingInstall || page == Page::CancellingUpgrade);
        if (cancelRequested(page) || cancelVisible(page)) EXPECT_TRUE(isWorkPage(page));
        // Every page but the end has a name of its own and texts for its message.
        if (page != Page::Ended) EXPECT_NE(std::wstring(pageName(page)), L"");
    }
    for (Page page : drawnPages) EXPECT_EQ(closeAllowed(page), page >= Page::InstalledFinal && page <= Page::FailedFinal);
    EXPECT_FALSE(cancelVisible(Page::Uninstalling));
    EXPECT_FALSE(cancelVisible(Page::RemovingOldVersion));
}

struct ShownCase {
    std::int32_t isInstalled;
    bool uninstallMode;
    const wchar_t* installed;
    const wchar_t* expected;
};

class ShownVersion : public ::testing::TestWithParam<ShownCase> {};

TEST_P(ShownVersion, NamesTheInstalledOneOnlyWhenUninstallingARecordedInstallation) {
    const auto& c = GetParam();
    EXPECT_EQ(shownVersion(c.isInstalled, c.uninstallMode, version(c.installed), version(L"3.0.3.0")).versionText,
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Labels, ShownVersion,
    ::testing::Values(ShownCase{3, true, L"2.7.0.0", L"2.7.0.0"}, ShownCase{3, false, L"2.7.0.0", L"3.0.3.0"},
                      // -uninstall with nothing recorded shows the install offer: it names the offered version.
                      ShownCase{NOT_RECORDED, true, L"", L"3.0.3.0"},
                      ShownCase{NOT_RECORDED, true, L"2.7.0.0", L"3.0.3.0"},
                      // Recorded but without a readable version: never an empty label.
                      ShownCase{3, true, L"", L"3.0.3.0"}));

TEST(PassiveRun, StartsWhatSilentWouldAndEndsWithThePagesCode) {
    struct Case {
        Page first;
        bool uninstallMode;
        bool work;
        ExitCode code;
    } cases[] = {
        {Page::InstallOffer, false, true, ExitCode::Success},
        {Page::InstallOffer, true, false, ExitCode::Success},  // nothing installed, nothing to remove
        {Page::UpgradeOffer, false, true, ExitCode::Success},
        {Page::UninstallOffer, true, true, ExitCode::AlreadyInstalled},
        {Page::UninstallOffer, false, false, ExitCode::AlreadyInstalled},  // the same version
        {Page::NewerInstalled, false, false, ExitCode::AlreadyInstalled},
    };
    for (const Case& c : cases) {
        const PassiveStart start = passiveStart(c.first, c.uninstallMode);
        EXPECT_EQ(start.work, c.work) << pageName(c.first) << " " << c.uninstallMode;
        if (!c.work) EXPECT_EQ(start.code, c.code) << pageName(c.first) << " " << c.uninstallMode;
    }
    // Where a Cancel during the installation leads, and what that page reports.
    EXPECT_EQ(exitCodeOf(next(next(next(Page::Installing, Event::Cancel), Event::Stopped), Event::Done)),
              ExitCode::Cancelled);
    EXPECT_EQ(exitCodeOf(next(Page::CancellingUpgrade, Event::Done)), ExitCode::Cancelled);
    EXPECT_EQ(exitCodeOf(Page::InstalledFinal), ExitCode::Success);
    EXPECT_EQ(exitCodeOf(Page::UninstalledFinal), ExitCode::Success);
    EXPECT_EQ(exitCodeOf(Page::InstalledRestartFinal), ExitCode::RestartNeeded);
    EXPECT_EQ(exitCodeOf(next(Page::UndoingFailed, Event::Done)), ExitCode::Fatal);
    EXPECT_EQ(exitCodeOf(Page::Ended), ExitCode::Fatal);
}

// Each label is its language's one format text with the version filled in: no words glued around it.
TEST(PageTexts, VersionLabelsAreOneFormatTextEach) {
    TextTable& table = textTable();
    const TextTable saved = table;
    ASSERT_TRUE(table.parse(L"Code=de-DE,Deutsch\r\nversion_label:::Flashdeck-Version: %1\r\n"
                            L"installer_version_label:::Setup-Version: %1\r\n"));
    table.setCulture(L"de-DE");
    EXPECT_EQ(versionLabelText(L"3.0.3.0"), L"Flashdeck-Version: 3.0.3.0");
    EXPECT_EQ(installerVersionLabelText(L"3.0.3.0"), L"Setup-Version: 3.0.3.0");
    table = saved;
}

TEST(PageTexts, JoinsLabelsAndSuccessText) {
    EXPECT_EQ(successText(L"Lumidex SSD Flashdeck version", L"3.0.3.0", L"was successfully installed.",
                          L"Click on the Finish button to run the application."),
              L"Lumidex SSD Flashdeck version 3.0.3.0 was successfully installed.\n\n"
              L"Click on the Finish button to run the application.");
}

}  // namespace

// ---------------------------------------------------------------- the layout at every display scale

namespace {
TEST(Layout, ScalesEdgesSoNeighboursNeverOverlap) {
    const Box controls[] = {layout96::actionButton,   layout96::cancelButton,   layout96::languageList,
                            layout96::progressBar,    layout96::releaseNotesLink, layout96::messageText,
                            layout96::languageLabel,  layout96::versionLabel,   layout96::installerVersionLabel};
    for (const int dpi : {96, 120, 144, 168, 192}) {
        for (const Box& box : controls) {
            const Box scaled = scaleToDpi(box, dpi);
            // Every edge lands within half a pixel of its exact place.
            EXPECT_LE(std::abs(scaled.x * 96 - box.x * dpi), 48) << dpi;
            EXPECT_LE(std::abs((scaled.x + scaled.width) * 96 - (box.x + box.width) * dpi), 48) << dpi;
            EXPECT_LE(std::abs((scaled.y + scaled.height) * 96 - (box.y + box.height) * dpi), 48) << dpi;
        }
        // The buttons' 4-pixel gap and the label row above the list stay apart at every scale.
        const Box cancel = scaleToDpi(layout96::cancelButton, dpi);
        const Box action = scaleToDpi(layout96::actionButton, dpi);
        EXPECT_LT(cancel.x + cancel.width, action.x) << dpi;
        const Box label = scaleToDpi(layout96::languageLabel, dpi);
        EXPECT_LE(label.y + label.height, scaleToDpi(layout96::languageList, dpi).y) << dpi;
        // The separator is as thick as one pixel scaled, never thinner than one.
        EXPECT_EQ(scaleToDpi(layout96::separator, dpi).height, std::max(1, (dpi + 48) / 96)) << dpi;
    }
    // Twice the scale is exactly twice the place.
    const Box doubled = scaleToDpi(layout96::messageText, 192);
    EXPECT_EQ(doubled.x, 30);
    EXPECT_EQ(doubled.width, 888);
    EXPECT_EQ(scaleToDpi(7, 0), 7);  // an unknown DPI is the design's
}
}  // namespace
