// The install sequence: from an empty folder to the installed application.
#pragma once
#include <windows.h>

#include "common/progress.h"
#include "download/download_win.h"
#include "setup/setup_context_win.h"
#include "system/registry_store_win.h"

#include <vector>

// Creates the install folder (with its parents) when it is missing; false when it cannot be made.
bool ensureInstallFolder();

// Where an upgrade keeps the verified new archive while the old version is removed: beside the
// install folder, below Program Files, where only administrators can write.
std::wstring stagingFolder();

enum class InstallOutcome {
    Completed,        // every step ran (see restartNeeded and runtimeFailure)
    Cancelled,        // stopped at a cancel checkpoint
    FolderFailed,     // the install folder could not be made
    ExtractorFailed,  // the extractor could not be written whole (see failure)
    DownloadFailed,   // the archive did not download (see failure)
    ExtractionFailed, // the archive did not unpack into the application (see failure)
    StepFailed,       // a registry value or the installer's copy could not be written (see failure)
    ImageRefused,     // the installer's file is not its running image: nothing was done (see failure)
};

struct InstallResult {
    InstallOutcome outcome = InstallOutcome::Completed;
    Failure failure;  // what failed and where, for the outcomes that failed
    bool restartNeeded = false;      // the runtime installer asked for a restart
    std::uint32_t runtimeFailure = 0;  // the runtime installer's failing exit (or start) code; 0 when none
    // The desktop shortcut that could not be written: the installation stands without it.
    Failure shortcutFailure;
};

class Installer {
public:
    // Installs the context's offered version; the archive is kept only when it matches the hash
    // the signed version file names. Positions, pauses and Cancel go through progress.
    Installer(const SetupContext& context, Progress& progress);
    Installer(const Installer&) = delete;
    Installer& operator=(const Installer&) = delete;

    // Runs the sequence until it has finished, stopped at a cancel checkpoint, or failed.
    InstallResult run();
    DownloadResult downloadApplication();
    // An upgrade fetches and verifies the new archive first, into a folder beside the install
    // folder that the old version's removal leaves alone; run() then takes it from there. On a
    // failure nothing is left behind and nothing of the installed version was touched.
    DownloadResult stageArchive();
    // Removes a staged archive that will not be installed.
    void discardStagedArchive();
    // Reads the installer's file through the handle held since the start and proves it to be the
    // running image (the one approved at the elevation): ok, or the failure with the file's path
    // (ERROR_INVALID_IMAGE_HASH when another program was put under its name). run() and
    // stageArchive() do it before anything else, so a refused file changes nothing.
    Failure approveImage();
    // Writes the approved image into the install folder, where the Uninstall entry runs it from;
    // run() does it before writing that entry.
    Failure copyInstaller() const;

private:
    void setProgress(unsigned position) const;
    InstallResult takeStagedArchive();

    const SetupContext& context;
    Progress& progress;
    RegistryStore store;
    bool staged = false;
    std::vector<unsigned char> approvedImage;
};
