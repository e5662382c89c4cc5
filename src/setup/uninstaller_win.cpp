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

// A quiet uninstallation starts the installer's copy in the install folder, and that process
// waits for this one to hand on the exit code. Windows deletes no program that runs, but lets it
// be moved: it goes into this process's own temporary folder and is deleted at the next restart.
void moveRunningInstallerAway(const std::wstring& installPath) {
    const ProductConfig& config = productConfig();
    const std::wstring copy =
        installPath + (installPath.empty() || installPath.back() == L'\\' ? L"" : L"\\") + config.selfFileName;
    if (!pathExists(copy) || DeleteFileW(copy.c_str())) return;
    const std::wstring away = config.selfPath + L".uninstalled";
    const bool moved = MoveFileExW(copy.c_str(), away.c_str(), MOVEFILE_REPLACE_EXISTING);
    logLine(L"uninstall: " + copy + L" is in use" + (moved ? L", moved to " + away : L" and cannot be moved"));
    if (moved) MoveFileExW(away.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
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
    moveRunningInstallerAway(installPath);
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
