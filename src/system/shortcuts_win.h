// The desktop shortcut to the installed application.
#pragma once
#include <string>

std::wstring desktopShortcutPath(const std::wstring& name);
void createDesktopShortcut();
void removeDesktopShortcuts();
