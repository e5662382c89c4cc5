// Running the installer from an elevated copy in the user's temporary folder.
#pragma once
#include <string>

// Returns only in the copy; any other process starts the copy with the same (lower-cased)
// arguments and ends with exit code 0.
void relaunchFromTempCopy(const std::wstring& commandLine);
