// The desktop shortcut to the installed application.
#pragma once
#include <string>

// The path of the shortcut file "<name>.lnk" in the Desktop folder; empty when there is none.
std::wstring desktopShortcutPath(const std::wstring& name);
// Creates the shortcut to the installed application; true when the file was saved. The thread
// stays in its COM apartment afterwards (later shell calls need it).
bool createDesktopShortcut();
void removeDesktopShortcuts();
