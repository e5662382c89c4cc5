// The uninstall sequence: ends the application and removes what an installation made.
#pragma once
#include <windows.h>

#include "system/registry_store_win.h"

class Uninstaller {
public:
    explicit Uninstaller(HWND progressBar);
    Uninstaller(const Uninstaller&) = delete;
    Uninstaller& operator=(const Uninstaller&) = delete;

    // Best effort: every step runs, whatever the one before achieved.
    void run();

private:
    void stepDone(unsigned position) const;

    HWND progressBar;
    RegistryStore store;
};
