#include "startup/relaunch_win.h"

#include <windows.h>
#include <knownfolders.h>

#include "common/product_config.h"
#include "startup/command_line.h"
#include "system/file_system_win.h"
#include "system/paths_win.h"
#include "system/processes_win.h"

namespace {
RelaunchResult failure(const std::wstring& message, const wchar_t* caption) {
    return {RelaunchResult::Outcome::Failed, message, caption, {}};
}

std::wstring withCode(const wchar_t* text, DWORD code) {
    return std::wstring(text) + L" (error code " + std::to_wstring(static_cast<long>(code)) + L")";
}

// A new folder of its own inside the temporary folder; empty, with the error, when none can be made.
std::wstring createCopyFolder(const std::wstring& tempFolder, DWORD& error) {
    error = ERROR_ALREADY_EXISTS;
    for (unsigned long attempt = 0; attempt < 1000; ++attempt) {
        const std::wstring folder = copyFolderPath(tempFolder, GetCurrentProcessId(), attempt, GetTickCount64());
        if (CreateDirectoryW(folder.c_str(), nullptr)) return folder;
        error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS) break;
    }
    return std::wstring();
}

// The relaunched copy: its folder has the copy's name and lies directly in the temporary folder.
bool isTheCopy(const std::wstring& selfPath, const std::wstring& tempFolder) {
    const std::wstring folder = selfPath.substr(0, selfPath.find_last_of(L"\\/") + 1);
    const std::wstring trimmed = folder.empty() ? folder : folder.substr(0, folder.size() - 1);
    const std::size_t slash = trimmed.find_last_of(L"\\/");
    if (slash == std::wstring::npos || !isCopyFolderName(trimmed.substr(slash + 1))) return false;
    return isSameFolder(trimmed.substr(0, slash + 1), tempFolder);
}
}  // namespace

void configureProduct(const std::wstring& baseUrl) {
    setProductConfig(makeProductConfig(baseUrl, knownFolderPath(FOLDERID_ProgramFilesX86), modulePath()));
}

bool isRelaunchedCopy() {
    const std::wstring tempFolder = longTempFolder();
    return !tempFolder.empty() && isTheCopy(productConfig().selfPath, tempFolder);
}

bool runsHere() {
    const ProductConfig& config = productConfig();
    const std::wstring tempFolder = longTempFolder();
    if (tempFolder.empty()) return false;
    // A copy that "runas" could not elevate runs without rights rather than relaunch for ever.
    if (isTheCopy(config.selfPath, tempFolder)) return true;
    // Elevation is read from the token: a start from the temporary folder without rights (a
    // download opened straight from a zip) is not taken for the copy.
    return processIsElevated() && isWithinFolder(config.selfPath, tempFolder);
}

RelaunchResult relaunchFromTempCopy(const std::wstring& arguments, HANDLE image) {
    const ProductConfig& config = productConfig();
    const std::wstring tempFolder = longTempFolder();
    if (tempFolder.empty()) return failure(L"Failed to establish temp name", L"Name Error");
    if (runsHere()) return {};

    DWORD error = 0;
    const std::wstring copyFolder = createCopyFolder(tempFolder, error);
    if (copyFolder.empty()) return failure(withCode(L"Failed to create temp folder", error), L"Create Error");
    const std::wstring copyPath = copyFolder + L"\\" + config.selfFileName;
    // From the handle held since the start, not by path: the file under the path may be another by now.
    const std::int32_t copied = image == INVALID_HANDLE_VALUE ? static_cast<std::int32_t>(ERROR_INVALID_HANDLE)
                                                              : copyFromHandle(image, copyPath);
    if (copied != 0) return failure(withCode(L"Failed to copy program", static_cast<DWORD>(copied)), L"Copy Error");
    RelaunchResult relaunched{RelaunchResult::Outcome::Relaunched, {}, {}, {}};
    relaunched.copy = shellExecuteProcess(L"runas", copyPath, arguments);
    return relaunched;
}
