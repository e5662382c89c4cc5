#include "download/error_box_win.h"

#include <windows.h>

#include "download/error_text.h"
#include "download/message_box_win.h"
#include "localization/text_table.h"

std::wstring systemMessageText(std::int32_t code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    // Kept exactly as the system gives it, trailing line break included.
    std::wstring message = (length != 0 && buffer) ? std::wstring(buffer, length) : std::wstring();
    if (buffer) LocalFree(buffer);
    return message;
}

void showErrorBox(std::int32_t code, std::wstring path) {
    if (code == 0) return;
    showMessageBox(errorBoxBody(systemMessageText(code), code, path), text(L"IDS_TITLE_ERROR"), MB_OK);
}
