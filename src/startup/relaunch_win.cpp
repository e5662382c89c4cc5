#include "startup/relaunch_win.h"

#include <windows.h>
#include <shellapi.h>

#include "download/message_box_win.h"
#include "startup/product_config.h"
#include "startup/temp_copy.h"

namespace {
[[noreturn]] void failWith(const std::wstring& message, const wchar_t* caption) {
    showMessageBox(message, caption, MB_OK);
    ExitProcess(0);
}

// The user's temporary folder in its long form, so that a short (8.3) form cannot make the
// copy fail to recognise itself and relaunch again and again.
std::wstring longTempFolder() {
    wchar_t shortPath[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, shortPath);
    if (length == 0 || length > MAX_PATH) return {};
    wchar_t longPath[MAX_PATH + 1] = {};
    const DWORD longLength = GetLongPathNameW(shortPath, longPath, MAX_PATH + 1);
    if (longLength == 0 || longLength > MAX_PATH) return shortPath;
    return longPath;
}

std::wstring longPathOf(const std::wstring& path) {
    wchar_t longPath[MAX_PATH + 1] = {};
    const DWORD length = GetLongPathNameW(path.c_str(), longPath, MAX_PATH + 1);
    return (length == 0 || length > MAX_PATH) ? path : std::wstring(longPath);
}

std::wstring createCopyFolder(const std::wstring& tempFolder) {
    for (unsigned long attempt = 0; attempt < 1000; ++attempt) {
        const std::wstring folder = copyFolderPath(tempFolder, GetCurrentProcessId(), attempt, GetTickCount64());
        if (CreateDirectoryW(folder.c_str(), nullptr)) return folder;
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS) {
            failWith(L"Failed to create temp folder (error code " + std::to_wstring(static_cast<long>(error)) + L")",
                     L"Create Error");
        }
    }
    failWith(L"Failed to create temp folder (error code " + std::to_wstring(ERROR_ALREADY_EXISTS) + L")", L"Create Error");
}
}  // namespace

void relaunchFromTempCopy(const std::wstring& commandLine) {
    const ProductConfig& config = productConfig();
    const std::wstring tempFolder = longTempFolder();
    if (tempFolder.empty()) failWith(L"Failed to establish temp name", L"Name Error");
    if (isInsideFolder(longPathOf(config.selfPath), tempFolder)) return;

    const std::wstring copyFolder = createCopyFolder(tempFolder);
    const std::wstring copyPath = copyFolder + L"\\" + config.selfFileName;
    if (!CopyFileW(config.selfPath.c_str(), copyPath.c_str(), TRUE)) {
        failWith(L"Failed to copy program (error code " + std::to_wstring(GetLastError()) + L")", L"Copy Error");
    }
    ShellExecuteW(nullptr, L"runas", copyPath.c_str(), commandLine.c_str(), nullptr, SW_SHOWNORMAL);
    ExitProcess(0);
}
