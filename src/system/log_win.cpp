#include "system/log_win.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "common/product_config.h"
#include "system/file_system_win.h"
#include "system/handles_win.h"
#include "system/paths_win.h"

namespace {
std::wstring logPath;

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string bytes(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                            nullptr);
    }
    return bytes;
}

// The file for appending, refused when it is a link: the elevated copy must never write through a
// link that a process of the user placed under the log's name (in the temporary folder, say).
FileHandle openForAppending(const std::wstring& path) {
    FileHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return file;
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file.get(), &information) ||
        (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        information.nNumberOfLinks != 1) {
        return FileHandle();
    }
    return file;
}

bool append(const std::wstring& path, const std::string& bytes) {
    const FileHandle file = openForAppending(path);
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}
}  // namespace

bool openLog(const std::wstring& path) {
    logPath.clear();
    if (path.empty()) return false;
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos && slash > 0) createFolderWithParents(path.substr(0, slash));
    if (!append(path, {})) return false;
    logPath = path;
    return true;
}

void logLine(const std::wstring& text) {
    if (logPath.empty()) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u [%lu] ", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, GetCurrentProcessId());
    append(logPath, stamp + utf8(text) + "\r\n");
}

std::wstring defaultLogPath() {
    const std::wstring temp = longTempFolder();
    return temp.empty() ? std::wstring() : temp + defaultLogFileName;
}
