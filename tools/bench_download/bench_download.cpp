// bench_download MODE BASE_URL FILE_NAME FOLDER [SHA256]
// One measurement of fetching BASE_URL + "Flashdeck/" + FILE_NAME into FOLDER, printed as
// "key=value" lines (seconds, processor seconds, MiB/s). MODE:
//   bare4k, bare64k  a bare WinINet loop (open, read N bytes at a time, write) -- the baseline
//   download         downloadFile with a progress bar to move and messages to pump, as installing does
//   hashed           the same, hashing the body as it arrives against SHA256
//   pump             waitPumping(2000) against a 2000 ms busy loop (processor time)
// tools/bench_download.sh runs every mode over HTTP and HTTPS and prints the table.
#include <windows.h>
#include <commctrl.h>
#include <wininet.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/product_config.h"
#include "download/download_rules.h"
#include "download/download_win.h"
#include "system/handles_win.h"
#include "system/message_pump_win.h"
#include "system/system_functions_win.h"
#include "window/boxes_win.h"

namespace {
double processorSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto seconds = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

double wallSeconds() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

int printBox(const std::wstring& text, const std::wstring& caption, unsigned) {
    std::fwprintf(stderr, L"box: %ls: %ls\n", caption.c_str(), text.c_str());
    return IDOK;
}

// The loop every download tool starts from: nothing but WinINet's reads and the file's writes.
// What the installer's window does with a download's progress: every position goes through the
// bar's queue, and the waits dispatch the thread's messages.
class BarProgress final : public Progress {
public:
    explicit BarProgress(HWND bar) : bar_(bar) {}
    void position(unsigned percent) override { SendMessageW(bar_, PBM_SETPOS, percent, 0); }
    void pause(int ms) override { waitPumping(ms); }
    bool cancelRequested() const override { return false; }
    void wait(void* event, unsigned long ms) override {
        HANDLE handle = event;
        MsgWaitForMultipleObjectsEx(handle ? 1 : 0, &handle, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        pumpMessages();
    }

private:
    HWND bar_;
};

int bareLoop(const std::wstring& url, const std::wstring& path, DWORD readSize) {
    const WinInetTable& net = winInet();
    InternetHandle root(net.InternetOpenW(L"", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    InternetHandle request(net.InternetOpenUrlW(
        root.get(), url.c_str(), nullptr, 0,
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE, 0));
    if (!request) return static_cast<int>(GetLastError());
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return static_cast<int>(GetLastError());
    std::vector<char> buffer(readSize);
    for (;;) {
        DWORD read = 0;
        if (!net.InternetReadFile(request.get(), buffer.data(), readSize, &read)) return static_cast<int>(GetLastError());
        if (read == 0) return 0;
        DWORD written = 0;
        if (!WriteFile(file.get(), buffer.data(), read, &written, nullptr)) return static_cast<int>(GetLastError());
    }
}

double fileBytes(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes);
    return static_cast<double>(static_cast<unsigned long long>(attributes.nFileSizeHigh) << 32 | attributes.nFileSizeLow);
}

int comparePumping() {
    double cpu = processorSeconds();
    double wall = wallSeconds();
    waitPumping(2000);
    std::printf("wait_pumping_wall_seconds=%.3f\nwait_pumping_cpu_seconds=%.3f\n", wallSeconds() - wall,
                processorSeconds() - cpu);
    cpu = processorSeconds();
    wall = wallSeconds();
    volatile unsigned long long spins = 0;
    while (wallSeconds() - wall < 2.0) spins = spins + 1;
    std::printf("busy_loop_wall_seconds=%.3f\nbusy_loop_cpu_seconds=%.3f\n", wallSeconds() - wall,
                processorSeconds() - cpu);
    return 0;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"pump") return comparePumping();
    if (argc != 5 && argc != 6) {
        std::fwprintf(stderr, L"usage: bench_download bare4k|bare64k|download|hashed|pump BASE_URL FILE_NAME FOLDER [SHA256]\n");
        return 2;
    }
    setMessageBoxHook(printBox);
    setProductConfig(makeProductConfig(argv[2], L"C:\\Program Files (x86)", L"C:\\x\\setup.exe"));
    std::wstring folder = argv[4];
    if (folder.back() != L'\\') folder += L'\\';
    const std::wstring fileName = argv[3];
    const std::wstring url = productConfig().downloadRoot + fileName;

    Sha256Digest expected{};
    if (mode == L"hashed" && (argc < 6 || !extractSha256(L"<sha256>" + std::wstring(argv[5]) + L"</sha256>", expected))) {
        std::fwprintf(stderr, L"hashed needs the file's SHA-256\n");
        return 2;
    }
    // The installer's bar: every position the download sends goes through a window's queue.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    if (commonControls().InitCommonControlsEx) commonControls().InitCommonControlsEx(&controls);
    const HWND bar = CreateWindowExW(0, PROGRESS_CLASSW, L"", 0, 0, 0, 100, 10, HWND_MESSAGE, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);

    const double wallStart = wallSeconds();
    const double cpuStart = processorSeconds();
    int result = 0;
    if (mode == L"bare4k" || mode == L"bare64k") {
        result = bareLoop(url, folder + fileName, mode == L"bare4k" ? 4096 : 65536);
    } else if (mode == L"download" || mode == L"hashed") {
        BarProgress progress(bar);
        const DownloadResult download =
            downloadFile(L"", folder, fileName, 10, 30, progress, mode == L"hashed" ? &expected : nullptr);
        showDownloadFailure(download);
        result = download.shownCode();
    } else {
        std::fwprintf(stderr, L"unknown mode %ls\n", mode.c_str());
        return 2;
    }
    const double wall = wallSeconds() - wallStart;
    const double cpu = processorSeconds() - cpuStart;
    const double bytes = fileBytes(folder + fileName);
    std::printf("result=%d\nbytes=%.0f\nseconds=%.3f\ncpu_seconds=%.3f\nmib_per_second=%.1f\n", result, bytes, wall, cpu,
                bytes / wall / 1048576.0);
    if (bar) DestroyWindow(bar);
    return result == 0 ? 0 : 1;
}
