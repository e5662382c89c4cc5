// File-system helpers of the start-up, the install and the uninstall sequences.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/failure.h"
#include "system/handles_win.h"

enum class PathState { Exists, Missing, Unknown };

// Reads the path's attributes: the not-found family of errors means Missing.
PathState pathState(const std::wstring& path);
bool pathExists(const std::wstring& path);
// Creates the folder and every missing parent; ok when the folder exists afterwards, else the
// error of the step that failed (ERROR_DIRECTORY where a file stands in the way).
Failure createFolderWithParents(const std::wstring& folder);
// Deletes a file or an empty folder; a missing path is no error.
bool removePath(const std::wstring& path);
// Removes a folder with everything in it, stopping at the first entry that cannot be removed
// (the failure names it). A file held by another program is tried again for about two seconds:
// the shell or a scanner that looks at a file just written lets it go within that time.
// Refuses drive roots, the Windows folder, Program Files folders and user profile folders: a
// refused folder is a failure (ERROR_ACCESS_DENIED with the folder), never a
// removal reported as done.
Failure removeFolderTree(const std::wstring& folder);

// The bytes of the files in a folder and all its subfolders; a linked folder or file is not
// entered or counted (what it points to is not the folder's), and what cannot be listed counts 0.
std::uint64_t folderBytes(const std::wstring& folder);
// Deletes the plain files directly inside a folder (path ends with a backslash).
// Refuses the same folders as removeFolderTree.
void deleteFilesInFolder(const std::wstring& folder);

// The system's own folders that are never removed, and the folders whose direct
// subfolders are user profiles; asked of the shell on every call.
std::vector<std::wstring> protectedSystemFolders();
std::vector<std::wstring> userProfileRoots();
// Whether removeFolderTree and deleteFilesInFolder may work on this folder.
bool folderTreeRemovalAllowed(const std::wstring& folder);

// The running executable's file, opened for reading and shared for reading only: while the handle
// lives, nobody can rename, replace or write the file the elevated process was started from.
FileHandle openOwnImage();
// Creates the file (creation: CREATE_ALWAYS or CREATE_NEW) and writes all bytes; 0 or the error.
// A file left incomplete is deleted, so that a cut-off program or batch file is never run.
std::int32_t writeWholeFile(const std::wstring& path, const void* data, DWORD size, DWORD creation);
// Reads the whole file behind the handle (from its start); 0 or the error.
std::int32_t readFromHandle(HANDLE source, std::vector<unsigned char>& bytes);
// Copies the whole file behind the handle (from its start) to a new file at target, which must
// not exist yet; 0 or the error. An incomplete copy is deleted.
std::int32_t copyFromHandle(HANDLE source, const std::wstring& target);
// Whether the bytes are the file of this process's running image: the headers and every section
// it does not write at run time, relocated to where it was loaded (fileMatchesImage). The image
// was what the user approved at the elevation; the file under its name may have been changed since.
bool isRunningImage(const std::vector<unsigned char>& file);
// Whether both paths name the same existing folder, compared by the file system's identity of
// the folder (volume and file index), not by spelling: short names, case, links and trailing
// separators do not matter.
bool isSameFolder(const std::wstring& a, const std::wstring& b);
// Whether the path lies inside the folder (at any depth), by the identity of its parent folders.
bool isWithinFolder(const std::wstring& path, const std::wstring& folder);
