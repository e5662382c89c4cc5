#include "download/message_box_win.h"

#include <windows.h>

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
