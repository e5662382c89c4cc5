#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <vector>

#include "common/product_config.h"
#include "common/text.h"
#include "system/handles_win.h"
#include "system/processes_win.h"

namespace {
std::wstring ownPath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::wstring folderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

// Stand-in processes started from copies of the sleeper program under chosen names.
class ProcessControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        sleeper_ = folderOf(ownPath()) + L"\\process_sleeper.exe";
        ASSERT_NE(GetFileAttributesW(sleeper_.c_str()), INVALID_FILE_ATTRIBUTES)
            << "process_sleeper.exe must be built beside the test program";
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        root_ = std::wstring(temp) + L"process_test_" + std::to_wstring(GetCurrentProcessId());
    }
    void TearDown() override {
        for (const KernelHandle& process : started_) {
            if (WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
                TerminateProcess(process.get(), 0);
                WaitForSingleObject(process.get(), 5000);
            }
        }
        started_.clear();
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(root_), ignored);
    }

    // Copies the sleeper to root\subfolder\name and starts it; the handle stays with the test.
    HANDLE start(const std::wstring& subfolder, const std::wstring& name) {
        const std::wstring folder = root_ + L"\\" + subfolder;
        std::filesystem::create_directories(std::filesystem::path(folder));
        const std::wstring path = folder + L"\\" + name;
        CopyFileW(sleeper_.c_str(), path.c_str(), FALSE);
        std::wstring commandLine = L"\"" + path + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &info)) {
            ADD_FAILURE() << "cannot start " << std::filesystem::path(path).string();
            return nullptr;
        }
        CloseHandle(info.hThread);
        started_.emplace_back(info.hProcess);
        return info.hProcess;
    }

    static DWORD exitCodeAfterEnd(HANDLE process) {
        if (WaitForSingleObject(process, 10000) != WAIT_OBJECT_0) return STILL_ACTIVE;
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process, &code);
        return code;
    }

    static bool stillRunning(HANDLE process) { return WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

    std::wstring sleeper_;
    std::wstring root_;
    std::vector<KernelHandle> started_;
};

TEST_F(ProcessControlTest, EndsEveryInstanceWithExactlyThatName) {
    HANDLE first = start(L"one", L"LumidexSSDFlashdeck.exe");
    HANDLE second = start(L"two", L"LumidexSSDFlashdeck.exe");
    HANDLE lowerCase = start(L"three", L"lumidexssdflashdeck.exe");
    HANDLE sister = start(L"four", L"KelvraSSDFlashdeck.exe");
    ASSERT_TRUE(first && second && lowerCase && sister);

    terminateProcessesByName(L"LumidexSSDFlashdeck.exe");

    EXPECT_EQ(exitCodeAfterEnd(first), 0u);
    EXPECT_EQ(exitCodeAfterEnd(second), 0u);
    EXPECT_TRUE(stillRunning(lowerCase));
    EXPECT_TRUE(stillRunning(sister));

    terminateProcessesByName(sisterAppExeName);
    EXPECT_EQ(exitCodeAfterEnd(sister), 0u);
    EXPECT_TRUE(stillRunning(lowerCase));
}

TEST_F(ProcessControlTest, NoMatchOrEmptyNameEndsNothing) {
    HANDLE app = start(L"one", L"LumidexSSDFlashdeck.exe");
    ASSERT_TRUE(app);
    terminateProcessesByName(L"NoSuchProgram.exe");
    terminateProcessesByName(L"");
    terminateProcessesByName(L"LumidexSSDFlashdeck");
    EXPECT_TRUE(stillRunning(app));
}

TEST_F(ProcessControlTest, NeverEndsItselfButEndsOthersOfItsName) {
    const std::wstring ownName = fileNamePart(ownPath());
    HANDLE twin = start(L"twin", ownName);
    ASSERT_TRUE(twin);
    terminateProcessesByName(ownName);
    // Still here to check: the own process was skipped, the other one of that name was not.
    EXPECT_EQ(exitCodeAfterEnd(twin), 0u);
}
}  // namespace
