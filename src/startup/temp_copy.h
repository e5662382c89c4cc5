// Rules of the relaunch from a copy in the temporary folder that need no Windows call.
#pragma once
#include <string>

// Whether path lies inside folder (or a subfolder of it). Windows paths compare without regard
// to ASCII letter case; a folder given with or without its trailing backslash means the same.
bool isInsideFolder(const std::wstring& path, const std::wstring& folder);

// The name of a new copy folder inside the temporary folder (given with its trailing backslash).
std::wstring copyFolderPath(const std::wstring& tempFolder, unsigned long processId, unsigned long attempt,
                            unsigned long long tick);
