#include "system/shortcuts_win.h"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "startup/product_config.h"

namespace {
// Owns one COM interface pointer and releases it exactly once.
template <typename Interface>
class ComPointer {
public:
    ComPointer() = default;
    ~ComPointer() { reset(); }
    ComPointer(const ComPointer&) = delete;
    ComPointer& operator=(const ComPointer&) = delete;

    Interface* get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    // For the out-parameter of CoCreateInstance and QueryInterface.
    void** out() {
        reset();
        return reinterpret_cast<void**>(&pointer_);
    }
    void reset() {
        if (pointer_) pointer_->Release();
        pointer_ = nullptr;
    }

private:
    Interface* pointer_ = nullptr;
};

// Keeps the thread in a single-threaded apartment while the link object is used and
// balances a successful CoInitialize when it ends.
class ComApartment {
public:
    ComApartment() : initialized_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComApartment() {
        if (initialized_) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialized_;
};

constexpr DWORD allServerContexts =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

void deleteShortcutFile(const std::wstring& name) {
    const std::wstring path = desktopShortcutPath(name);
    if (path.empty()) return;
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) DeleteFileW(path.c_str());
}
}  // namespace

std::wstring desktopShortcutPath(const std::wstring& name) {
    wchar_t desktop[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOP, FALSE) || desktop[0] == L'\0') {
        return std::wstring();
    }
    return std::wstring(desktop) + L"\\" + name + L".lnk";
}

void createDesktopShortcut() {
    const ProductConfig config = productConfig();
    const std::wstring path = desktopShortcutPath(config.shortcutName);
    if (path.empty()) return;
    const ComApartment apartment;
    ComPointer<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, allServerContexts, IID_IShellLinkW, link.out())) || !link) {
        return;
    }
    const std::wstring target = config.installFolder + config.appExeName;
    link->SetPath(target.c_str());
    link->SetWorkingDirectory(config.installFolder.c_str());
    link->SetIconLocation(target.c_str(), 0);
    ComPointer<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.out())) || !file) return;
    file->Save(path.c_str(), TRUE);
}

void removeDesktopShortcuts() {
    const ProductConfig config = productConfig();
    deleteShortcutFile(config.shortcutName);
    deleteShortcutFile(config.productDisplayName);
}
