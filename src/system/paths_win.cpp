#include "system/paths_win.h"

#include <knownfolders.h>
#include <shlobj.h>

#include "system/handles_win.h"

std::wstring knownFolderPath(REFKNOWNFOLDERID id) {
    TaskText path;
    if (FAILED(SHGetKnownFolderPath(id, 0, nullptr, path.out())) || !path) return std::wstring();
    return path.get();
}

std::wstring systemFolder() { return knownFolderPath(FOLDERID_System); }

std::wstring modulePath() {
    return readGrowing([](wchar_t* buffer, DWORD capacity) { return GetModuleFileNameW(nullptr, buffer, capacity); });
}

std::wstring longTempFolder() {
    const std::wstring temp = readGrowing([](wchar_t* buffer, DWORD capacity) { return GetTempPathW(capacity, buffer); });
    return temp.empty() ? temp : longPathOf(temp);
}

std::wstring longPathOf(const std::wstring& path) {
    const std::wstring longer = readGrowing(
        [&path](wchar_t* buffer, DWORD capacity) { return GetLongPathNameW(path.c_str(), buffer, capacity); });
    return longer.empty() ? path : longer;
}

std::wstring fullPathOf(const std::wstring& path) {
    return readGrowing([&path](wchar_t* buffer, DWORD capacity) {
        return GetFullPathNameW(path.c_str(), capacity, buffer, nullptr);
    });
}

std::wstring currentFolder() {
    return readGrowing([](wchar_t* buffer, DWORD capacity) { return GetCurrentDirectoryW(capacity, buffer); });
}

std::wstring environmentValue(const wchar_t* name) {
    return readGrowing([name](wchar_t* buffer, DWORD capacity) { return GetEnvironmentVariableW(name, buffer, capacity); });
}
