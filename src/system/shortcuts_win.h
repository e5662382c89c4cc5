// The desktop shortcut to the installed application.
#pragma once
#include <string>

#include "common/failure.h"

// The path of the shortcut file "<name>.lnk" in the Desktop folder; empty when there is none.
std::wstring desktopShortcutPath(const std::wstring& name);
// Creates the shortcut to the installed application, also in a Desktop that is a link or
// junction (where it points); ok when the file was saved, else the HRESULT of the call that
// failed with the shortcut's path. The thread stays in its COM apartment afterwards (later shell
// calls need it).
Failure createDesktopShortcut();
// Removes the shortcut under both names when it is our plain .lnk file, and nothing else.
void removeDesktopShortcuts();
