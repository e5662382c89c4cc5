// Process entry of the installer: start-up in a fixed order, then the message loop.
#include <windows.h>

#include "startup/command_line.h"
#include "startup/product_config.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int showCommand) {
    SetDllDirectoryW(L"");
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

    const StartupOptions options = parseCommandLine(arguments ? arguments : L"");
    configureProduct(options.baseUrl);

    CreateMutexW(nullptr, TRUE, productConfig().selfFileName.c_str());
    if (GetLastError() == ERROR_ALREADY_EXISTS) return 0;
    (void)instance;
    (void)showCommand;
    return 0;
}
