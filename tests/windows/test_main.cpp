// Entry of the Windows tests run under Wine. Started with "--report-child FILE" it is instead a
// child of the code under test: it writes the command line of its parent process, its own PATH
// and PATHEXT and the kind of its standard input into FILE, one per line.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cwchar>
#include <fstream>
#include <string>

namespace {
DWORD parentProcessId() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD parent = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
    }
    CloseHandle(snapshot);
    return parent;
}

// The command line another process was started with, read from its process parameters.
std::wstring commandLineOf(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (!process) return L"(cannot open the parent)";
    PROCESS_BASIC_INFORMATION basic{};
    PEB peb{};
    RTL_USER_PROCESS_PARAMETERS parameters{};
    std::wstring text;
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) == 0 &&
        ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof peb, nullptr) &&
        ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof parameters, nullptr)) {
        text.resize(parameters.CommandLine.Length / sizeof(wchar_t));
        ReadProcessMemory(process, parameters.CommandLine.Buffer, text.data(), parameters.CommandLine.Length, nullptr);
    }
    CloseHandle(process);
    return text;
}

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::wstring variable(const wchar_t* name) {
    wchar_t value[4096] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, 4096);
    return length == 0 ? L"(unset)" : value;
}

int reportChild(const wchar_t* file) {
    std::ofstream out(file, std::ios::binary);
    out << narrow(commandLineOf(parentProcessId())) << "\n"
        << narrow(variable(L"PATH")) << "\n"
        << narrow(variable(L"PATHEXT")) << "\n"
        << (GetFileType(GetStdHandle(STD_INPUT_HANDLE)) == FILE_TYPE_CHAR ? "input: device" : "input: other") << "\n";
    return 0;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wcscmp(argv[1], L"--report-child") == 0) return reportChild(argv[2]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
