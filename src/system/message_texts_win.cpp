#include "system/message_texts_win.h"

#include <windows.h>
#include <wininet.h>

#include "system/handles_win.h"
#include "system/system_functions_win.h"

std::wstring systemMessageText(std::int32_t code) {
    // WinINet's codes are described by its own message table, not the system's: without it a
    // refused connection would read "unknown error".
    const bool winInetCode = code >= INTERNET_ERROR_BASE + 1 && code <= INTERNET_ERROR_BASE + 175;
    const HMODULE source = winInetCode ? winInet().module : nullptr;
    LocalText buffer;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                            (source ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM),
                                        source, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(buffer.out()),
                                        0, nullptr);
    // Kept exactly as the table gives it, trailing line break included.
    return (length != 0 && buffer) ? std::wstring(buffer.get(), length) : std::wstring();
}
