#include "system/shortcuts_win.h"

#include <windows.h>
#include <knownfolders.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/product_config.h"
#include "system/handles_win.h"
#include "system/log_win.h"
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

namespace {
std::vector<unsigned char> tokenUser(HANDLE token) {
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size)) user.clear();
    return user;
}

bool sameUser(HANDLE a, HANDLE b) {
    const std::vector<unsigned char> first = tokenUser(a);
    const std::vector<unsigned char> second = tokenUser(b);
    return !first.empty() && !second.empty() &&
           EqualSid(reinterpret_cast<const TOKEN_USER*>(first.data())->User.Sid,
                    reinterpret_cast<const TOKEN_USER*>(second.data())->User.Sid);
}

// The step with the signed-in user's rights; with the process's own where there is no such user.
Failure asSignedInUser(const wchar_t* what, const std::function<Failure()>& step) {
    DWORD error = 0;
    const KernelHandle user = signedInUserToken(error);
    if (user) return withRightsOf(user.get(), step);
    if (error == ERROR_NOT_FOUND || error == ERROR_ACCOUNT_RESTRICTION) {
        logLine(std::wstring(what) + (error == ERROR_NOT_FOUND ? L": no shell of a signed-in user, with this process's rights"
                                                               : L": this account's own Desktop, with its own rights"));
        return step();
    }
    // A user whose rights cannot be taken: nothing is written with the administrator's instead.
    logLine(std::wstring(what) + L": the signed-in user's rights could not be taken: error " + std::to_wstring(error));
    return Failure::win32(error);
}
}  // namespace

KernelHandle signedInUserToken(DWORD& error) {
    error = ERROR_NOT_FOUND;
    const HWND shell = GetShellWindow();
    DWORD processId = 0;
    if (!shell || !GetWindowThreadProcessId(shell, &processId) || processId == 0) return {};
    KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    KernelHandle token;
    KernelHandle own;
    if (!process || !OpenProcessToken(process.get(), TOKEN_QUERY | TOKEN_DUPLICATE, token.out()) ||
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, own.out())) {
        error = GetLastError();
        return {};
    }
    if (!sameUser(token.get(), own.get())) {
        error = ERROR_ACCOUNT_RESTRICTION;
        return {};
    }
    KernelHandle impersonation;
    if (!DuplicateTokenEx(token.get(), TOKEN_IMPERSONATE | TOKEN_QUERY, nullptr, SecurityImpersonation,
                          TokenImpersonation, impersonation.out())) {
        error = GetLastError();
        return {};
    }
    error = 0;
    return impersonation;
}

Failure withRightsOf(HANDLE token, const std::function<Failure()>& step) {
    if (!SetThreadToken(nullptr, token)) return Failure::win32(GetLastError());
    const Failure result = step();
    // Back to the process's own rights before this thread does anything else. Should that fail,
    // the thread goes on with the user's (smaller) rights: said, never hidden.
    if (!RevertToSelf()) logLine(L"the thread could not return to its own rights: error " + std::to_wstring(GetLastError()));
    return result;
}

Failure createDesktopShortcut() {
    const ProductConfig config = productConfig();
    std::wstring path = config.shortcutName + L".lnk";
    const Failure made = asSignedInUser(L"shortcut", [&config, &path] {
        path = desktopShortcutPath(config.shortcutName);
        if (path.empty()) return Failure::hresult(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), config.shortcutName + L".lnk");
        return Failure::hresult(saveShortcut(config, path), path);
    });
    if (made.ok() || !made.path.empty()) return made;
    Failure named = made;
    named.path = path;
    return named;
}

void removeDesktopShortcuts() {
    const ProductConfig config = productConfig();
    asSignedInUser(L"shortcut removal", [&config] {
        deleteShortcutFile(config.shortcutName);
        deleteShortcutFile(config.productDisplayName);
        return Failure{};
    });
}
