// What the user is told: the one way the installer shows a message box (tests capture the boxes
// instead of blocking on them, an unattended run logs them), and the boxes for failures that
// the lower layers report as results.
#pragma once
#include <string>

#include "common/failure.h"

// Shows a box with no owner window; returns what MessageBoxW returns (or what the hook returns).
int showMessageBox(const std::wstring& text, const std::wstring& caption, unsigned flags);

// Replaces the box with a function of the same shape; nullptr restores MessageBoxW.
using MessageBoxHook = int (*)(const std::wstring& text, const std::wstring& caption, unsigned flags);
void setMessageBoxHook(MessageBoxHook hook);

// The box for a failure: the description of its code (system, WinINet or HRESULT), the code and
// the last element of its path; nothing for no failure.
void showErrorBox(const Failure& failure, const std::wstring& addition = {});

// The box for a failed download: the no-connection box, or the error box naming the file;
// nothing for success or a cancelled download. A non-empty addition follows as its own paragraph.
void showDownloadFailure(const Failure& result, const std::wstring& addition = {});

// The standard Windows dialog for a proxy's credentials, over the window, for a request the proxy
// answered with 407; true when the user gave them.
bool askProxySignIn(void* request);

// The box for an install folder that could not be made: its text, separator, then the folder.
void showFolderFailure(const std::wstring& separator, const std::wstring& folder);
