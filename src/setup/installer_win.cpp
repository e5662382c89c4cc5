#include "setup/installer_win.h"

#include <commctrl.h>

#include <utility>

#include "common/product_config.h"
#include "common/resource_ids.h"
#include "setup/extract_win.h"
#include "setup/setup_rules.h"
#include "system/file_system_win.h"
#include "system/message_pump_win.h"
#include "system/processes_win.h"
#include "system/shortcuts_win.h"

namespace {
constexpr int pauseMs = 2000;
constexpr const wchar_t* extractorFileName = L"7za.exe";

InstallResult outcome(InstallOutcome kind) {
    InstallResult result;
    result.outcome = kind;
    return result;
}
}  // namespace

bool ensureInstallFolder() {
    const std::wstring& folder = productConfig().installFolder;
    return pathState(folder) == PathState::Exists || createFolderWithParents(folder);
}

Installer::Installer(HWND progressBar, Version offeredVersion, const Sha256Digest& archiveSha256)
    : progressBar(progressBar), offeredVersion(std::move(offeredVersion)), archiveSha256(archiveSha256) {}

void Installer::setProgress(unsigned position) const { SendMessageW(progressBar, PBM_SETPOS, position, 0); }

void Installer::cancel() {
    cancelRequested = true;
    downloadCancel.cancel();
}

DownloadResult Installer::downloadApplication() {
    const std::wstring urlPart = L"application/" + offeredVersion.versionText + L"/";
    return downloadToInstallFolder(urlPart, productConfig().appArchiveName, 10.0, 30.0, progressBar, &downloadCancel,
                                   &archiveSha256);
}

InstallResult Installer::run() {
    const ProductConfig& config = productConfig();
    if (!ensureInstallFolder()) return outcome(InstallOutcome::FolderFailed);
    SetCurrentDirectoryW(config.installFolder.c_str());
    store.writeIsInstalled(installStarted);
    // A cut-off extractor would fail in ways nobody could explain: the install stops here.
    const std::int32_t extractor = writeResourceToFile(EXTRACTOR_ID, EXTRACTOR_TYPE, extractorFileName);
    if (extractor != 0) {
        InstallResult failed = outcome(InstallOutcome::ExtractorFailed);
        failed.error = extractor;
        failed.path = config.installFolder + extractorFileName;
        return failed;
    }
    setProgress(10);
    waitPumping(pauseMs);
    if (cancelRequested) return outcome(InstallOutcome::Cancelled);

    store.writeInstallPath(config.installFolder);
    const DownloadResult archive = downloadApplication();
    // A Cancel during the download stops it at once (the partial file is gone) and rolls back
    // as a Cancel in a pause does.
    if (archive.code == ABORTED && cancelRequested) return outcome(InstallOutcome::Cancelled);
    if (!archive.ok()) {
        InstallResult failed = outcome(InstallOutcome::DownloadFailed);
        failed.download = archive;
        return failed;
    }
    if (cancelRequested) return outcome(InstallOutcome::Cancelled);

    extractArchive(config.appArchiveName);
    setProgress(60);
    createDesktopShortcut();
    setProgress(70);
    waitPumping(pauseMs);
    if (cancelRequested) return outcome(InstallOutcome::Cancelled);

    store.writeUninstallEntry(offeredVersion);
    setProgress(85);
    waitPumping(pauseMs);
    if (cancelRequested) return outcome(InstallOutcome::Cancelled);

    ChildOptions runtime;
    runtime.pumpWhileWaiting = true;
    runAndWait(runtimeInstallerCommand(config.installFolder), runtime);
    setProgress(100);
    store.writeIsInstalled(installCompleted);
    return {};
}
