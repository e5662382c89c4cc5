// Which folders an uninstallation removes.
#pragma once
#include <string>

// The recorded install path, or the configured install folder when none is recorded.
std::wstring folderToRemove(const std::wstring& recordedPath, const std::wstring& configuredFolder);

// The part of the install path before the product word (the vendor folder), or empty when the
// word does not occur.
std::wstring vendorFolderOf(const std::wstring& installPath, const std::wstring& productWord);
