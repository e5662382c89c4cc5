#include "download/version_check_win.h"

#include <windows.h>

#include "download/download_win.h"
#include "download/progress.h"

std::wstring fetchServerVersion() {
    std::wstring body;
    // downloadText has shown the box already; without the offered version nothing can go on.
    if (!downloadText(L"config/", L"lista_updater.xml", body)) ExitProcess(0);
    return extractVersionText(body);
}
