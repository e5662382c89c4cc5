#include "setup/uninstaller_win.h"

#include "common/product_config.h"
#include "common/text.h"
#include "setup/setup_rules.h"
#include "system/file_system_win.h"
#include "system/log_win.h"
#include "system/paths_win.h"
#include "system/processes_win.h"
#include "system/shortcuts_win.h"

namespace {
// A process's current directory cannot be removed; the install sequence makes the install folder
// current, so a roll-back after Cancel would otherwise leave the folder behind.
void leaveFolder(const std::wstring& folder) {
    const std::wstring current = currentFolder();
    if (current.empty() || !isInsideFolder(current + L"\\", folder)) return;
    const std::wstring temp = longTempFolder();
    if (!temp.empty()) SetCurrentDirectoryW(temp.c_str());
}

bool isOnFixedDrive(const std::wstring& path) {
    if (path.size() < 3) return false;
    return GetDriveTypeW(path.substr(0, 3).c_str()) == DRIVE_FIXED;
}
}  // namespace

Uninstaller::Uninstaller(Progress& progress) : progress(progress) {}

void Uninstaller::stepDone(unsigned position) const {
    logLine(L"uninstall: progress " + std::to_wstring(position));
    progress.position(position);
    progress.pause(stepPauseMs);
}

Failure Uninstaller::run() {
    const ProductConfig& config = productConfig();
    if (store.readIsInstalled() <= 0) return {};

    terminateProcessesByName(config.appExeName);
    terminateProcessesByName(sisterAppExeName);
    progress.wait(nullptr, 0);
    stepDone(20);

    // Only this product line's folder: the sister line's recorded path belongs to its own uninstaller.
    std::wstring installPath = folderToRemove(store.readOwnInstallPath(), config.installFolder, config.vendorFolder);
    if (!isOnFixedDrive(installPath)) installPath = config.installFolder;
    leaveFolder(installPath);
    const Failure removed = removeFolderTree(installPath);
    if (!removed.ok()) {
        logLine(L"uninstall: stopped, " + removed.path + L" could not be removed: error " + std::to_wstring(removed.shownCode()));
        return removed;
    }
    const std::wstring vendorFolder = vendorFolderOf(installPath, productWord);
    if (!vendorFolder.empty()) deleteFilesInFolder(vendorFolder);
    stepDone(40);

    removeDesktopShortcuts();
    stepDone(60);

    // Keys that stay are a failure: the Uninstall entry is kept for a second run.
    if (Failure keys = store.deleteProductKeys(); !keys.ok()) {
        logLine(L"uninstall: stopped, the key " + keys.path + L" could not be deleted: error " +
                std::to_wstring(keys.shownCode()));
        return keys;
    }
    stepDone(100);
    return {};
}
