#include "setup/process_control_win.h"

#include <windows.h>
#include <tlhelp32.h>

#include <vector>

#include "startup/product_config.h"
#include "system/handles_win.h"

namespace {
// The full image path of the process; works for 64-bit processes too, whose modules a
// 32-bit process cannot list.
std::wstring imagePath(HANDLE process) {
    std::vector<wchar_t> buffer(MAX_PATH);
    while (buffer.size() <= 32768) {
        DWORD length = static_cast<DWORD>(buffer.size());
        if (QueryFullProcessImageNameW(process, 0, buffer.data(), &length)) return std::wstring(buffer.data(), length);
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
        buffer.resize(buffer.size() * 2);
    }
    return std::wstring();
}
}  // namespace

void terminateProcessesByName(const std::wstring& name) {
    if (name.empty()) return;
    // A snapshot holds every process, however many there are.
    // Its failure value is INVALID_HANDLE_VALUE, as for files.
    FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return;
    const DWORD ownId = GetCurrentProcessId();
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == ownId || entry.th32ProcessID == 0) continue;
        KernelHandle process(
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
        if (!process) continue;
        if (fileNamePart(imagePath(process.get())) == name) TerminateProcess(process.get(), 0);
    }
}
