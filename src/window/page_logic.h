// Page choice and page texts of the installer window: the rules that need no window.
#pragma once
#include <cstdint>
#include <string>

#include "common/exit_codes.h"
#include "common/version.h"

// Every state the window can be in: the pages it draws, the work behind a progress page, and
// the end. The window keeps no other state: what may be closed or cancelled follows from it.
enum class Page : int {
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
    // Work that shows the installing or uninstalling page.
    CancellingInstall,      // Cancel was pressed: the sequence stops at its next checkpoint
    DownloadingUpgrade,     // the new archive, while the old version stays untouched
    CancellingUpgrade,      // Cancel was pressed during that download
    RemovingOldVersion,     // the upgrade's uninstallation before its installation
    UndoingCancelled,       // what a cancelled installation wrote is removed
    UndoingFailed,          // what a failed installation wrote is removed
    Ended,                  // the process ends
};

// The pages drawn with texts of their own, in the order the gallery shows them.
inline constexpr Page drawnPages[] = {Page::InstallOffer,   Page::UninstallOffer, Page::UpgradeOffer,
                                      Page::NewerInstalled, Page::Installing,     Page::Uninstalling,
                                      Page::InstalledFinal, Page::InstalledRestartFinal,
                                      Page::UninstalledFinal, Page::CancelledFinal, Page::FailedFinal};
const wchar_t* pageName(Page page);

// What moves the window from page to page: the user's two buttons, and how the work behind a
// progress page ended.
enum class Event : int {
    Action,     // the action button (Install, Uninstall, OK, Finish)
    Cancel,     // the Cancel button
    Done,       // the work ended as it should
    Restart,    // the installation ended; the runtime asked for a restart
    Stopped,    // the work stopped at a Cancel checkpoint
    Failed,     // a step failed after writing: what it wrote is removed
    Fatal,      // a failure was shown in a box: the process ends
};

// The page that follows; the page itself when the event means nothing there.
Page next(Page page, Event event);

// The first page for what the registry and the server say.
Page chooseFirstPage(std::int32_t isInstalled, bool uninstallMode, const Version& installed, const Version& offered);

// What a -passive run does with its first page: the work it starts without a click, or, where
// the page offers nothing to do, the exit code it ends with at once. The choices are -silent's.
struct PassiveStart {
    bool work = false;
    ExitCode code = ExitCode::Success;
};
PassiveStart passiveStart(Page first, bool uninstallMode);

// The exit code of a run that ends on this page (Ended: after a failure's box).
ExitCode exitCodeOf(Page page);

// Derived from the page alone.
bool isWorkPage(Page page);          // a sequence runs: nothing but Cancel may start other work
bool closeAllowed(Page page);        // the window's close box ends the process
bool cancelRequested(Page page);     // the running work is asked to stop
bool cancelVisible(Page page);       // the progress page offers Cancel

// The version the version label names: the installed one in uninstall mode when one is recorded,
// else the offered one (with nothing installed, -uninstall leads to the install offer).
const Version& shownVersion(std::int32_t isInstalled, bool uninstallMode, const Version& installed,
                            const Version& offered);

// The message and the action button's caption of a page in the current language; an empty
// caption where the page hides the action button.
struct PageTexts {
    std::wstring message;
    std::wstring actionCaption;
};
PageTexts pageTexts(Page page, const std::wstring& brand, const Version& installed, const Version& offered);

// The two version labels in the current language, each one format text with the version as its
// placeholder, so every language orders and spells the label its own way.
std::wstring versionLabelText(const std::wstring& versionText);
std::wstring installerVersionLabelText(const std::wstring& installerVersion);

// The closing text after a successful installation.
std::wstring successText(const std::wstring& endText1, const std::wstring& versionText, const std::wstring& endText2,
                         const std::wstring& launchText);
