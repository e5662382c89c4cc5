// Names that screen readers read for the window's controls, in the current language.
#pragma once
#include <windows.h>

#include <string>

// The control answers the accessibility interface with its standard object under the given name
// (a list is otherwise named by its selected item, a progress bar by nothing). Calling it again
// renames the control.
void setAccessibleName(HWND control, const std::wstring& name);
