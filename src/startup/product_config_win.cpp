#include <windows.h>
#include <knownfolders.h>

#include "startup/product_config.h"
#include "system/known_folders_win.h"

std::wstring systemFolder() { return knownFolderPath(FOLDERID_System); }

void configureProduct(const std::wstring& baseUrl) {
    wchar_t modulePath[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, modulePath, MAX_PATH);
    setProductConfig(makeProductConfig(baseUrl, knownFolderPath(FOLDERID_ProgramFilesX86), modulePath));
}
