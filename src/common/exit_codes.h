// The process's exit codes in the convention deployment tools know from Windows Installer. An
// interactive run always ends with Success; an unattended run reports what happened.
#pragma once

enum class ExitCode : unsigned {
    Success = 0,
    Cancelled = 1602,         // ERROR_INSTALL_USEREXIT
    Fatal = 1603,             // ERROR_INSTALL_FAILURE: network, hash, extraction, a step that failed
    AnotherRunning = 1618,    // ERROR_INSTALL_ALREADY_RUNNING
    AlreadyInstalled = 1638,  // ERROR_PRODUCT_VERSION: the same or a newer version is installed
    RestartNeeded = 3010,     // ERROR_SUCCESS_REBOOT_REQUIRED
};
