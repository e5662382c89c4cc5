#include "system/shortcuts_win.h"

#include <windows.h>
#include <knownfolders.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstring>
#include <string>

#include "common/product_config.h"
#include "system/handles_win.h"
#include "system/paths_win.h"

namespace {
constexpr DWORD allServerContexts =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

// The Desktop folder as the shell names it. A Desktop that is a link or junction to another
// folder (moved with mklink /J, or Wine's link to the home folder) gets the shortcut where the
// link points: the file is written through it.
std::wstring desktopFolder() { return knownFolderPath(FOLDERID_Desktop); }

// The first bytes of every shell link file: its header size and the link's class identifier.
constexpr unsigned char shellLinkHeader[20] = {0x4C, 0, 0, 0, 0x01, 0x14, 0x02, 0, 0, 0,
                                               0,    0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};

// Deletes the shortcut only when it is our plain .lnk file: a link, a folder, a file with other
// names (hard links) or a file that is no shell link under its name is not ours. Checked and
// deleted through one handle, so nothing can be put in its place in between.
void deleteShortcutFile(const std::wstring& name) {
    const std::wstring path = desktopShortcutPath(name);
    if (path.empty()) return;
    FileHandle file(CreateFileW(path.c_str(), DELETE | FILE_READ_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return;
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file.get(), &information)) return;
    if (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) return;
    if (information.nNumberOfLinks != 1) return;
    unsigned char header[sizeof shellLinkHeader] = {};
    DWORD read = 0;
    if (!ReadFile(file.get(), header, sizeof header, &read, nullptr) || read != sizeof header) return;
    if (std::memcmp(header, shellLinkHeader, sizeof header) != 0) return;
    FILE_DISPOSITION_INFO disposition{TRUE};
    SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof disposition);
}
}  // namespace

std::wstring desktopShortcutPath(const std::wstring& name) {
    const std::wstring desktop = desktopFolder();
    return desktop.empty() ? desktop : desktop + L"\\" + name + L".lnk";
}

namespace {
HRESULT saveShortcut(const ProductConfig& config, const std::wstring& path) {
    enterComApartment();
    ComPointer<IShellLinkW> link;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, allServerContexts, IID_IShellLinkW,
                                      reinterpret_cast<void**>(link.out()));
    if (FAILED(result)) return result;
    if (!link) return E_NOINTERFACE;
    const std::wstring target = config.installFolder + config.appExeName;
    link.get()->SetPath(target.c_str());
    link.get()->SetWorkingDirectory(config.installFolder.c_str());
    link.get()->SetIconLocation(target.c_str(), 0);
    ComPointer<IPersistFile> file;
    result = link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.out()));
    if (FAILED(result)) return result;
    if (!file) return E_NOINTERFACE;
    // Written under a new name of its own, then renamed over the shortcut's name: a link the user
    // placed under either name is never written through, only replaced.
    const std::wstring temporary =
        path + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64()) + L".tmp";
    if (GetFileAttributesW(temporary.c_str()) != INVALID_FILE_ATTRIBUTES) return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
    result = file.get()->Save(temporary.c_str(), TRUE);
    if (FAILED(result)) {
        DeleteFileW(temporary.c_str());
        return result;
    }
    if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        // Taken before the clean-up, whose own calls set the last error anew.
        result = HRESULT_FROM_WIN32(GetLastError());
        DeleteFileW(temporary.c_str());
        return result;
    }
    return S_OK;
}
}  // namespace

Failure createDesktopShortcut() {
    const ProductConfig config = productConfig();
    const std::wstring path = desktopShortcutPath(config.shortcutName);
    if (path.empty()) return Failure::hresult(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), config.shortcutName + L".lnk");
    return Failure::hresult(saveShortcut(config, path), path);
}

void removeDesktopShortcuts() {
    const ProductConfig config = productConfig();
    deleteShortcutFile(config.shortcutName);
    deleteShortcutFile(config.productDisplayName);
}
