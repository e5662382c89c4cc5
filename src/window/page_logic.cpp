#include "window/page_logic.h"

#include "common/product_config.h"
#include "localization/text_table.h"

Page chooseFirstPage(std::int32_t isInstalled, bool uninstallMode, const Version& installed, const Version& offered) {
    if (isInstalled == NOT_RECORDED) return Page::InstallOffer;
    if (uninstallMode || installed.versionText == offered.versionText) return Page::UninstallOffer;
    if (offered.compare(installed) < 0) return Page::NewerInstalled;
    return Page::UpgradeOffer;
}

Page next(Page page, Event event) {
    if (event == Event::Fatal) return Page::Ended;
    switch (page) {
        case Page::InstallOffer:
            return event == Event::Action ? Page::Installing : event == Event::Cancel ? Page::Ended : page;
        case Page::UpgradeOffer:
            return event == Event::Action ? Page::DownloadingUpgrade : event == Event::Cancel ? Page::Ended : page;
        case Page::UninstallOffer:
            return event == Event::Action ? Page::Uninstalling : event == Event::Cancel ? Page::Ended : page;
        case Page::Installing:
            switch (event) {
                case Event::Cancel: return Page::CancellingInstall;
                case Event::Done: return Page::InstalledFinal;
                case Event::Restart: return Page::InstalledRestartFinal;
                case Event::Stopped: return Page::UndoingCancelled;
                case Event::Failed: return Page::UndoingFailed;
                default: return page;
            }
        case Page::CancellingInstall:
            // The sequence may finish before its next checkpoint: what it wrote is removed anyway.
            switch (event) {
                case Event::Cancel: return Page::Ended;
                case Event::Failed: return Page::UndoingFailed;
                case Event::Done:
                case Event::Restart:
                case Event::Stopped: return Page::UndoingCancelled;
                default: return page;
            }
        case Page::DownloadingUpgrade:
            switch (event) {
                case Event::Cancel: return Page::CancellingUpgrade;
                case Event::Done: return Page::RemovingOldVersion;
                case Event::Stopped: return Page::CancelledFinal;
                default: return page;
            }
        case Page::CancellingUpgrade:
            // Nothing of the installed version was touched yet: a Cancel leaves it as it was.
            return event == Event::Done || event == Event::Stopped ? Page::CancelledFinal : page;
        case Page::RemovingOldVersion: return event == Event::Done ? Page::Installing : page;
        case Page::Uninstalling: return event == Event::Done ? Page::UninstalledFinal : page;
        case Page::UndoingCancelled: return event == Event::Done ? Page::CancelledFinal : page;
        case Page::UndoingFailed: return event == Event::Done ? Page::FailedFinal : page;
        case Page::NewerInstalled:
        case Page::InstalledFinal:
        case Page::InstalledRestartFinal:
        case Page::UninstalledFinal:
        case Page::CancelledFinal:
        case Page::FailedFinal: return event == Event::Action || event == Event::Cancel ? Page::Ended : page;
        case Page::Ended: return page;
    }
    return page;
}

PassiveStart passiveStart(Page first, bool uninstallMode) {
    switch (first) {
        // With -uninstall and nothing installed there is nothing to do.
        case Page::InstallOffer: return {!uninstallMode, ExitCode::Success};
        case Page::UpgradeOffer: return {true, ExitCode::Success};
        // Without -uninstall this page means the same version is installed.
        case Page::UninstallOffer: return {uninstallMode, ExitCode::AlreadyInstalled};
        default: return {false, ExitCode::AlreadyInstalled};
    }
}

ExitCode exitCodeOf(Page page) {
    switch (page) {
        case Page::InstalledFinal:
        case Page::UninstalledFinal: return ExitCode::Success;
        case Page::InstalledRestartFinal: return ExitCode::RestartNeeded;
        case Page::CancelledFinal: return ExitCode::Cancelled;
        case Page::NewerInstalled: return ExitCode::AlreadyInstalled;
        default: return ExitCode::Fatal;
    }
}

bool isWorkPage(Page page) {
    switch (page) {
        case Page::Installing:
        case Page::Uninstalling:
        case Page::CancellingInstall:
        case Page::DownloadingUpgrade:
        case Page::CancellingUpgrade:
        case Page::RemovingOldVersion:
        case Page::UndoingCancelled:
        case Page::UndoingFailed: return true;
        default: return false;
    }
}

bool closeAllowed(Page page) {
    switch (page) {
        case Page::InstalledFinal:
        case Page::InstalledRestartFinal:
        case Page::UninstalledFinal:
        case Page::CancelledFinal:
        case Page::FailedFinal: return true;
        default: return false;
    }
}

bool cancelRequested(Page page) { return page == Page::CancellingInstall || page == Page::CancellingUpgrade; }

bool cancelVisible(Page page) {
    return page == Page::Installing || page == Page::CancellingInstall || page == Page::DownloadingUpgrade ||
           page == Page::CancellingUpgrade;
}

std::wstring versionLabelText(const std::wstring& versionText) { return text(L"version_label", {versionText}); }

std::wstring installerVersionLabelText(const std::wstring& installerVersion) {
    return text(L"installer_version_label", {installerVersion});
}

std::wstring successText(const std::wstring& endText1, const std::wstring& versionText, const std::wstring& endText2,
                         const std::wstring& launchText) {
    return endText1 + L" " + versionText + L" " + endText2 + L"\n\n" + launchText;
}

const Version& shownVersion(std::int32_t isInstalled, bool uninstallMode, const Version& installed,
                            const Version& offered) {
    return uninstallMode && isInstalled != NOT_RECORDED && !installed.versionText.empty() ? installed : offered;
}

const wchar_t* pageName(Page page) {
    switch (page) {
        case Page::InstallOffer: return L"install-offer";
        case Page::UninstallOffer: return L"uninstall-offer";
        case Page::UpgradeOffer: return L"upgrade-offer";
        case Page::NewerInstalled: return L"newer-installed";
        case Page::Installing: return L"installing";
        case Page::Uninstalling: return L"uninstalling";
        case Page::InstalledFinal: return L"installed-final";
        case Page::InstalledRestartFinal: return L"installed-restart-final";
        case Page::FailedFinal: return L"failed-final";
        case Page::UninstalledFinal: return L"uninstalled-final";
        case Page::CancelledFinal: return L"cancelled-final";
        case Page::CancellingInstall: return L"cancelling-install";
        case Page::DownloadingUpgrade: return L"downloading-upgrade";
        case Page::CancellingUpgrade: return L"cancelling-upgrade";
        case Page::RemovingOldVersion: return L"removing-old-version";
        case Page::UndoingCancelled: return L"undoing-cancelled";
        case Page::UndoingFailed: return L"undoing-failed";
        case Page::Ended: return L"ended";
    }
    return L"";
}

PageTexts pageTexts(Page page, const std::wstring& brand, const Version& installed, const Version& offered) {
    switch (page) {
        case Page::InstallOffer: return {text(L"IDS_TITLE_INSTALLATION", {brand}), text(L"IDS_INSTALL")};
        case Page::UninstallOffer: return {text(L"IDS_TITLE_UNINSTALL", {brand}), text(L"IDS_UNINSTALL")};
        case Page::UpgradeOffer:
            return {text(L"IDS_OLD_VERSION_INSTALLED", {installed.versionText, offered.versionText, brand}),
                    text(L"IDS_INSTALL")};
        case Page::NewerInstalled:
            return {text(L"IDS_NEWER_VERSION_INSTALLED", {brand, installed.versionText, offered.versionText}),
                    text(L"IDS_OK")};
        case Page::Installing: return {text(L"IDS_INSTALLING_TEXT", {brand}), L""};
        // The product's name, not a version: the text names what is being removed.
        case Page::Uninstalling: return {text(L"IDS_UNINSTALLING_TEXT", {brand}), L""};
        case Page::InstalledFinal:
            return {successText(text(L"IDS_INSTALL_END_TEXT1", {brand}), offered.versionText,
                                text(L"IDS_INSTALL_END_TEXT2"), text(L"IDS_LAUNCH_TOOLKIT")),
                    text(L"IDS_FINISH")};
        case Page::InstalledRestartFinal:
            // The restart takes the launch sentence's place: the runtime is complete only after it,
            // so Finish does not start the application on this page.
            return {successText(text(L"IDS_INSTALL_END_TEXT1", {brand}), offered.versionText,
                                text(L"IDS_INSTALL_END_TEXT2"), text(L"install_restart")),
                    text(L"IDS_FINISH")};
        case Page::FailedFinal: return {text(L"IDS_SUMMARY_FAILED"), text(L"IDS_FINISH")};
        case Page::UninstalledFinal: return {text(L"IDS_UNINSTALL_END_TEXT", {brand}), text(L"IDS_FINISH")};
        case Page::CancelledFinal: return {text(L"IDS_SUMMARY_CANCELLED"), text(L"IDS_FINISH")};
        case Page::CancellingInstall:
        case Page::DownloadingUpgrade:
        case Page::CancellingUpgrade: return pageTexts(Page::Installing, brand, installed, offered);
        case Page::RemovingOldVersion:
        case Page::UndoingCancelled:
        case Page::UndoingFailed: return pageTexts(Page::Uninstalling, brand, installed, offered);
        case Page::Ended: return {};
    }
    return {};
}
