// Making sure the install folder exists before anything is written into it.
#pragma once
#include <string>

// Creates the install folder (with its parents) when it is missing. When that fails, shows the
// "error_creating_folder" box (its text, separator, then the folder) and ends the process.
void ensureInstallFolderOrExit(const std::wstring& separator);
