#include "setup/uninstaller_win.h"

#include <commctrl.h>

#include "download/message_pump_win.h"
#include "setup/file_system_win.h"
#include "setup/process_control_win.h"
#include "setup/uninstall_paths.h"
#include "startup/product_config.h"
#include "system/shortcuts_win.h"

Uninstaller::Uninstaller(HWND progressBar) : progressBar(progressBar) {}

void Uninstaller::stepDone(unsigned position) const {
    SendMessageW(progressBar, PBM_SETPOS, position, 0);
    waitPumping(2000);
}

void Uninstaller::run() {
    const ProductConfig& config = productConfig();
    if (store.readIsInstalled() <= 0) return;

    terminateProcessesByName(config.appExeName);
    terminateProcessesByName(sisterAppExeName);
    pumpMessages();
    stepDone(20);

    // Only this product line's folder: the sister line's recorded path belongs to its own uninstaller.
    const std::wstring installPath = folderToRemove(store.readOwnInstallPath(), config.installFolder);
    removeFolderTree(installPath);
    const std::wstring vendorFolder = vendorFolderOf(installPath, store.productWord);
    if (!vendorFolder.empty()) deleteFilesInFolder(vendorFolder);
    stepDone(40);

    removeDesktopShortcuts();
    stepDone(60);

    store.deleteProductKeys();
    stepDone(100);
}
