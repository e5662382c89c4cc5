#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "system/message_pump_win.h"
#include "system/processes_win.h"

namespace fs = std::filesystem;

namespace {
constexpr UINT kPosted = WM_APP + 1;
constexpr UINT kPostedByTimer = WM_APP + 2;
constexpr UINT_PTR kTimer = 7;

std::vector<UINT> received;

LRESULT CALLBACK recorderProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kPosted || message == kPostedByTimer) {
        received.push_back(message);
        return 0;
    }
    if (message == WM_TIMER && wParam == kTimer) {
        KillTimer(window, kTimer);
        received.push_back(WM_TIMER);
        PostMessageW(window, kPostedByTimer, 0, 0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class MessagePump : public ::testing::Test {
protected:
    void SetUp() override {
        static const bool registered = [] {
            WNDCLASSW windowClass{};
            windowClass.lpfnWndProc = recorderProcedure;
            windowClass.hInstance = GetModuleHandleW(nullptr);
            windowClass.lpszClassName = L"MessagePumpTestRecorder";
            return RegisterClassW(&windowClass) != 0;
        }();
        ASSERT_TRUE(registered);
        window = CreateWindowExW(0, L"MessagePumpTestRecorder", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        pumpMessages();
        received.clear();
    }
    void TearDown() override {
        if (window) DestroyWindow(window);
        pumpMessages();
    }
    HWND window = nullptr;
};

TEST_F(MessagePump, PumpMessagesDispatchesEverythingQueued) {
    for (int i = 0; i < 3; ++i) PostMessageW(window, kPosted, 0, 0);
    pumpMessages();
    EXPECT_EQ(received, (std::vector<UINT>{kPosted, kPosted, kPosted}));
    MSG left;
    EXPECT_FALSE(PeekMessageW(&left, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(MessagePump, NoTimeOrANegativeTimeReturnsWithoutDispatching) {
    for (int ms : {0, -5}) {
        PostMessageW(window, kPosted, 0, 0);
        waitPumping(ms);
        EXPECT_TRUE(received.empty()) << ms;
        pumpMessages();
        EXPECT_EQ(received.size(), 1u) << ms;
        received.clear();
    }
}

TEST_F(MessagePump, WaitingLastsTheTimeAndDispatchesWhatArrivesMeanwhile) {
    PostMessageW(window, kPosted, 0, 0);
    ASSERT_NE(SetTimer(window, kTimer, 100, nullptr), 0u);
    const ULONGLONG start = GetTickCount64();
    waitPumping(300);
    const ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_GE(elapsed, 300u);
    // The message posted before, the timer that fired during the wait, and the message that
    // the timer posted have all been handled.
    EXPECT_EQ(received, (std::vector<UINT>{kPosted, WM_TIMER, kPostedByTimer}));
}

TEST(RunAndWait, ACommandThatCannotStartIsSkipped) {
    const DWORD handlesBefore = [] {
        DWORD count = 0;
        GetProcessHandleCount(GetCurrentProcess(), &count);
        return count;
    }();
    EXPECT_FALSE(runAndWait(L"\"C:\\no such folder\\no such program.exe\" /quiet").started());
    EXPECT_FALSE(runAndWait(L"").started());
    DWORD handlesAfter = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
    EXPECT_EQ(handlesAfter, handlesBefore);
}

TEST(RunAndWait, ReturnsOnlyWhenTheChildHasEndedAndClosesItsHandles) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const fs::path marker = fs::path(temp) / (L"run and wait " + std::to_wstring(GetCurrentProcessId()) + L".txt");
    fs::remove(marker);
    DWORD handlesBefore = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);

    // The child writes the marker only after about two seconds and ends with a failure code.
    const ChildExit child =
        runAndWait(L"cmd /c ping -n 3 127.0.0.1 >nul & echo done>\"" + marker.wstring() + L"\" & exit 3");
    EXPECT_TRUE(child.started());
    EXPECT_EQ(child.exitCode, 3u);

    EXPECT_TRUE(fs::exists(marker)) << "runAndWait returned before the child had ended";
    DWORD handlesAfter = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
    EXPECT_EQ(handlesAfter, handlesBefore);
    fs::remove(marker);
}

// The installer's exit code is 0 however the loop ends: a quit code is not passed on, and a
// failing GetMessageW (here: a filter window that no longer exists) ends the loop with 0 too.
TEST(MessageLoop, EndsWithExitCodeZero) {
    PostQuitMessage(7);
    EXPECT_EQ(runMessageLoop(nullptr), 0);

    HWND gone = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(gone, nullptr);
    DestroyWindow(gone);
    PostQuitMessage(9);  // ends the loop should GetMessageW not fail here
    EXPECT_EQ(runMessageLoop(nullptr, gone), 0);
    MSG left;
    while (PeekMessageW(&left, nullptr, 0, 0, PM_REMOVE)) {
    }
}

// How many processes of that image name run now.
int processesNamed(const wchar_t* name) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    int count = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, name) == 0) ++count;
    }
    CloseHandle(snapshot);
    return count;
}
}  // namespace

TEST(RunAndWait, AChildPastItsLimitIsEndedAndReportedAsTimedOut) {
    ASSERT_EQ(processesNamed(L"ping.exe"), 0);
    NoWindowProgress waiter;
    for (bool pump : {false, true}) {
        ChildOptions options;
        options.limitMs = 500;
        options.progress = pump ? &waiter : nullptr;
        const ULONGLONG started = GetTickCount64();
        const ChildExit child = runAndWait(L"cmd /c ping -n 30 127.0.0.1 >nul", options);
        EXPECT_TRUE(child.started());
        EXPECT_TRUE(child.timedOut) << pump;
        // Far sooner than the child's own 30 seconds.
        EXPECT_LT(GetTickCount64() - started, 15000u) << pump;
        // What the child started ends with it: a grandchild left running would go on writing
        // (the batch file's extractor) after the installer gave up on it.
        const ULONGLONG ended = GetTickCount64();
        while (processesNamed(L"ping.exe") > 0 && GetTickCount64() - ended < 3000) Sleep(50);
        EXPECT_EQ(processesNamed(L"ping.exe"), 0) << pump;
    }
    ChildOptions generous;
    generous.limitMs = 60000;
    const ChildExit quick = runAndWait(L"cmd /c exit 4", generous);
    EXPECT_FALSE(quick.timedOut);
    EXPECT_EQ(quick.exitCode, 4u);
}
