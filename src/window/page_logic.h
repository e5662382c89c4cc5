// Page choice and page texts of the installer window: the rules that need no window.
#pragma once
#include <cstdint>
#include <string>

#include "common/version.h"

enum class PageState : int { InstallOffer = 0, UninstallOffer = 1, UpgradeOffer = 2, CancelRequested = 3, FinalPage = 4 };
enum class WorkState : int { NoWork = 0, InstallWork = 1, UninstallWork = 2 };

// The first page for what the registry and the server say.
PageState chooseFirstPage(std::int32_t isInstalled, bool uninstallMode, const Version& installed,
                          const Version& offered);

// The version the version label names: the installed one in uninstall mode when one is recorded,
// else the offered one (with nothing installed, -uninstall leads to the install offer).
const Version& shownVersion(std::int32_t isInstalled, bool uninstallMode, const Version& installed,
                            const Version& offered);

// Every page the window can show, as far as its texts go.
enum class PageView : int {
    InstallOffer,
    UninstallOffer,
    UpgradeOffer,
    NewerInstalled,
    Installing,
    Uninstalling,
    InstalledFinal,
    InstalledRestartFinal,  // installed; the runtime asked for a restart
    UninstalledFinal,
    CancelledFinal,
    FailedFinal,            // a step failed and what it wrote was removed
};
inline constexpr PageView allPageViews[] = {PageView::InstallOffer,   PageView::UninstallOffer, PageView::UpgradeOffer,
                                            PageView::NewerInstalled, PageView::Installing,     PageView::Uninstalling,
                                            PageView::InstalledFinal, PageView::InstalledRestartFinal,
                                            PageView::UninstalledFinal, PageView::CancelledFinal,
                                            PageView::FailedFinal};
const wchar_t* pageViewName(PageView view);

// The message and the action button's caption of a page in the current language; an empty
// caption where the page hides the action button.
struct PageTexts {
    std::wstring message;
    std::wstring actionCaption;
};
PageTexts pageTexts(PageView view, const std::wstring& brand, const Version& installed, const Version& offered);

// "Flashdeck <Version>: <version text>" and "<Install> <Version>: <installer version>".
std::wstring versionLabelText(const std::wstring& versionWord, const std::wstring& versionText);
std::wstring installerVersionLabelText(const std::wstring& installWord, const std::wstring& versionWord,
                                       const std::wstring& installerVersion);

// The closing text after a successful installation.
std::wstring successText(const std::wstring& endText1, const std::wstring& versionText, const std::wstring& endText2,
                         const std::wstring& launchText);
