// A DLL that must never be loaded: placed beside the installer under the names of system
// libraries (wininet.dll, comctl32.dll, gdiplus.dll), it records every process that loads it.
#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(instance, path, MAX_PATH);
    const std::wstring name = path;
    const std::wstring marker = L"C:\\users\\Public\\canary-loaded-" + name.substr(name.find_last_of(L"\\/") + 1) + L".txt";
    HANDLE file = CreateFileW(marker.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, "loaded\r\n", 8, &written, nullptr);
        CloseHandle(file);
    }
    return TRUE;
}
