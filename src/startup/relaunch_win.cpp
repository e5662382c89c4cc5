#include "startup/relaunch_win.h"

#include <windows.h>
#include <knownfolders.h>

#include "common/product_config.h"
#include "common/text.h"
#include "startup/command_line.h"
#include "system/paths_win.h"
#include "system/processes_win.h"

namespace {
RelaunchResult failure(const std::wstring& message, const wchar_t* caption) {
    return {RelaunchResult::Outcome::Failed, message, caption};
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
}  // namespace

void configureProduct(const std::wstring& baseUrl) {
    setProductConfig(makeProductConfig(baseUrl, knownFolderPath(FOLDERID_ProgramFilesX86), modulePath()));
}

RelaunchResult relaunchFromTempCopy(const std::wstring& commandLine) {
    const ProductConfig& config = productConfig();
    // The long form, so that a short (8.3) form cannot make the copy fail to recognise itself
    // and relaunch again and again.
    const std::wstring tempFolder = longTempFolder();
    if (tempFolder.empty()) return failure(L"Failed to establish temp name", L"Name Error");
    if (isInsideFolder(longPathOf(config.selfPath), tempFolder)) return {};

    DWORD error = 0;
    const std::wstring copyFolder = createCopyFolder(tempFolder, error);
    if (copyFolder.empty()) return failure(withCode(L"Failed to create temp folder", error), L"Create Error");
    const std::wstring copyPath = copyFolder + L"\\" + config.selfFileName;
    if (!CopyFileW(config.selfPath.c_str(), copyPath.c_str(), TRUE)) {
        return failure(withCode(L"Failed to copy program", GetLastError()), L"Copy Error");
    }
    shellExecute(L"runas", copyPath, commandLine);
    return {RelaunchResult::Outcome::Relaunched, {}, {}};
}
