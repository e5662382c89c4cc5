#include "setup/uninstaller_win.h"

#include <commctrl.h>

#include "download/message_pump_win.h"
#include "setup/file_system_win.h"
#include "setup/process_control_win.h"
#include "setup/uninstall_paths.h"
#include "startup/product_config.h"
#include "startup/temp_copy.h"
#include "system/shortcuts_win.h"

namespace {
// A process's current directory cannot be removed; the install sequence makes the install folder
// current, so a roll-back after Cancel would otherwise leave the folder behind.
void leaveFolder(const std::wstring& folder) {
    wchar_t current[MAX_PATH + 1] = {};
    const DWORD length = GetCurrentDirectoryW(MAX_PATH + 1, current);
    if (length == 0 || length > MAX_PATH || !isInsideFolder(std::wstring(current) + L"\\", folder)) return;
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD tempLength = GetTempPathW(MAX_PATH + 1, temp);
    if (tempLength > 0 && tempLength <= MAX_PATH) SetCurrentDirectoryW(temp);
}
}  // namespace

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
    leaveFolder(installPath);
    removeFolderTree(installPath);
    const std::wstring vendorFolder = vendorFolderOf(installPath, store.productWord);
    if (!vendorFolder.empty()) deleteFilesInFolder(vendorFolder);
    stepDone(40);

    removeDesktopShortcuts();
    stepDone(60);

    store.deleteProductKeys();
    stepDone(100);
}
