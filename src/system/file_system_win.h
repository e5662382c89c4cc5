// File-system helpers of the install and uninstall sequences.
#pragma once
#include <string>
#include <vector>

enum class PathState { Exists, Missing, Unknown };

// Reads the path's attributes: the not-found family of errors means Missing.
PathState pathState(const std::wstring& path);
bool pathExists(const std::wstring& path);
// Creates the folder and every missing parent; true when the folder exists afterwards.
bool createFolderWithParents(const std::wstring& folder);
// Deletes a file or an empty folder; a missing path is no error.
bool removePath(const std::wstring& path);
// Removes a folder with everything in it, stopping at the first entry that cannot be removed.
// Refuses drive roots, the Windows folder, Program Files folders and user profile folders.
void removeFolderTree(const std::wstring& folder);
// Deletes the plain files directly inside a folder (path ends with a backslash).
// Refuses the same folders as removeFolderTree.
void deleteFilesInFolder(const std::wstring& folder);

// The system's own folders that are never removed, and the folders whose direct
// subfolders are user profiles; asked of the shell on every call.
std::vector<std::wstring> protectedSystemFolders();
std::vector<std::wstring> userProfileRoots();
// Whether removeFolderTree and deleteFilesInFolder may work on this folder.
bool folderTreeRemovalAllowed(const std::wstring& folder);
