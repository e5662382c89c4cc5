#include "setup/uninstall_paths.h"

std::wstring folderToRemove(const std::wstring& recordedPath, const std::wstring& configuredFolder) {
    return recordedPath.empty() ? configuredFolder : recordedPath;
}

std::wstring vendorFolderOf(const std::wstring& installPath, const std::wstring& productWord) {
    const auto position = installPath.find(productWord);
    return position == std::wstring::npos ? std::wstring() : installPath.substr(0, position);
}
