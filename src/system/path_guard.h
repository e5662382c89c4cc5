// Which folders the uninstaller may remove: rules that need no Windows call.
#pragma once
#include <string>
#include <vector>

// "C:", "C:\" and the like, and the root of a network share ("\\server\share").
bool isDriveRoot(const std::wstring& path);

// True for a folder that must never be removed: an empty path (nothing to remove), a drive
// root, or one of protectedFolders. Compared without regard to case or trailing backslashes.
bool isProtectedFolder(const std::wstring& path, const std::vector<std::wstring>& protectedFolders);

// True when path names a folder directly inside parent (C:\Users\name inside C:\Users).
bool isDirectChildOf(const std::wstring& path, const std::wstring& parent);

// The whole rule for a recursive removal: only a fully qualified path ("X:\..." or
// "\\server\share\..."), without "..", not a device path ("\\?\", "\\.\"), not protected,
// and not a profile folder directly inside one of profileRoots.
bool folderRemovalAllowed(const std::wstring& path, const std::vector<std::wstring>& protectedFolders,
                          const std::vector<std::wstring>& profileRoots);
