#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "startup/product_config.h"

namespace {
std::wstring knownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::wstring result;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)) && path) result = path;
    CoTaskMemFree(path);
    return result;
}
}  // namespace

std::wstring systemFolder() { return knownFolder(FOLDERID_System); }

void configureProduct(const std::wstring& baseUrl) {
    wchar_t modulePath[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, modulePath, MAX_PATH);
    setProductConfig(makeProductConfig(baseUrl, knownFolder(FOLDERID_ProgramFilesX86), modulePath));
}
