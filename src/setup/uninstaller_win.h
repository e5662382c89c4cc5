// The uninstall sequence: ends the application and removes what an installation made.
#pragma once
#include "common/progress.h"
#include "system/file_system_win.h"
#include "system/registry_store_win.h"

class Uninstaller {
public:
    // Positions and the pauses between the steps go through progress.
    explicit Uninstaller(Progress& progress);
    Uninstaller(const Uninstaller&) = delete;
    Uninstaller& operator=(const Uninstaller&) = delete;

    // Ends the application, removes its folder, shortcut and keys. A file that cannot be removed
    // (held open by a program that could not be ended), a folder the guard refuses or a key that
    // cannot be deleted stops it there and is named in the result: the Uninstall entry stays, so
    // that a second run can finish the job.
    Failure run();

private:
    void stepDone(unsigned position) const;

    Progress& progress;
    RegistryStore store;
};
