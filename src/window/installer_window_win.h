// The installer's one window: pages, the action and cancel buttons, language switching.
#pragma once
#include <windows.h>

#include "common/digests.h"
#include "common/version.h"
#include "system/handles_win.h"

// What start-up found out, read by the window.
struct StartupState {
    bool uninstallMode = false;
    Version offeredVersion;
    Version installedVersion;
    Sha256Digest archiveSha256{};  // of the offered version's archive, from the signed version file
    wchar_t windowClassName[100] = {};
    // The executable's own file, held from the start: the copies are read from it, never by path.
    FileHandle image;
};

StartupState& startupState();

ATOM registerInstallerWindowClass(HINSTANCE instance);
// Creates, centres and shows the window; false when it could not be created.
bool createInstallerWindow(HINSTANCE instance, int showCommand);
