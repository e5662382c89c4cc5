// The install sequence: from an empty folder to the installed application.
#pragma once
#include <windows.h>

#include "common/version.h"
#include "download/download_win.h"
#include "system/registry_store_win.h"

// Creates the install folder (with its parents) when it is missing; false when it cannot be made.
bool ensureInstallFolder();

// Where an upgrade keeps the verified new archive while the old version is removed: beside the
// install folder, below Program Files, where only administrators can write.
std::wstring stagingFolder();

enum class InstallOutcome {
    Completed,        // every step ran (see restartNeeded and runtimeFailure)
    Cancelled,        // stopped at a cancel checkpoint
    FolderFailed,     // the install folder could not be made
    ExtractorFailed,  // the extractor could not be written whole (see error and path)
    DownloadFailed,   // the archive did not download (see download)
    ExtractionFailed, // the archive did not unpack into the application (see error and path)
    StepFailed,       // the shortcut or a registry value could not be written (see error and path)
};

struct InstallResult {
    InstallOutcome outcome = InstallOutcome::Completed;
    DownloadResult download;
    std::int32_t error = 0;
    std::wstring path;
    bool restartNeeded = false;      // the runtime installer asked for a restart
    std::uint32_t runtimeFailure = 0;  // the runtime installer's failing exit (or start) code; 0 when none
};

class Installer {
public:
    // archiveSha256: what the signed version file names; the archive is kept only when it matches.
    // Unattended, there is no window (progressBar is null) and nobody to press Cancel: no pauses.
    Installer(HWND progressBar, Version offeredVersion, const Sha256Digest& archiveSha256, bool unattended = false);
    Installer(const Installer&) = delete;
    Installer& operator=(const Installer&) = delete;

    // Runs the sequence until it has finished, stopped at a cancel checkpoint, or failed.
    InstallResult run();
    // Asks the running sequence (or the staging download) to stop at its next checkpoint.
    void cancel();
    DownloadResult downloadApplication();
    // An upgrade fetches and verifies the new archive first, into a folder beside the install
    // folder that the old version's removal leaves alone; run() then takes it from there. On a
    // failure nothing is left behind and nothing of the installed version was touched.
    DownloadResult stageArchive();
    // Removes a staged archive that will not be installed.
    void discardStagedArchive();
    // Copies the running installer (read from image, the handle held since the start) into the
    // install folder, where the Uninstall entry runs it from; 0 or the error.
    std::int32_t copyInstaller(HANDLE image) const;

    bool cancelRequested = false;

private:
    void setProgress(unsigned position) const;
    void pause() const;
    InstallResult takeStagedArchive();

    HWND progressBar;
    Version offeredVersion;
    Sha256Digest archiveSha256;
    RegistryStore store;
    CancelToken downloadCancel;
    bool unattended;
    bool staged = false;
};
