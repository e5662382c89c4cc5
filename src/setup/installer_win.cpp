#include "setup/installer_win.h"

#include <commctrl.h>

#include <utility>

#include "download/download_win.h"
#include "download/message_pump_win.h"
#include "setup/batch_text.h"
#include "setup/extract_win.h"
#include "setup/install_folder_win.h"
#include "startup/product_config.h"
#include "system/install_state.h"
#include "system/shortcuts_win.h"

namespace {
constexpr unsigned short extractorId = 2001;
constexpr int extractorType = 2000;
constexpr int pauseMs = 2000;
}  // namespace

Installer::Installer(HWND progressBar, Version offeredVersion)
    : progressBar(progressBar), offeredVersion(std::move(offeredVersion)) {}

void Installer::setProgress(unsigned position) const { SendMessageW(progressBar, PBM_SETPOS, position, 0); }

void Installer::cancel() {
    cancelRequested = true;
    downloadAbortFlag = true;
}

void Installer::downloadApplication() {
    const std::wstring urlPart = L"application/" + offeredVersion.versionText + L"/";
    if (downloadToInstallFolder(urlPart, productConfig().appArchiveName, 10.0, 30.0, progressBar) != 0) {
        ExitProcess(0);
    }
}

void Installer::run() {
    const ProductConfig& config = productConfig();
    ensureInstallFolderOrExit(L" ");
    SetCurrentDirectoryW(config.installFolder.c_str());
    store.writeIsInstalled(installStarted);
    writeResourceToFile(extractorId, extractorType, L"7za.exe");
    setProgress(10);
    waitPumping(pauseMs);
    if (cancelRequested) return;

    store.writeInstallPath(config.installFolder);
    downloadApplication();
    if (cancelRequested) return;

    extractArchive(config.appArchiveName);
    setProgress(60);
    createDesktopShortcut();
    setProgress(70);
    waitPumping(pauseMs);
    if (cancelRequested) return;

    store.writeUninstallEntry(offeredVersion);
    setProgress(85);
    waitPumping(pauseMs);
    if (cancelRequested) return;

    runAndWait(runtimeInstallerCommand(config.installFolder));
    setProgress(100);
    store.writeIsInstalled(installCompleted);
}
