// Rules of the start-up that need no Windows call: the command line (the switches and the
// download server) and the name of the relaunch's copy folder.
#pragma once
#include <string>

#include "common/product_config.h"

struct StartupOptions {
    std::wstring commandLine;  // lower-cased argument string
    std::wstring baseUrl;      // ends in "/" or "\"
    bool uninstallMode = false;
    bool silent = false;       // "-silent": no window, no box; the exit code tells what happened
    std::wstring logPath;      // the value of "-log", in the case it was given; empty without one
};

// Lower-cases the arguments, then finds "-test" with its quoted URL, "-uninstall", "-silent" and
// "-log" with its path (quoted, or up to the next blank). A "-test" without a quoted value, or with
// one that is not an https:// URL, keeps the default URL.
StartupOptions parseCommandLine(const std::wstring& arguments, const std::wstring& defaultUrl = defaultBaseUrl);

// The name of a new copy folder inside the temporary folder (given with its trailing backslash).
std::wstring copyFolderPath(const std::wstring& tempFolder, unsigned long processId, unsigned long attempt,
                            unsigned long long tick);

// Whether a folder name is one that copyFolderPath makes (copyFolderPrefix and three hexadecimal
// numbers).
bool isCopyFolderName(const std::wstring& name);
