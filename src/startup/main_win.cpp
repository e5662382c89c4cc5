// Process entry of the installer: start-up in a fixed order builds the setup context, then hands
// it down to the window (and its message loop) or to the unattended run. The process ends here,
// in the unattended run, or through the function the window is given.
#include <windows.h>

#include <cwchar>
#include <string>

#include "common/product_config.h"
#include "common/resource_ids.h"
#include "download/download_win.h"
#include "localization/text_table.h"
#include "startup/command_line.h"
#include "startup/process_end_win.h"
#include "startup/relaunch_win.h"
#include "startup/unattended_win.h"
#include "system/file_system_win.h"
#include "system/log_win.h"
#include "system/message_pump_win.h"
#include "system/paths_win.h"
#include "system/registry_store_win.h"
#include "system/resources_win.h"
#include "window/boxes_win.h"
#include "window/installer_window_win.h"

namespace {
// The elevated copy's exit code once it has ended; Fatal when Windows started no process to wait for.
ExitCode waitForCopy(const KernelHandle& copy) {
    DWORD code = static_cast<DWORD>(ExitCode::Fatal);
    if (!copy || WaitForSingleObject(copy.get(), INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(copy.get(), &code)) {
        logLine(L"the elevated copy could not be started or waited for");
        return ExitCode::Fatal;
    }
    logLine(L"the elevated copy ended with exit code " + std::to_wstring(code));
    return static_cast<ExitCode>(code);
}

// The end-to-end tests see a stalled server end in seconds instead of a minute, and a trickle end
// early. Only ever shorter than the defaults, so nobody can make the installer wait longer through it.
void applyTestTimeouts() {
    wchar_t value[16];
    const DWORD length = GetEnvironmentVariableW(L"FLASHDECK_TEST_NETWORK_TIMEOUT_MS", value, 16);
    if (length == 0 || length >= 16) return;
    const DWORD ms = wcstoul(value, nullptr, 10);
    if (ms > 0) setNetworkTimeouts({ms, ms, ms, ms});
}
}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int showCommand) {
    // Nothing beside the executable (it runs from the temporary folder) may be loaded as a DLL.
    SetDllDirectoryW(L"");
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

    SetupContext setup;
    setup.image = openOwnImage();
    StartupOptions options = parseCommandLine(arguments ? arguments : L"");
    setup.uninstallMode = options.uninstallMode;
    setup.mode = options.silent    ? SetupContext::Mode::Silent
                 : options.passive ? SetupContext::Mode::Passive
                                   : SetupContext::Mode::Interactive;
    const SetupContext::Mode mode = setup.mode;
    const bool unattended = mode != SetupContext::Mode::Interactive;
    if (unattended) logBoxesInsteadOfShowing();
    configureProduct(options.baseUrl);
    if (isRelaunchedCopy()) {
        // The copy runs as administrator: it opens no path of its command line for writing and
        // logs only through the channel of the process that started it, which owns the log.
        if (!options.logChannel.empty()) connectLogChannel(options.logChannel);
    } else if (unattended || !options.logPath.empty()) {
        // With the rights of whoever started this process (the user, or an elevated deployment tool).
        openLog(options.logPath.empty() ? defaultLogPath() : fullPathOf(options.logPath));
    }
    logLine(L"start: " + modulePath() + L" " + (arguments ? arguments : L""));
    options.logPath.clear();
    options.logChannel.clear();
    LogRelay relay;
    if (!runsHere() && logIsOpen()) {
        relay = LogRelay::create();
        if (relay.name().empty()) logLine(L"the log channel could not be made: the elevated copy's lines are not logged");
        options.logChannel = relay.name();
    }
    RelaunchResult relaunch = relaunchFromTempCopy(elevationArguments(options), setup.image.get());
    if (relaunch.outcome == RelaunchResult::Outcome::Failed) {
        showMessageBox(relaunch.message, relaunch.caption, MB_OK);
        endProcess(mode, ExitCode::Fatal);
    }
    if (relaunch.outcome == RelaunchResult::Outcome::Relaunched) {
        // The copy is made: holding the file any longer would keep a quiet uninstallation, run
        // from the install folder, from moving this program out of the folder it removes.
        setup.image = FileHandle();
        // The owner of the log stays until the copy ends, writing the copy's lines; a deployment
        // tool waits for this process: it ends with the elevated copy's code.
        if (!logIsOpen() && !unattended) endProcess(mode);
        relay.relayUntilEnded(relaunch.copy.get());
        endProcess(mode, waitForCopy(relaunch.copy));
    }

    // Owned for the life of the process: the lock ends with it.
    CreateMutexW(nullptr, TRUE, productConfig().selfFileName.c_str());
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        logLine(L"another installation of this file is running");
        endProcess(mode, ExitCode::AnotherRunning);
    }

    loadFromResource(textTable());
    const RegistryStore store;
    chooseStartupLanguage(
        textTable(), [&store] { return store.readCurrentCulture(); },
        [&store](const std::wstring& culture) { store.writeCurrentCulture(culture); });

    applyTestTimeouts();
    // Only an interactive run asks for a proxy's sign-in; a silent or passive one fails with the 407.
    if (!unattended) setProxySignIn(askProxySignIn);
    // Without the offered version nothing can go on.
    const VersionCheck offered = fetchServerVersion();
    if (!offered.download.ok()) {
        showDownloadFailure(offered.download);
        endProcess(mode, ExitCode::Fatal);
    }
    // A version file the vendor did not sign could name any archive: nothing is offered.
    if (!offered.verified) {
        showMessageBox(text(L"error_signature"), text(L"IDS_TITLE_ERROR"), MB_OK);
        endProcess(mode, ExitCode::Fatal);
    }
    logLine(L"the signed version file offers " + offered.versionText);
    setup.offeredVersion.assign(offered.versionText);
    setup.archiveSha256 = offered.archiveSha256;
    setup.archiveSize = offered.archiveSize;
    setup.notesSha256 = offered.notesSha256;
    setup.installedVersion = store.readInstalledVersion();
    setup.isInstalled = store.readIsInstalled();
    if (options.silent) runUnattended(setup);

    registerInstallerWindowClass(instance);
    const ProcessEnd end = mode == SetupContext::Mode::Passive ? endPassiveRun : endInteractiveRun;
    if (!createInstallerWindow(instance, showCommand, setup, end)) endProcess(mode, ExitCode::Fatal);

    return runMessageLoop(LoadAcceleratorsW(instance, MAKEINTRESOURCEW(WINDOW_CLASS_STRING_ID)));
}
