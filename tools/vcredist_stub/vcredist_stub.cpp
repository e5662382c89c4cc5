// Stand-in "vcredist_x86.exe": records how it was started, one UTF-8 line per run, in
// C:\users\Public\vcredist_x86_calls.txt, and exits with the number written in
// C:\users\Public\vcredist_x86_exit.txt (0 without that file). No window.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

constexpr wchar_t kLogPath[] = L"C:\\users\\Public\\vcredist_x86_calls.txt";
constexpr wchar_t kExitPath[] = L"C:\\users\\Public\\vcredist_x86_exit.txt";

// The exit code a test chose, 0 when it chose none.
int chosenExitCode() {
    HANDLE file = CreateFileW(kExitPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    char text[16] = {};
    DWORD read = 0;
    ReadFile(file, text, sizeof text - 1, &read, nullptr);
    CloseHandle(file);
    return atoi(text);
}

std::string toUtf8(const wchar_t* text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size - 1));
    return out;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    std::string line = toUtf8(GetCommandLineW()) + "\n";
    // Another writer may hold the file for a moment; retry briefly rather than lose the line.
    for (int attempt = 0; attempt < 50; ++attempt) {
        HANDLE file = CreateFileW(kLogPath, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
            CloseHandle(file);
            return chosenExitCode();
        }
        Sleep(20);
    }
    return chosenExitCode();
}
