#include "system/shortcuts_win.h"

#include <windows.h>
#include <knownfolders.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

#include "common/product_config.h"
#include "system/handles_win.h"
#include "system/paths_win.h"

namespace {
constexpr DWORD allServerContexts =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

bool isReparsePoint(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The Desktop folder, unless it is a link: the user controls it, and an administrator's write or
// delete there must not be led into another folder.
std::wstring desktopFolder() {
    const std::wstring desktop = knownFolderPath(FOLDERID_Desktop);
    return desktop.empty() || isReparsePoint(GetFileAttributesW(desktop.c_str())) ? std::wstring() : desktop;
}

// The shortcut's name under the Desktop folder as it is, for a box about a refused Desktop.
std::wstring desktopFolderName(const std::wstring& name) { return knownFolderPath(FOLDERID_Desktop) + L"\\" + name + L".lnk"; }

// Deletes the shortcut only when it is a plain file: a link or a folder under its name is not ours.
void deleteShortcutFile(const std::wstring& name) {
    const std::wstring path = desktopShortcutPath(name);
    if (path.empty()) return;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || isReparsePoint(attributes) || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return;
    }
    DeleteFileW(path.c_str());
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
    if (path.empty()) {
        return Failure::hresult(HRESULT_FROM_WIN32(ERROR_CANT_ACCESS_FILE), desktopFolderName(config.shortcutName));
    }
    return Failure::hresult(saveShortcut(config, path), path);
}

void removeDesktopShortcuts() {
    const ProductConfig config = productConfig();
    deleteShortcutFile(config.shortcutName);
    deleteShortcutFile(config.productDisplayName);
}
