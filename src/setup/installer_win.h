// The install sequence: from an empty folder to the installed application.
#pragma once
#include <windows.h>

#include "download/version.h"
#include "system/registry_store_win.h"

class Installer {
public:
    Installer(HWND progressBar, Version offeredVersion);
    Installer(const Installer&) = delete;
    Installer& operator=(const Installer&) = delete;

    // Returns when the sequence has finished or stopped at a cancel checkpoint; ends the
    // process when the install folder cannot be made or the archive does not download.
    void run();
    // Asks the running sequence to stop at its next checkpoint.
    void cancel();
    void downloadApplication();

    bool cancelRequested = false;

private:
    void setProgress(unsigned position) const;

    HWND progressBar;
    Version offeredVersion;
    RegistryStore store;
};
