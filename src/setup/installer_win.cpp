#include "setup/installer_win.h"

#include <utility>

#include "common/product_config.h"
#include "common/resource_ids.h"
#include "setup/extract_win.h"
#include "setup/setup_rules.h"
#include "system/file_system_win.h"
#include "system/log_win.h"
#include "system/processes_win.h"
#include "system/shortcuts_win.h"

namespace {
constexpr const wchar_t* extractorFileName = L"7za.exe";
// ERROR_INVALID_IMAGE_HASH, which the MinGW headers lack: Windows's own code for a program file
// that is not the one it should be.
constexpr std::uint32_t imageNotApproved = 577;

InstallResult outcome(InstallOutcome kind, Failure failure = {}) {
    InstallResult result;
    result.outcome = kind;
    result.failure = std::move(failure);
    return result;
}

// A step that failed, named by the path the box shows.
InstallResult failedStep(Failure failure, const std::wstring& shownPath) {
    failure.path = shownPath;
    return outcome(InstallOutcome::StepFailed, std::move(failure));
}
}  // namespace

std::wstring stagingFolder() { return productConfig().vendorFolder + stagingFolderName; }

bool ensureInstallFolder() {
    const std::wstring& folder = productConfig().installFolder;
    return pathState(folder) == PathState::Exists || createFolderWithParents(folder).ok();
}

Installer::Installer(const SetupContext& context, Progress& progress) : context(context), progress(progress) {}

void Installer::setProgress(unsigned position) const {
    logLine(L"install: progress " + std::to_wstring(position));
    progress.position(position);
}

Failure Installer::approveImage() {
    if (!approvedImage.empty()) return {};
    const std::wstring& self = productConfig().selfPath;
    std::vector<unsigned char> bytes;
    if (const std::int32_t read = readFromHandle(context.image.get(), bytes); read != 0) {
        return Failure::win32(static_cast<std::uint32_t>(read), self);
    }
    // The file under selfPath lies in the user's temporary folder: any process of the user could
    // have renamed it and put another program there before this copy opened it.
    if (!isRunningImage(bytes)) {
        logLine(L"the file " + self + L" is not the running installer: nothing is installed");
        return Failure::win32(imageNotApproved, self);
    }
    approvedImage = std::move(bytes);
    return {};
}

Failure Installer::copyInstaller() const {
    const ProductConfig& config = productConfig();
    const std::wstring target = config.installFolder + config.selfFileName;
    if (pathExists(target)) removePath(target);
    const std::int32_t copied =
        approvedImage.empty() ? static_cast<std::int32_t>(imageNotApproved)
                              : writeWholeFile(target, approvedImage.data(), static_cast<DWORD>(approvedImage.size()), CREATE_NEW);
    logLine(L"copy of the installer to " + target + (copied == 0 ? L": done" : L": error " + std::to_wstring(copied)));
    return Failure::win32(static_cast<std::uint32_t>(copied), target);
}

DownloadResult Installer::downloadApplication() {
    const std::wstring urlPart = L"application/" + context.offeredVersion.versionText + L"/";
    return downloadToInstallFolder(urlPart, productConfig().appArchiveName, 10.0, 30.0, progress,
                                   &context.archiveSha256, context.archiveSize);
}

DownloadResult Installer::stageArchive() {
    const ProductConfig& config = productConfig();
    // Before the installed version is touched: a refused installer file leaves it as it was.
    if (Failure approved = approveImage(); !approved.ok()) return approved;
    const std::wstring folder = stagingFolder();
    removeFolderTree(folder);
    // The code comes with the failure: read afterwards, the last error could be another call's.
    if (Failure made = createFolderWithParents(folder); !made.ok()) return made;
    const std::wstring urlPart = L"application/" + context.offeredVersion.versionText + L"/";
    const DownloadResult result =
        downloadFile(urlPart, folder, config.appArchiveName, 0.0, 30.0, progress, &context.archiveSha256,
                     context.archiveSize);
    staged = result.ok();
    if (!staged) removeFolderTree(folder);
    return result;
}

void Installer::discardStagedArchive() {
    removeFolderTree(stagingFolder());
    staged = false;
}

InstallResult Installer::takeStagedArchive() {
    const ProductConfig& config = productConfig();
    const std::wstring source = stagingFolder() + config.appArchiveName;
    const std::wstring target = config.installFolder + config.appArchiveName;
    InstallResult result;
    if (!MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
        result = outcome(InstallOutcome::DownloadFailed, Failure::win32(GetLastError(), config.appArchiveName));
    }
    discardStagedArchive();
    return result;
}

InstallResult Installer::run() {
    const ProductConfig& config = productConfig();
    if (Failure approved = approveImage(); !approved.ok()) return outcome(InstallOutcome::ImageRefused, std::move(approved));
    if (!ensureInstallFolder()) return outcome(InstallOutcome::FolderFailed);
    SetCurrentDirectoryW(config.installFolder.c_str());
    if (Failure failed = store.writeIsInstalled(installStarted); !failed.ok()) {
        return failedStep(std::move(failed), store.applicationKeyPath(config.brandName));
    }
    // A cut-off extractor would fail in ways nobody could explain: the install stops here.
    const std::int32_t extractor = writeResourceToFile(EXTRACTOR_ID, EXTRACTOR_TYPE, extractorFileName);
    if (extractor != 0) {
        return outcome(InstallOutcome::ExtractorFailed, Failure::win32(static_cast<std::uint32_t>(extractor),
                                                                       config.installFolder + extractorFileName));
    }
    setProgress(10);
    progress.pause(stepPauseMs);
    if (progress.cancelRequested()) return outcome(InstallOutcome::Cancelled);

    if (Failure failed = store.writeInstallPath(config.installFolder); !failed.ok()) {
        return failedStep(std::move(failed), store.applicationKeyPath(config.brandName));
    }
    if (staged) {
        InstallResult taken = takeStagedArchive();
        if (taken.outcome != InstallOutcome::Completed) return taken;
        setProgress(30);
    } else {
        const DownloadResult archive = downloadApplication();
        // A Cancel during the download stops it at once (the partial file is gone) and rolls back
        // as a Cancel in a pause does.
        if (archive.is(Special::Aborted) && progress.cancelRequested()) return outcome(InstallOutcome::Cancelled);
        if (!archive.ok()) return outcome(InstallOutcome::DownloadFailed, archive);
    }
    if (progress.cancelRequested()) return outcome(InstallOutcome::Cancelled);

    // The extractor's exit code and the application's file both count: a corrupt archive or one
    // without the program must not end on the success page.
    logLine(L"install: unpacking " + config.appArchiveName);
    const ChildExit unpacked = extractArchive(config.appArchiveName, progress);
    const std::wstring application = config.installFolder + config.appExeName;
    if (!unpacked.started() || unpacked.timedOut || unpacked.exitCode != 0 || !pathExists(application)) {
        // Windows's reason the extractor did not start, its own exit code, or, when it reported
        // success, the application's file that is not there.
        const DWORD code = !unpacked.started() ? unpacked.startError
                           : unpacked.exitCode != 0 ? unpacked.exitCode
                                                    : static_cast<DWORD>(ERROR_FILE_NOT_FOUND);
        return outcome(InstallOutcome::ExtractionFailed, Failure::win32(code, config.appArchiveName));
    }
    setProgress(60);
    // The application is in place and runs without its shortcut: a refused one is a warning.
    InstallResult done;
    done.shortcutFailure = createDesktopShortcut();
    if (!done.shortcutFailure.ok()) {
        logLine(L"warning: the desktop shortcut " + done.shortcutFailure.path + L" could not be written: code " +
                std::to_wstring(done.shortcutFailure.shownCode()));
    }
    setProgress(70);
    progress.pause(stepPauseMs);
    if (progress.cancelRequested()) return outcome(InstallOutcome::Cancelled);

    // The Uninstall entry runs this copy: without it the installation has failed.
    if (Failure copied = copyInstaller(); !copied.ok()) return outcome(InstallOutcome::StepFailed, std::move(copied));
    if (Failure failed = store.writeUninstallEntry(context.offeredVersion); !failed.ok()) {
        return failedStep(std::move(failed), store.uninstallKeyPath(config.productDisplayName));
    }
    setProgress(85);
    progress.pause(stepPauseMs);
    if (progress.cancelRequested()) return outcome(InstallOutcome::Cancelled);

    ChildOptions runtimeOptions;
    runtimeOptions.progress = &progress;
    runtimeOptions.limitMs = childLimitMs;
    const ChildExit runtime = runAndWait(runtimeInstallerCommand(config.installFolder), runtimeOptions);
    // The application is in place either way; a runtime that did not install is reported, and
    // the installation stands.
    const RuntimeResult meaning =
        runtime.started() && !runtime.timedOut ? classifyRuntimeExit(runtime.exitCode) : RuntimeResult::Failed;
    done.restartNeeded = meaning == RuntimeResult::RestartNeeded;
    if (meaning == RuntimeResult::Failed) done.runtimeFailure = runtime.started() ? runtime.exitCode : runtime.startError;
    // Measured once everything is in place: the runtime installer may have added files.
    if (Failure failed = store.writeEstimatedSize(); !failed.ok()) {
        return failedStep(std::move(failed), store.uninstallKeyPath(config.productDisplayName));
    }
    setProgress(100);
    if (Failure failed = store.writeIsInstalled(installCompleted); !failed.ok()) {
        return failedStep(std::move(failed), store.applicationKeyPath(config.brandName));
    }
    return done;
}
