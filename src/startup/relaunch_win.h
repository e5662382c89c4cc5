// Where the installer runs from: the product configuration taken from the system's folders,
// and the relaunch from an elevated copy in the user's temporary folder.
#pragma once
#include <windows.h>

#include <string>

#include "system/handles_win.h"

// Asks Windows for the folders and the module path, then fills the process-wide configuration.
void configureProduct(const std::wstring& baseUrl);

struct RelaunchResult {
    enum class Outcome {
        RunHere,     // this process is the copy: it goes on
        Relaunched,  // the copy was started: this process ends
        Failed,      // no copy could be made: this process shows the box and ends
    };
    Outcome outcome = Outcome::RunHere;
    std::wstring message;  // the box of a failure, in fixed English (the texts are not loaded yet)
    std::wstring caption;
    KernelHandle copy;     // the started copy, when Windows gave its process
};

// Whether this process is the relaunched copy (its own folder, made by the relaunch, directly
// inside the temporary folder): such a process opens no log path of its command line.
bool isRelaunchedCopy();
// Whether this process goes on here (relaunchFromTempCopy would return RunHere).
bool runsHere();

// Runs here when this process is the copy (its own folder, made by the relaunch, directly inside
// the temporary folder) or is elevated and inside the temporary folder. Otherwise copies the
// executable, read from image (the handle held since the start), into a new folder there and
// starts the copy with "runas" and the given arguments (elevationArguments). The temporary folder
// is compared by identity, not by spelling.
RelaunchResult relaunchFromTempCopy(const std::wstring& arguments, HANDLE image);
