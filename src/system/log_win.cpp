#include "system/log_win.h"

#include <windows.h>
#include <ntsecapi.h>

#include <cstdio>
#include <string>

#include "common/log_text.h"
#include "common/product_config.h"
#include "system/file_system_win.h"
#include "system/paths_win.h"

namespace {
std::wstring logPath;
// The elevated copy's end of the channel: its lines go there, never into a file.
FileHandle channel;

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string bytes(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                            nullptr);
    }
    return bytes;
}

// The file for appending, refused when it is a link: nothing may be written through a link that
// another process placed under the log's name (in the temporary folder, say).
FileHandle openForAppending(const std::wstring& path) {
    FileHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return file;
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file.get(), &information) ||
        (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        information.nNumberOfLinks != 1) {
        return FileHandle();
    }
    return file;
}

bool writeAll(HANDLE handle, const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool append(const std::wstring& path, const std::string& bytes) {
    const FileHandle file = openForAppending(path);
    return file && writeAll(file.get(), bytes);
}

// Waits for an overlapped operation on the pipe, or for the copy to end first (then false).
bool waitFor(HANDLE pipe, OVERLAPPED& overlapped, HANDLE copy, DWORD& transferred) {
    const HANDLE both[2] = {overlapped.hEvent, copy};
    DWORD waited = WaitForMultipleObjects(2, both, FALSE, INFINITE);
    // A copy that has ended has closed its end; what it wrote before is still to be read.
    if (waited == WAIT_OBJECT_0 + 1) waited = WaitForSingleObject(overlapped.hEvent, 2000);
    if (waited != WAIT_OBJECT_0) {
        CancelIo(pipe);
        GetOverlappedResult(pipe, &overlapped, &transferred, TRUE);
        return false;
    }
    return GetOverlappedResult(pipe, &overlapped, &transferred, FALSE) != 0;
}
}  // namespace

bool openLog(const std::wstring& path) {
    logPath.clear();
    if (path.empty()) return false;
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos && slash > 0) createFolderWithParents(path.substr(0, slash));
    if (!append(path, {})) return false;
    logPath = path;
    return true;
}

bool connectLogChannel(const std::wstring& name) {
    channel.reset();
    if (!isLogChannelName(name)) return false;
    // Identification only: the process at the other end can learn who writes, never act as it.
    FileHandle pipe(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
    if (!pipe || GetFileType(pipe.get()) != FILE_TYPE_PIPE) return false;
    channel = std::move(pipe);
    return true;
}

bool logIsOpen() { return channel.valid() || !logPath.empty(); }

void logLine(const std::wstring& text) {
    if (!logIsOpen()) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u [%lu] ", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, GetCurrentProcessId());
    const std::string line = stamp + utf8(escapedLogText(text)) + "\r\n";
    if (channel) {
        // One write per line: the owning process never sees half a line of two events.
        if (!writeAll(channel.get(), line)) channel.reset();
        return;
    }
    append(logPath, line);
}

std::wstring defaultLogPath() {
    const std::wstring temp = longTempFolder();
    return temp.empty() ? std::wstring() : temp + defaultLogFileName;
}

LogRelay LogRelay::create() {
    LogRelay relay;
    unsigned char random[16];
    if (!RtlGenRandom(random, sizeof random)) return relay;
    const std::wstring name = logChannelName(random);
    // One instance, first of its name, inbound only, never from another machine.
    relay.pipe_.reset(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_FIRST_PIPE_INSTANCE | FILE_FLAG_OVERLAPPED,
                                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0,
                                       64 * 1024, 0, nullptr));
    relay.event_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (relay.pipe_ && relay.event_) relay.name_ = name;
    return relay;
}

void LogRelay::relayUntilEnded(HANDLE copy) {
    if (name_.empty() || !copy) return;
    OVERLAPPED overlapped{};
    overlapped.hEvent = event_.get();
    DWORD transferred = 0;
    bool connected = ConnectNamedPipe(pipe_.get(), &overlapped) != 0;
    if (!connected) {
        const DWORD error = GetLastError();
        connected = error == ERROR_PIPE_CONNECTED || (error == ERROR_IO_PENDING && waitFor(pipe_.get(), overlapped, copy, transferred));
    }
    // Only the copy this process started may write into its log.
    ULONG client = 0;
    if (connected && (!GetNamedPipeClientProcessId(pipe_.get(), &client) || client != GetProcessId(copy))) {
        logLine(L"the log channel was connected by process " + std::to_wstring(client) + L", not by the elevated copy");
        connected = false;
    }
    std::string pending;
    char buffer[4096];
    while (connected) {
        ResetEvent(event_.get());
        if (!ReadFile(pipe_.get(), buffer, sizeof buffer, nullptr, &overlapped) && GetLastError() != ERROR_IO_PENDING) break;
        if (!waitFor(pipe_.get(), overlapped, copy, transferred)) break;
        pending.append(buffer, transferred);
        const std::size_t end = pending.rfind('\n');
        if (end == std::string::npos) continue;
        if (!logPath.empty()) append(logPath, pending.substr(0, end + 1));
        pending.erase(0, end + 1);
    }
    // An unfinished last line still ends as a line of its own.
    if (!pending.empty() && !logPath.empty()) append(logPath, pending + "\r\n");
    WaitForSingleObject(copy, INFINITE);
}
