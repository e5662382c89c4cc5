#include "system/shortcuts_win.h"

#include <windows.h>
#include <knownfolders.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "common/product_config.h"
#include "system/handles_win.h"
#include "system/paths_win.h"

namespace {
constexpr DWORD allServerContexts =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

void deleteShortcutFile(const std::wstring& name) {
    const std::wstring path = desktopShortcutPath(name);
    if (path.empty()) return;
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) DeleteFileW(path.c_str());
}
}  // namespace

std::wstring desktopShortcutPath(const std::wstring& name) {
    const std::wstring desktop = knownFolderPath(FOLDERID_Desktop);
    return desktop.empty() ? desktop : desktop + L"\\" + name + L".lnk";
}

bool createDesktopShortcut() {
    const ProductConfig config = productConfig();
    const std::wstring path = desktopShortcutPath(config.shortcutName);
    if (path.empty()) return false;
    enterComApartment();
    ComPointer<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, allServerContexts, IID_IShellLinkW,
                                reinterpret_cast<void**>(link.out()))) ||
        !link) {
        return false;
    }
    const std::wstring target = config.installFolder + config.appExeName;
    link.get()->SetPath(target.c_str());
    link.get()->SetWorkingDirectory(config.installFolder.c_str());
    link.get()->SetIconLocation(target.c_str(), 0);
    ComPointer<IPersistFile> file;
    if (FAILED(link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.out()))) || !file) {
        return false;
    }
    return SUCCEEDED(file.get()->Save(path.c_str(), TRUE));
}

void removeDesktopShortcuts() {
    const ProductConfig config = productConfig();
    deleteShortcutFile(config.shortcutName);
    deleteShortcutFile(config.productDisplayName);
}
