// Opening a document as the signed-in user: the shell of the user's desktop runs the "open" verb,
// so the program that shows it runs with the user's rights, never with those of this elevated copy.
#pragma once
#include <string>

#include "common/failure.h"

// Asks the desktop's shell (IShellWindows::FindWindowSW(SWC_DESKTOP), then its IShellDispatch2)
// to open path. Ok when the shell took the request; else the HRESULT of the step that failed, with
// the path. Nothing is opened by this process itself.
Failure openAsDesktopUser(const std::wstring& path);
