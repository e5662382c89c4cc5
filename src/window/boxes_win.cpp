#include "window/boxes_win.h"

#include <windows.h>

#include "common/text.h"
#include "download/download_win.h"
#include "localization/text_table.h"
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

void showErrorBox(std::int32_t code, const std::wstring& path, const std::wstring& addition) {
    if (code == 0) return;
    showMessageBox(withAddition(errorBoxBody(systemMessageText(code), code, path), addition), text(L"IDS_TITLE_ERROR"),
                   MB_OK);
}

void showDownloadFailure(const DownloadResult& result, const std::wstring& addition) {
    if (result.ok() || result.code == ABORTED) return;
    if (result.code == noConnection) {
        showMessageBox(withAddition(text(L"error_no_network"), addition), text(L"error_download"), MB_OK);
        return;
    }
    showErrorBox(result.code, result.shownName, addition);
}

void showFolderFailure(const std::wstring& separator, const std::wstring& folder) {
    showMessageBox(text(L"error_creating_folder") + separator + folder, text(L"IDS_TITLE_ERROR"), MB_OK);
}
