#include "startup/temp_copy.h"

#include <cwchar>

#include "startup/command_line.h"

bool isInsideFolder(const std::wstring& path, const std::wstring& folder) {
    if (folder.empty()) return false;
    std::wstring prefix = lowerAscii(folder);
    if (prefix.back() != L'\\') prefix += L'\\';
    return lowerAscii(path).rfind(prefix, 0) == 0;
}

std::wstring copyFolderPath(const std::wstring& tempFolder, unsigned long processId, unsigned long attempt,
                            unsigned long long tick) {
    wchar_t name[64];
    std::swprintf(name, 64, L"LFD%lx-%lx-%llx", processId, attempt, tick);
    std::wstring folder = tempFolder;
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder + name;
}
