#include "system/processes_win.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <vector>

#include "common/text.h"
#include "system/handles_win.h"
#include "system/log_win.h"
#include "system/message_pump_win.h"

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

ChildExit runAndWait(std::wstring commandLine, const ChildOptions& options) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    FileHandle nul;
    if (options.detachedInput) {
        SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
        nul.reset(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                              OPEN_EXISTING, 0, nullptr));
        if (!nul) return {GetLastError(), 0};
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = startup.hStdOutput = startup.hStdError = nul.get();
    }
    std::wstring environment = options.environment;
    PROCESS_INFORMATION created{};
    ChildExit result;
    // The child and whatever it starts (the batch file's extractor) share a job, so that a child
    // past its limit is ended with all it started instead of leaving them to write on.
    KernelHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!CreateProcessW(options.application.empty() ? nullptr : options.application.c_str(), commandLine.data(),
                        nullptr, nullptr, options.detachedInput,
                        CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED,
                        environment.empty() ? nullptr : environment.data(),
                        options.folder.empty() ? nullptr : options.folder.c_str(), &startup, &created)) {
        result.startError = GetLastError();
        logLine(L"could not start " + commandLine + L": error " + std::to_wstring(result.startError));
        return result;
    }
    const ChildProcess child{KernelHandle(created.hProcess), KernelHandle(created.hThread)};
    HANDLE process = child.process.get();
    // Without a job (none could be made or joined) only the child itself can be ended.
    if (job && !AssignProcessToJobObject(job.get(), process)) job.reset();
    ResumeThread(child.thread.get());
    const ULONGLONG deadline = options.limitMs == INFINITE ? 0 : GetTickCount64() + options.limitMs;
    const auto remaining = [&]() -> DWORD {
        if (deadline == 0) return INFINITE;
        const ULONGLONG now = GetTickCount64();
        return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
    };
    if (options.progress) {
        for (DWORD left = remaining(); left != 0 && WaitForSingleObject(process, 0) == WAIT_TIMEOUT; left = remaining()) {
            options.progress->wait(process, left);
        }
    }
    const DWORD waited = WaitForSingleObject(process, remaining());
    if (waited == WAIT_TIMEOUT) {
        // A child that hangs must not hang the installer: it is ended and reported.
        if (!job || !TerminateJobObject(job.get(), ERROR_TIMEOUT)) TerminateProcess(process, ERROR_TIMEOUT);
        WaitForSingleObject(process, 5000);
        result.timedOut = true;
        result.exitCode = ERROR_TIMEOUT;
        logLine(L"ended " + commandLine + L": still running after " + std::to_wstring(options.limitMs) + L" ms");
        return result;
    }
    GetExitCodeProcess(process, &result.exitCode);
    logLine(L"ran " + commandLine + L": exit code " + std::to_wstring(result.exitCode));
    return result;
}

bool processIsElevated() {
    KernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.out())) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

bool shellExecute(const wchar_t* verb, const std::wstring& file, const std::wstring& arguments) {
    const HINSTANCE started = ShellExecuteW(nullptr, verb, file.c_str(), arguments.empty() ? nullptr : arguments.c_str(),
                                           nullptr, SW_SHOWNORMAL);
    // ShellExecuteW reports success as a value above 32.
    return reinterpret_cast<INT_PTR>(started) > 32;
}

KernelHandle shellExecuteProcess(const wchar_t* verb, const std::wstring& file, const std::wstring& arguments) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
    info.lpVerb = verb;
    info.lpFile = file.c_str();
    info.lpParameters = arguments.empty() ? nullptr : arguments.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info)) return KernelHandle();
    return KernelHandle(info.hProcess);
}

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
