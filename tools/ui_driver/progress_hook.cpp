// progress_hook.dll: a WH_CALLWNDPROC hook that ui_driver places on the installer's window
// thread. It records every PBM_SETPOS that reaches a progress bar, as "<tick> <position>" lines
// in C:\users\Public\progress_hook_<pid>.log. Polling from outside sees only the positions that
// happen to stand while the installer dispatches messages; the hook sees them all, including
// the ones set during a download or between two steps without a pause.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>

namespace {

void record(int position) {
    wchar_t path[MAX_PATH];
    std::swprintf(path, MAX_PATH, L"C:\\users\\Public\\progress_hook_%lu.log", GetCurrentProcessId());
    char line[64];
    int length = std::snprintf(line, sizeof line, "%lu %d\n", GetTickCount(), position);
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK progressHookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (message->message == PBM_SETPOS) record(static_cast<int>(message->wParam));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
