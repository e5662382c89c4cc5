// Ending the running application before its files are removed.
#pragma once
#include <string>

// Terminates every process whose executable file name equals name exactly (case-sensitive),
// never the installer itself.
void terminateProcessesByName(const std::wstring& name);
