#include "window/boxes_win.h"

#include <windows.h>

#include "common/text.h"
#include "download/download_win.h"
#include "localization/text_table.h"
#include "system/log_win.h"
#include "system/system_functions_win.h"

namespace {
int systemMessageBox(const std::wstring& text, const std::wstring& caption, unsigned flags) {
    return MessageBoxW(nullptr, text.c_str(), caption.c_str(), flags);
}

MessageBoxHook messageBox = systemMessageBox;
bool unattended = false;
}  // namespace

int showMessageBox(const std::wstring& text, const std::wstring& caption, unsigned flags) {
    if (unattended) {
        logLine(L"message (no box in an unattended run): " + caption + L": " + text);
        return IDOK;
    }
    return messageBox(text, caption, flags);
}

void setUnattended(bool value) { unattended = value; }

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

void endProcess(ExitCode code) {
    const UINT exitCode = unattended ? static_cast<UINT>(code) : 0;
    logLine(L"end: exit code " + std::to_wstring(exitCode));
    ExitProcess(exitCode);
}
