// Folders that the shell knows by identifier.
#pragma once
#include <windows.h>
#include <shtypes.h>

#include <string>

// The folder's path without trailing backslash, or empty when the shell cannot supply it.
std::wstring knownFolderPath(REFKNOWNFOLDERID id);
