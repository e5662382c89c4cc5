// Stand-in for the installed application "LumidexSSDFlashdeck.exe" in the end-to-end tests.
// It opens one window (class "LumidexDemoApp") and records each start, with its command line
// and current directory, in C:\users\Public\demo_app_starts.txt.
// "--hold <path>" keeps that file open without sharing while the window lives, so that tests
// can see how the installer copes with a locked file.
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

constexpr wchar_t kClassName[] = L"LumidexDemoApp";
constexpr wchar_t kCaption[] = L"Lumidex SSD Flashdeck (demo application)";
constexpr wchar_t kMessage[] =
    L"This is the demo stand-in for the Lumidex SSD Flashdeck application, used by the installer's tests.";
constexpr wchar_t kStartLog[] = L"C:\\users\\Public\\demo_app_starts.txt";

std::string toUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

void recordStart() {
    wchar_t directory[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, directory);
    std::string line = toUtf8(std::wstring(GetCommandLineW()) + L"\t" + directory) + "\n";
    HANDLE file = CreateFileW(kStartLog, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

// The file named after "--hold", or an empty string.
std::wstring heldPath() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring path;
    for (int i = 1; argv && i + 1 < argc; ++i)
        if (std::wstring(argv[i]) == L"--hold") path = argv[i + 1];
    LocalFree(argv);
    return path;
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT client;
        GetClientRect(window, &client);
        InflateRect(&client, -16, -16);
        DrawTextW(dc, kMessage, -1, &client, DT_WORDBREAK);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    recordStart();
    HANDLE held = INVALID_HANDLE_VALUE;
    std::wstring holdPath = heldPath();
    if (!holdPath.empty())
        held = CreateFileW(holdPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(100));
    windowClass.hIconSm = windowClass.hIcon;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);

    HWND window = CreateWindowExW(0, kClassName, kCaption, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 480, 200,
                                  nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    ShowWindow(window, show);
    UpdateWindow(window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    return static_cast<int>(message.wParam);
}
