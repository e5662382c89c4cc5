#include "window/boxes_win.h"

#include <windows.h>
#include <wininet.h>

#include "common/text.h"
#include "download/proxy_rules.h"
#include "localization/text_table.h"
#include "system/message_texts_win.h"
#include "system/system_functions_win.h"

namespace {
int systemMessageBox(const std::wstring& text, const std::wstring& caption, unsigned flags) {
    return MessageBoxW(nullptr, text.c_str(), caption.c_str(), flags);
}

MessageBoxHook messageBox = systemMessageBox;
}  // namespace

int showMessageBox(const std::wstring& text, const std::wstring& caption, unsigned flags) {
    return messageBox(text, caption, flags);
}

void setMessageBoxHook(MessageBoxHook hook) { messageBox = hook ? hook : systemMessageBox; }

namespace {
std::wstring withAddition(const std::wstring& body, const std::wstring& addition) {
    return addition.empty() ? body : body + L"\n\n" + addition;
}
}  // namespace

void showErrorBox(const Failure& failure, const std::wstring& addition) {
    if (failure.ok()) return;
    const std::int32_t code = failure.shownCode();
    showMessageBox(withAddition(errorBoxBody(systemMessageText(code), code, failure.path), addition),
                   text(L"IDS_TITLE_ERROR"), MB_OK);
}

void showDownloadFailure(const Failure& result, const std::wstring& addition) {
    if (result.ok() || result.is(Special::Aborted)) return;
    if (result.is(Special::NoConnection)) {
        showMessageBox(withAddition(text(L"error_no_network"), addition), text(L"error_download"), MB_OK);
        return;
    }
    // The proxy's failures name the proxy server; nothing else is there to add.
    if (const NetworkCause proxyCause = proxyCauseOf(result); proxyCause != NetworkCause::Other) {
        showMessageBox(withAddition(text(networkCauseKey(proxyCause), {result.path}), addition), text(L"error_download"),
                       MB_OK);
        return;
    }
    // A certificate or TLS failure says which before the code's own description. None offers to go
    // on without the check.
    const NetworkCause cause = result.kind == Failure::Kind::Win32
                                   ? networkCauseOf(static_cast<std::int32_t>(result.code), false)
                                   : NetworkCause::Other;
    if (cause != NetworkCause::Other) {
        const std::int32_t code = result.shownCode();
        const std::wstring details = errorBoxBody(systemMessageText(code), code, result.path);
        showMessageBox(withAddition(withAddition(text(networkCauseKey(cause)), details), addition),
                       text(L"IDS_TITLE_ERROR"), MB_OK);
        return;
    }
    showErrorBox(result, addition);
}

bool askProxySignIn(void* request) {
    // The window when there is one; before it exists (the version check) the desktop.
    HWND owner = GetActiveWindow();
    if (!owner) owner = GetDesktopWindow();
    constexpr DWORD flags =
        FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA;
    const WinInetTable& net = winInet();
    return net.InternetErrorDlg &&
           net.InternetErrorDlg(owner, request, ERROR_INTERNET_INCORRECT_PASSWORD, flags, nullptr) ==
               ERROR_INTERNET_FORCE_RETRY;
}

void showFolderFailure(const std::wstring& separator, const std::wstring& folder) {
    showMessageBox(text(L"error_creating_folder") + separator + folder, text(L"IDS_TITLE_ERROR"), MB_OK);
}
