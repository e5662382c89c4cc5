#include "system/path_guard.h"

#include "common/text.h"

namespace {
bool isLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

bool startsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Number of backslash-separated pieces after the leading "\\" of a UNC path.
size_t uncPieceCount(const std::wstring& key) {
    size_t pieces = 0;
    bool inPiece = false;
    for (size_t i = 2; i < key.size(); ++i) {
        if (key[i] == L'\\') {
            inPiece = false;
        } else if (!inPiece) {
            inPiece = true;
            ++pieces;
        }
    }
    return pieces;
}
}  // namespace

bool isDriveRoot(const std::wstring& path) {
    const std::wstring key = pathCompareKey(path);
    if (key.size() == 2 && isLetter(key[0]) && key[1] == L':') return true;
    return startsWith(key, L"\\\\") && uncPieceCount(key) <= 2;
}

bool isProtectedFolder(const std::wstring& path, const std::vector<std::wstring>& protectedFolders) {
    const std::wstring key = pathCompareKey(path);
    if (key.empty() || isDriveRoot(path)) return true;
    for (const std::wstring& folder : protectedFolders) {
        const std::wstring protectedKey = pathCompareKey(folder);
        if (!protectedKey.empty() && protectedKey == key) return true;
    }
    return false;
}

bool isDirectChildOf(const std::wstring& path, const std::wstring& parent) {
    const std::wstring key = pathCompareKey(path);
    const std::wstring parentKey = pathCompareKey(parent);
    if (parentKey.empty() || key.size() <= parentKey.size() + 1) return false;
    if (!startsWith(key, parentKey) || key[parentKey.size()] != L'\\') return false;
    return key.find(L'\\', parentKey.size() + 1) == std::wstring::npos;
}

bool folderRemovalAllowed(const std::wstring& path, const std::vector<std::wstring>& protectedFolders,
                          const std::vector<std::wstring>& profileRoots) {
    if (path.find(L"..") != std::wstring::npos) return false;
    const std::wstring key = pathCompareKey(path);
    if (startsWith(key, L"\\\\?\\") || startsWith(key, L"\\\\.\\")) return false;
    const bool driveQualified = key.size() >= 3 && isLetter(key[0]) && key[1] == L':' && key[2] == L'\\';
    const bool uncQualified = startsWith(key, L"\\\\");
    if (!driveQualified && !uncQualified) return false;
    if (isProtectedFolder(path, protectedFolders)) return false;
    for (const std::wstring& root : profileRoots) {
        if (isDirectChildOf(path, root)) return false;
    }
    return true;
}
