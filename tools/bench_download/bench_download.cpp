// bench_download BASE_URL FILE_NAME FOLDER [SHA256]
// Downloads BASE_URL + "Flashdeck/" + FILE_NAME into FOLDER with downloadFile and prints the
// time and throughput; with SHA256 (64 hex digits) downloads it again, hashed as it arrives
// against that digest, for the cost of the hashing in the same run; then compares the processor
// time of waitPumping(2000) with a busy loop of 2000 ms. Prints "key=value" lines.
#include <windows.h>

#include <cstdio>
#include <string>

#include "common/product_config.h"
#include "download/download_rules.h"
#include "download/download_win.h"
#include "system/message_pump_win.h"
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
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4 && argc != 5) {
        std::fwprintf(stderr, L"usage: bench_download BASE_URL FILE_NAME FOLDER [SHA256]\n");
        return 2;
    }
    setMessageBoxHook(printBox);
    setProductConfig(makeProductConfig(argv[1], L"C:\\Program Files (x86)", L"C:\\x\\setup.exe"));
    std::wstring folder = argv[3];
    if (folder.back() != L'\\') folder += L'\\';

    const double wallStart = wallSeconds();
    const double cpuStart = processorSeconds();
    const DownloadResult download = downloadFile(L"", folder, argv[2], 0, 100, nullptr);
    showDownloadFailure(download);
    const std::int32_t result = download.code;
    const double wall = wallSeconds() - wallStart;
    const double cpu = processorSeconds() - cpuStart;
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    GetFileAttributesExW((folder + argv[2]).c_str(), GetFileExInfoStandard, &attributes);
    const double bytes = static_cast<double>(static_cast<unsigned long long>(attributes.nFileSizeHigh) << 32 |
                                             attributes.nFileSizeLow);
    std::printf("download_result=%d\ndownload_bytes=%.0f\ndownload_seconds=%.3f\ndownload_cpu_seconds=%.3f\n"
                "download_mib_per_second=%.1f\n",
                static_cast<int>(result), bytes, wall, cpu, bytes / wall / 1048576.0);
    std::fflush(stdout);

    double start = processorSeconds();
    double wallBegin = wallSeconds();
    waitPumping(2000);
    std::printf("wait_pumping_wall_seconds=%.3f\nwait_pumping_cpu_seconds=%.3f\n", wallSeconds() - wallBegin,
                processorSeconds() - start);

    start = processorSeconds();
    wallBegin = wallSeconds();
    volatile unsigned long long spins = 0;
    while (wallSeconds() - wallBegin < 2.0) spins = spins + 1;
    std::printf("busy_loop_wall_seconds=%.3f\nbusy_loop_cpu_seconds=%.3f\n", wallSeconds() - wallBegin,
                processorSeconds() - start);
    if (argc > 4) {
        Sha256Digest expected{};
        if (!extractSha256(L"<sha256>" + std::wstring(argv[4]) + L"</sha256>", expected)) {
            std::fwprintf(stderr, L"not a SHA-256: %ls\n", argv[4]);
            return 2;
        }
        const double hashedStart = wallSeconds();
        const double hashedCpu = processorSeconds();
        const DownloadResult hashed = downloadFile(L"", folder, argv[2], 0, 100, nullptr, nullptr, &expected);
        showDownloadFailure(hashed);
        std::printf("hashed_result=%d\nhashed_seconds=%.3f\nhashed_cpu_seconds=%.3f\n", static_cast<int>(hashed.code),
                    wallSeconds() - hashedStart, processorSeconds() - hashedCpu);
        if (!hashed.ok()) return 1;
    }
    return result == 0 ? 0 : 1;
}
