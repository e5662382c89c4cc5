// The install sequence: from an empty folder to the installed application.
#pragma once
#include <windows.h>

#include "common/version.h"
#include "download/download_win.h"
#include "system/registry_store_win.h"

// Creates the install folder (with its parents) when it is missing; false when it cannot be made.
bool ensureInstallFolder();

enum class InstallOutcome {
    Completed,       // every step ran
    Cancelled,       // stopped at a cancel checkpoint
    FolderFailed,     // the install folder could not be made
    ExtractorFailed,  // the extractor could not be written whole (see error and path)
    DownloadFailed,   // the archive did not download (see download)
};

struct InstallResult {
    InstallOutcome outcome = InstallOutcome::Completed;
    DownloadResult download;
    std::int32_t error = 0;
    std::wstring path;
};

class Installer {
public:
    // archiveSha256: what the signed version file names; the archive is kept only when it matches.
    Installer(HWND progressBar, Version offeredVersion, const Sha256Digest& archiveSha256);
    Installer(const Installer&) = delete;
    Installer& operator=(const Installer&) = delete;

    // Runs the sequence until it has finished, stopped at a cancel checkpoint, or failed.
    InstallResult run();
    // Asks the running sequence to stop at its next checkpoint.
    void cancel();
    DownloadResult downloadApplication();

    bool cancelRequested = false;

private:
    void setProgress(unsigned position) const;

    HWND progressBar;
    Version offeredVersion;
    Sha256Digest archiveSha256;
    RegistryStore store;
    CancelToken downloadCancel;
};
