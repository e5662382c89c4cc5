// The desktop shortcut to the installed application.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "common/failure.h"
#include "system/handles_win.h"

// The path of the shortcut file "<name>.lnk" in the Desktop folder; empty when there is none.
std::wstring desktopShortcutPath(const std::wstring& name);
// The signed-in user's own token, for impersonation: the token of the process that owns the
// shell window of the user's desktop, which runs without elevation. Empty when there is no shell
// window (error ERROR_NOT_FOUND), when the shell runs as another account than this process (this
// process was elevated with another account's credentials: ERROR_ACCOUNT_RESTRICTION, and its own
// Desktop is its own), or with the error that stopped it.
KernelHandle signedInUserToken(DWORD& error);
// Runs step on this thread with the rights of token (an impersonation token) and returns to the
// process's own rights afterwards. When the impersonation cannot be made, step does not run and
// the failure is returned.
Failure withRightsOf(HANDLE token, const std::function<Failure()>& step);

// Both shortcut operations run with the signed-in user's rights (signedInUserToken), so that a
// Desktop redirected into a folder the user could not write gets nothing. Without a shell window
// (no one signed in to this desktop, as for a deployment tool's service) or for another account's
// Desktop they run with the process's own rights; the log says which.
// Creates the shortcut to the installed application, also in a Desktop that is a link or
// junction (where it points); ok when the file was saved, else the HRESULT of the call that
// failed with the shortcut's path. The thread stays in its COM apartment afterwards (later shell
// calls need it).
Failure createDesktopShortcut();
// Removes the shortcut under both names when it is our plain .lnk file, and nothing else.
void removeDesktopShortcuts();
