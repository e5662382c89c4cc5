// Process entry of the installer: start-up in a fixed order, then the message loop.
#include <windows.h>

#include "download/version_check_win.h"
#include "localization/startup_language.h"
#include "localization/text_table.h"
#include "startup/command_line.h"
#include "startup/product_config.h"
#include "startup/relaunch_win.h"
#include "system/registry_store_win.h"
#include "window/installer_window_win.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int showCommand) {
    // Nothing beside the executable (it runs from the temporary folder) may be loaded as a DLL.
    SetDllDirectoryW(L"");
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

    const StartupOptions options = parseCommandLine(arguments ? arguments : L"");
    StartupState& startup = startupState();
    startup.uninstallMode = options.uninstallMode;
    configureProduct(options.baseUrl);
    relaunchFromTempCopy(options.commandLine);

    // Owned for the life of the process: the lock ends with it.
    CreateMutexW(nullptr, TRUE, productConfig().selfFileName.c_str());
    if (GetLastError() == ERROR_ALREADY_EXISTS) return 0;

    textTable().loadFromResource();
    const RegistryStore& store = registryStore();
    chooseStartupLanguage(
        textTable(), [&store] { return store.readCurrentCulture(); },
        [&store](const std::wstring& culture) { store.writeCurrentCulture(culture); });

    startup.offeredVersion.assign(fetchServerVersion());
    startup.installedVersion = store.readInstalledVersion();

    LoadStringW(instance, 109, startup.windowClassName, 100);
    registerInstallerWindowClass(instance);
    if (!createInstallerWindow(instance, showCommand)) return 0;

    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(109));
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!TranslateAcceleratorW(message.hwnd, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}
