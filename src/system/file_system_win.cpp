#include "system/file_system_win.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "system/handles_win.h"
#include "system/image_match.h"
#include "system/path_guard.h"
#include "system/paths_win.h"

namespace {
bool isNotFoundError(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER:
    case ERROR_BAD_PATHNAME:
        return true;
    default:
        return false;
    }
}

std::wstring withoutTrailingBackslashes(std::wstring path) {
    while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return path;
}

// The absolute, long form of a path, so that "C:\WINDOWS\.", "C:/Windows" or a short
// 8.3 name cannot slip past the comparison with the protected folders.
std::wstring resolvedPath(const std::wstring& path) {
    const std::wstring full = fullPathOf(path);
    return full.empty() ? full : longPathOf(full);
}

bool isDirectory(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

bool isLinkedFolder(DWORD attributes) { return isDirectory(attributes) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT); }

struct FolderEntry {
    std::wstring name;
    DWORD attributes;
    std::uint64_t size;
};

// The folder's entries in the order the file system lists them, read completely before
// anything is deleted so that deletions cannot disturb the listing.
bool listFolder(const std::wstring& folder, std::vector<FolderEntry>& entries) {
    WIN32_FIND_DATAW data = {};
    const std::wstring pattern = folder + L"\\*";
    FindHandle find(FindFirstFileW(pattern.c_str(), &data));
    if (!find) return false;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") {
            entries.push_back({name, data.dwFileAttributes,
                               (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow});
        }
    } while (FindNextFileW(find.get(), &data));
    return true;
}

// A file that was just written is often opened for a moment by someone else: the shell reads
// the icon of a program a new desktop shortcut names, a virus scanner looks at a new program.
// Such a look ends within a second or two; a program that holds the file for longer is in use.
constexpr DWORD heldFileRetries = 20;
constexpr DWORD heldFileRetryMs = 100;

bool isHeldError(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED; }

// Read-only entries are removed like the rest: the whole tree is being taken away,
// as "del /f" and "rd /s" do.
bool deleteEntry(const std::wstring& path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (isDirectory(attributes)) return RemoveDirectoryW(path.c_str()) != 0;
    for (DWORD attempt = 0;; ++attempt) {
        if (DeleteFileW(path.c_str())) return true;
        const DWORD error = GetLastError();
        if (attempt == heldFileRetries || !isHeldError(error)) return false;
        Sleep(heldFileRetryMs);
    }
}

Failure removalFailure(const std::wstring& path) { return Failure::win32(GetLastError(), path); }

// Depth first; ends at the first entry that cannot be removed and names it.
// A linked folder (junction, symbolic link) is removed as a link; what it points to is
// not ours and is never entered.
Failure removeContents(const std::wstring& folder) {
    std::vector<FolderEntry> entries;
    if (!listFolder(folder, entries)) return removalFailure(folder);
    for (const FolderEntry& entry : entries) {
        const std::wstring path = folder + L"\\" + entry.name;
        if (isDirectory(entry.attributes) && !isLinkedFolder(entry.attributes)) {
            Failure inner = removeContents(path);
            if (!inner.ok()) return inner;
        }
        if (!deleteEntry(path, entry.attributes)) return removalFailure(path);
    }
    return {};
}
}  // namespace

PathState pathState(const std::wstring& path) {
    if (path.empty()) return PathState::Missing;
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return PathState::Exists;
    return isNotFoundError(GetLastError()) ? PathState::Missing : PathState::Unknown;
}

bool pathExists(const std::wstring& path) { return pathState(path) == PathState::Exists; }

Failure createFolderWithParents(const std::wstring& folder) {
    std::wstring path = withoutTrailingBackslashes(folder);
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    if (path.empty()) return Failure::win32(ERROR_PATH_NOT_FOUND, folder);
    // The drive ("C:\") or the share ("\\server\share\") is never created.
    size_t start = 0;
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') {
        start = 3;
    } else if (path.rfind(L"\\\\", 0) == 0) {
        const size_t server = path.find(L'\\', 2);
        const size_t share = server == std::wstring::npos ? server : path.find(L'\\', server + 1);
        if (share == std::wstring::npos) return Failure::win32(ERROR_BAD_PATHNAME, folder);
        start = share + 1;
    }
    while (start <= path.size()) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) end = path.size();
        const std::wstring prefix = path.substr(0, end);
        start = end + 1;
        if (prefix.empty() || prefix.back() == L'\\') continue;
        const DWORD attributes = GetFileAttributesW(prefix.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if (!isDirectory(attributes)) return Failure::win32(ERROR_DIRECTORY, prefix);
            continue;
        }
        if (!CreateDirectoryW(prefix.c_str(), nullptr)) {
            // Taken before the look that follows, which sets the last error of its own.
            const DWORD failed = GetLastError();
            const DWORD now = GetFileAttributesW(prefix.c_str());
            if (now == INVALID_FILE_ATTRIBUTES || !isDirectory(now)) return Failure::win32(failed, prefix);
        }
    }
    return {};
}

bool removePath(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return pathState(path) == PathState::Missing;
    return isDirectory(attributes) ? RemoveDirectoryW(path.c_str()) != 0 : DeleteFileW(path.c_str()) != 0;
}

std::vector<std::wstring> protectedSystemFolders() {
    std::vector<std::wstring> folders;
    const KNOWNFOLDERID* ids[] = {
        &FOLDERID_Windows,           &FOLDERID_System,                &FOLDERID_SystemX86,
        &FOLDERID_ProgramFiles,      &FOLDERID_ProgramFilesX86,       &FOLDERID_ProgramFilesX64,
        &FOLDERID_ProgramFilesCommon, &FOLDERID_ProgramFilesCommonX86, &FOLDERID_ProgramFilesCommonX64,
        &FOLDERID_ProgramData,       &FOLDERID_UserProfiles,          &FOLDERID_Profile,
        &FOLDERID_Public,            &FOLDERID_Desktop,               &FOLDERID_Documents,
        &FOLDERID_LocalAppData,      &FOLDERID_RoamingAppData,
    };
    for (const KNOWNFOLDERID* id : ids) {
        const std::wstring folder = knownFolderPath(*id);
        if (!folder.empty()) folders.push_back(folder);
    }
    // A 32-bit process is not given the 64-bit Program Files folders as known folders.
    for (const wchar_t* name : {L"ProgramW6432", L"CommonProgramW6432", L"ProgramFiles", L"ProgramFiles(x86)",
                                L"SystemRoot", L"windir"}) {
        const std::wstring folder = environmentValue(name);
        if (!folder.empty()) folders.push_back(folder);
    }
    return folders;
}

std::vector<std::wstring> userProfileRoots() {
    std::vector<std::wstring> roots;
    const std::wstring profiles = knownFolderPath(FOLDERID_UserProfiles);
    if (!profiles.empty()) roots.push_back(profiles);
    // Also the folder that holds the current profile, should it lie elsewhere.
    for (const KNOWNFOLDERID* id : {&FOLDERID_Profile, &FOLDERID_Public}) {
        const std::wstring profile = withoutTrailingBackslashes(knownFolderPath(*id));
        const size_t slash = profile.rfind(L'\\');
        if (slash != std::wstring::npos && slash > 0) roots.push_back(profile.substr(0, slash));
    }
    return roots;
}

bool folderTreeRemovalAllowed(const std::wstring& folder) {
    const std::vector<std::wstring> protectedFolders = protectedSystemFolders();
    const std::vector<std::wstring> profileRoots = userProfileRoots();
    if (!folderRemovalAllowed(folder, protectedFolders, profileRoots)) return false;
    const std::wstring resolved = resolvedPath(folder);
    return !resolved.empty() && folderRemovalAllowed(resolved, protectedFolders, profileRoots);
}

Failure removeFolderTree(const std::wstring& folder) {
    if (!folderTreeRemovalAllowed(folder)) return Failure::win32(ERROR_ACCESS_DENIED, folder);
    const std::wstring root = withoutTrailingBackslashes(resolvedPath(folder));
    const DWORD attributes = GetFileAttributesW(root.c_str());
    // Nothing there, a state that cannot be read, or a file: no folder tree to remove.
    if (attributes == INVALID_FILE_ATTRIBUTES || !isDirectory(attributes)) return {};
    if (!isLinkedFolder(attributes)) {
        Failure contents = removeContents(root);
        if (!contents.ok()) return contents;
    }
    return deleteEntry(root, attributes) ? Failure{} : removalFailure(root);
}

void deleteFilesInFolder(const std::wstring& folder) {
    if (!folderTreeRemovalAllowed(folder)) return;
    const std::wstring base = withoutTrailingBackslashes(folder);
    std::vector<FolderEntry> entries;
    if (!listFolder(base, entries)) return;
    for (const FolderEntry& entry : entries) {
        if (!isDirectory(entry.attributes)) DeleteFileW((base + L"\\" + entry.name).c_str());
    }
}

FileHandle openOwnImage() {
    const std::wstring self = modulePath();
    return FileHandle(CreateFileW(self.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::int32_t writeWholeFile(const std::wstring& path, const void* data, DWORD size, DWORD creation) {
    DWORD error = 0;
    {
        FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return static_cast<std::int32_t>(GetLastError());
        DWORD written = 0;
        if (size != 0 && !WriteFile(file.get(), data, size, &written, nullptr)) error = GetLastError();
        if (error == 0 && written != size) error = ERROR_WRITE_FAULT;
        if (error == 0 && !FlushFileBuffers(file.get())) error = GetLastError();
    }
    if (error != 0) DeleteFileW(path.c_str());
    return static_cast<std::int32_t>(error);
}

std::int32_t readFromHandle(HANDLE source, std::vector<unsigned char>& bytes) {
    LARGE_INTEGER start{};
    LARGE_INTEGER size{};
    if (!SetFilePointerEx(source, start, nullptr, FILE_BEGIN) || !GetFileSizeEx(source, &size)) {
        return static_cast<std::int32_t>(GetLastError());
    }
    // The installer is about a megabyte: read whole.
    if (size.QuadPart > 0x7FFFFFFF) return ERROR_FILE_TOO_LARGE;
    bytes.assign(static_cast<std::size_t>(size.QuadPart), 0);
    DWORD total = 0;
    while (total < bytes.size()) {
        DWORD read = 0;
        if (!ReadFile(source, bytes.data() + total, static_cast<DWORD>(bytes.size()) - total, &read, nullptr)) {
            return static_cast<std::int32_t>(GetLastError());
        }
        if (read == 0) return ERROR_HANDLE_EOF;
        total += read;
    }
    return 0;
}

std::int32_t copyFromHandle(HANDLE source, const std::wstring& target) {
    std::vector<unsigned char> bytes;
    if (const std::int32_t read = readFromHandle(source, bytes); read != 0) return read;
    return writeWholeFile(target, bytes.data(), static_cast<DWORD>(bytes.size()), CREATE_NEW);
}

bool isRunningImage(const std::vector<unsigned char>& file) {
    const auto* base = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
    if (!base) return false;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return fileMatchesImage(file, base, nt->OptionalHeader.SizeOfImage, reinterpret_cast<std::uintptr_t>(base));
}

namespace {
struct FolderIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    bool known = false;
    bool operator==(const FolderIdentity& other) const {
        return known && other.known && volume == other.volume && indexHigh == other.indexHigh &&
               indexLow == other.indexLow;
    }
};

FolderIdentity identityOf(const std::wstring& folder) {
    FolderIdentity identity;
    FileHandle handle(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!handle || !GetFileInformationByHandle(handle.get(), &information)) return identity;
    if (!(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return identity;
    identity = {information.dwVolumeSerialNumber, information.nFileIndexHigh, information.nFileIndexLow, true};
    return identity;
}
}  // namespace

bool isSameFolder(const std::wstring& a, const std::wstring& b) { return identityOf(a) == identityOf(b); }

bool isWithinFolder(const std::wstring& path, const std::wstring& folder) {
    const FolderIdentity target = identityOf(folder);
    if (!target.known) return false;
    std::wstring parent = withoutTrailingBackslashes(path);
    for (std::size_t slash = parent.find_last_of(L"\\/"); slash != std::wstring::npos && slash > 0;
         slash = parent.find_last_of(L"\\/")) {
        parent.resize(slash);
        // "C:" names the current folder of drive C, not its root.
        const std::wstring candidate = parent.size() == 2 && parent[1] == L':' ? parent + L"\\" : parent;
        if (identityOf(candidate) == target) return true;
    }
    return false;
}

std::uint64_t folderBytes(const std::wstring& folder) {
    const std::wstring base = folder.size() > 3 && folder.back() == L'\\' ? folder.substr(0, folder.size() - 1) : folder;
    std::vector<FolderEntry> entries;
    if (!listFolder(base, entries)) return 0;
    std::uint64_t total = 0;
    for (const FolderEntry& entry : entries) {
        if (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
        total += isDirectory(entry.attributes) ? folderBytes(base + L"\\" + entry.name) : entry.size;
    }
    return total;
}
