// Asks the download server which version it offers.
#pragma once
#include <string>

// The text of the offered version; ends the process (exit code 0) after the download's
// message box when the version file cannot be read.
std::wstring fetchServerVersion();
