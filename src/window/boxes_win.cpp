#include "window/boxes_win.h"

#include <windows.h>

#include "common/text.h"
#include "localization/text_table.h"
#include "system/message_texts_win.h"

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
    showErrorBox(result, addition);
}

void showFolderFailure(const std::wstring& separator, const std::wstring& folder) {
    showMessageBox(text(L"error_creating_folder") + separator + folder, text(L"IDS_TITLE_ERROR"), MB_OK);
}
