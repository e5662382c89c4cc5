#include "startup/unattended_win.h"

#include <windows.h>

#include <string>

#include "common/product_config.h"
#include "setup/installer_win.h"
#include "setup/uninstaller_win.h"
#include "startup/process_end_win.h"
#include "system/log_win.h"
#include "system/message_pump_win.h"
#include "system/registry_store_win.h"
#include "window/boxes_win.h"
#include "window/page_logic.h"

namespace {
// Nothing to show and nobody to press Cancel: the steps run without pauses.
NoWindowProgress progress;

[[noreturn]] void end(ExitCode code) { endProcess(SetupContext::Mode::Silent, code); }

[[noreturn]] void fail(const std::wstring& why) {
    logLine(L"result: failed, " + why);
    end(ExitCode::Fatal);
}

void uninstallOrFail(Installer* staged) {
    const Failure removed = Uninstaller(progress).run();
    if (removed.ok()) return;
    if (staged) staged->discardStagedArchive();
    fail(removed.path + L" could not be removed (error " + std::to_wstring(removed.shownCode()) + L")");
}

[[noreturn]] void install(Installer& installer) {
    const InstallResult result = installer.run();
    switch (result.outcome) {
        case InstallOutcome::Completed: break;
        case InstallOutcome::ImageRefused:
            showErrorBox(result.failure);
            fail(L"the installer's file " + result.failure.path + L" is not the running installer");
        case InstallOutcome::FolderFailed:
            fail(L"the folder " + productConfig().installFolder + L" could not be made");
        case InstallOutcome::Cancelled:
            logLine(L"result: cancelled");
            end(ExitCode::Cancelled);
        // Everything else wrote IsInstalled first: a failed installation leaves nothing behind.
        case InstallOutcome::DownloadFailed:
            showDownloadFailure(result.failure);
            [[fallthrough]];
        default:
            logLine(L"install: " + result.failure.path + L" failed with code " + std::to_wstring(result.failure.shownCode()) +
                    L"; what the installation added is removed");
            uninstallOrFail(nullptr);
            fail(L"the installation was rolled back");
    }
    if (result.runtimeFailure != 0) {
        // The application is in place and may run: reported, and the installation stands.
        logLine(L"warning: the runtime installer ended with code " + std::to_wstring(result.runtimeFailure));
    }
    if (result.restartNeeded) {
        logLine(L"result: installed, a restart is needed");
        end(ExitCode::RestartNeeded);
    }
    logLine(L"result: installed");
    end(ExitCode::Success);
}
}  // namespace

void runUnattended(const SetupContext& s) {
    const std::int32_t isInstalled = s.isInstalled;
    logLine(L"installed version: " + (s.installedVersion.versionText.empty() ? L"none" : s.installedVersion.versionText) +
            L" (IsInstalled " + std::to_wstring(isInstalled) + L"), offered version: " + s.offeredVersion.versionText +
            (s.uninstallMode ? L", -uninstall" : L""));
    Installer installer(s, progress);
    switch (chooseFirstPage(isInstalled, s.uninstallMode, s.installedVersion, s.offeredVersion)) {
        case Page::InstallOffer:
            if (s.uninstallMode) {
                logLine(L"result: nothing is installed, nothing to uninstall");
                end(ExitCode::Success);
            }
            install(installer);
        case Page::UpgradeOffer: {
            // The new archive first: a failed download leaves the old version as it was.
            const DownloadResult staged = installer.stageArchive();
            if (!staged.ok()) {
                showDownloadFailure(staged);
                fail(L"the new version's archive did not download; the installed version was not changed");
            }
            uninstallOrFail(&installer);
            install(installer);
        }
        case Page::UninstallOffer:
            if (s.uninstallMode) {
                uninstallOrFail(nullptr);
                logLine(L"result: uninstalled");
                end(ExitCode::Success);
            }
            [[fallthrough]];
        default:
            logLine(L"result: the same or a newer version is installed; nothing changed");
            end(ExitCode::AlreadyInstalled);
    }
}
