// The one way the installer shows a message box, so that tests can capture boxes instead
// of blocking on them.
#pragma once
#include <string>

// Shows a box with no owner window; returns what MessageBoxW returns (or what the hook returns).
int showMessageBox(const std::wstring& text, const std::wstring& caption, unsigned flags);

// Replaces the box with a function of the same shape; nullptr restores MessageBoxW.
using MessageBoxHook = int (*)(const std::wstring& text, const std::wstring& caption, unsigned flags);
void setMessageBoxHook(MessageBoxHook hook);
