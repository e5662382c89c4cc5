#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstring>
#include <sstream>
#include <thread>
#include <vector>

#include "common/product_config.h"
#include "localization/text_table.h"
#include "system/resources_win.h"
#include "system/shortcuts_win.h"
#include "box_recorder.h"
#include "../support/files_win.h"

namespace {


struct LinkContents {
    bool loaded = false;
    std::wstring target;
    std::wstring workingDirectory;
    std::wstring iconPath;
    int iconIndex = -1;
};

LinkContents loadLink(const std::wstring& path) {
    LinkContents contents;
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
        return contents;
    }
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        if (SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
            wchar_t buffer[MAX_PATH] = {};
            contents.loaded = true;
            if (SUCCEEDED(link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH))) contents.target = buffer;
            if (SUCCEEDED(link->GetWorkingDirectory(buffer, MAX_PATH))) contents.workingDirectory = buffer;
            if (SUCCEEDED(link->GetIconLocation(buffer, MAX_PATH, &contents.iconIndex))) contents.iconPath = buffer;
        }
        file->Release();
    }
    link->Release();
    return contents;
}

class ShortcutTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        saved_ = productConfig();
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        root_ = std::wstring(temp) + L"shortcut_test_" + std::to_wstring(GetCurrentProcessId());
        setProductConfig(makeProductConfig(L"https://x/", root_, L"C:\\temp\\setup.exe"));
        const ProductConfig& config = productConfig();
        CreateDirectoryW(root_.c_str(), nullptr);
        CreateDirectoryW(config.vendorFolder.c_str(), nullptr);
        CreateDirectoryW(config.installFolder.c_str(), nullptr);
        writeFile(config.installFolder + config.appExeName, "MZ");
        path_ = desktopShortcutPath(config.shortcutName);
        ASSERT_FALSE(path_.empty());
        DeleteFileW(path_.c_str());
    }
    void TearDown() override {
        const ProductConfig& config = productConfig();
        for (const std::wstring& path : extraFiles_) DeleteFileW(path.c_str());
        DeleteFileW(path_.c_str());
        DeleteFileW((config.installFolder + config.appExeName).c_str());
        RemoveDirectoryW(config.installFolder.c_str());
        RemoveDirectoryW(config.vendorFolder.c_str());
        RemoveDirectoryW(root_.c_str());
        setProductConfig(saved_);
        CoUninitialize();
    }

    ProductConfig saved_;
    std::wstring root_;
    std::wstring path_;
    std::vector<std::wstring> extraFiles_;
};

TEST_F(ShortcutTest, PathIsOnTheDesktopWithLinkExtension) {
    wchar_t desktop[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOP, FALSE));
    EXPECT_EQ(desktopShortcutPath(L"Name"), std::wstring(desktop) + L"\\Name.lnk");
}

TEST_F(ShortcutTest, LinkPointsAtTheApplication) {
    ASSERT_TRUE(createDesktopShortcut().ok());
    const ProductConfig& config = productConfig();
    const LinkContents link = loadLink(path_);
    ASSERT_TRUE(link.loaded);
    EXPECT_EQ(lstrcmpiW(link.target.c_str(), (config.installFolder + config.appExeName).c_str()), 0) << link.target;
    EXPECT_EQ(lstrcmpiW(link.workingDirectory.c_str(), config.installFolder.c_str()), 0) << link.workingDirectory;
    ASSERT_FALSE(link.workingDirectory.empty());
    EXPECT_EQ(link.workingDirectory.back(), L'\\');
    EXPECT_EQ(lstrcmpiW(link.iconPath.c_str(), (config.installFolder + config.appExeName).c_str()), 0)
        << link.iconPath;
    EXPECT_EQ(link.iconIndex, 0);
}

// The shell calls that follow the shortcut on the installer's thread need its COM apartment: a
// thread without one still has it after the shortcut is made.
TEST_F(ShortcutTest, TheThreadStaysInItsApartment) {
    bool made = false;
    HRESULT again = E_FAIL;
    std::thread([&] {
        made = createDesktopShortcut().ok();
        again = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (SUCCEEDED(again)) CoUninitialize();
    }).join();
    EXPECT_TRUE(made);
    EXPECT_EQ(again, S_FALSE) << "the apartment was left when the shortcut was made";
}

TEST_F(ShortcutTest, ExistingFileOfTheSameNameIsReplaced) {
    writeFile(path_, "not a link");
    createDesktopShortcut();
    const LinkContents link = loadLink(path_);
    ASSERT_TRUE(link.loaded);
    EXPECT_FALSE(link.target.empty());
}

// A folder under the shortcut's name cannot be replaced: the failing call's own HRESULT comes back
// and the error box shows it, not a code made up for every shortcut failure.
TEST_F(ShortcutTest, AFailureReportsTheHresultOfTheCallThatFailed) {
    ASSERT_TRUE(CreateDirectoryW(path_.c_str(), nullptr));
    const Failure made = createDesktopShortcut();
    RemoveDirectoryW(path_.c_str());
    ASSERT_EQ(made.kind, Failure::Kind::HResult);
    EXPECT_EQ(HRESULT_FACILITY(made.code), FACILITY_WIN32) << std::hex << made.code;
    EXPECT_EQ(made.path, path_);

    if (textTable().cultures().empty()) loadFromResource(textTable());
    textTable().setCulture(L"en-US");
    BoxRecorder recorder;
    showErrorBox(made);
    ASSERT_EQ(recorder.boxes().size(), 1u);
    std::wostringstream code;
    code << L"(0x" << std::hex << made.code << L")";
    EXPECT_NE(recorder.boxes()[0].text.find(code.str()), std::wstring::npos) << recorder.boxes()[0].text;
    EXPECT_EQ(recorder.boxes()[0].text.find(L"(0x52)"), std::wstring::npos);
}

// Only our plain .lnk file goes: a file of the user's under either name (no shell link), a shell
// link with a second name (a hard link) and a file of another name stay.
TEST_F(ShortcutTest, RemovalDeletesOnlyOurPlainShortcutFiles) {
    ProductConfig config = productConfig();
    config.productDisplayName = L"Flashdeck Shortcut Test Display";
    setProductConfig(config);
    const std::wstring second = desktopShortcutPath(config.productDisplayName);
    const std::wstring other = desktopShortcutPath(L"Flashdeck Shortcut Test Renamed");
    extraFiles_ = {second, other};
    ASSERT_TRUE(createDesktopShortcut().ok());
    ASSERT_TRUE(CopyFileW(path_.c_str(), second.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(path_.c_str(), other.c_str(), FALSE));

    removeDesktopShortcuts();
    EXPECT_FALSE(exists(path_));
    EXPECT_FALSE(exists(second));
    EXPECT_TRUE(exists(other));

    // Nothing left to remove: no error, the user's renamed shortcut still stays.
    removeDesktopShortcuts();
    EXPECT_TRUE(exists(other));

    writeFile(path_, "the user's own notes");
    ASSERT_TRUE(CopyFileW(other.c_str(), second.c_str(), FALSE));
    const std::wstring alias = root_ + L"\\alias.lnk";
    extraFiles_.push_back(alias);
    ASSERT_TRUE(CreateHardLinkW(alias.c_str(), second.c_str(), nullptr));
    removeDesktopShortcuts();
    EXPECT_TRUE(exists(path_));
    EXPECT_TRUE(exists(second));
}

bool threadImpersonates() {
    HANDLE token = nullptr;
    const bool has = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) != 0;
    if (has) CloseHandle(token);
    return has;
}

// The shortcut steps run with the user's token on this thread only for their own length, and a
// token that cannot be taken on stops the step instead of letting it run with the process's rights.
TEST(UserRights, TheStepRunsImpersonatedAndTheThreadReturnsToItsOwnRights) {
    HANDLE own = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &own));
    HANDLE impersonation = nullptr;
    ASSERT_TRUE(DuplicateTokenEx(own, TOKEN_IMPERSONATE | TOKEN_QUERY, nullptr, SecurityImpersonation,
                                 TokenImpersonation, &impersonation));
    CloseHandle(own);
    ASSERT_FALSE(threadImpersonates());
    bool inside = false;
    const Failure result = withRightsOf(impersonation, [&inside] {
        inside = threadImpersonates();
        return Failure::win32(ERROR_ACCESS_DENIED, L"Desktop\\a.lnk");
    });
    EXPECT_TRUE(inside);
    EXPECT_FALSE(threadImpersonates());
    EXPECT_EQ(result.code, static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));  // the step's own failure
    EXPECT_EQ(result.path, L"Desktop\\a.lnk");
    CloseHandle(impersonation);

    HANDLE notAToken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool ran = false;
    const Failure refused = withRightsOf(notAToken, [&ran] {
        ran = true;
        return Failure{};
    });
    CloseHandle(notAToken);
    EXPECT_FALSE(ran);
    EXPECT_FALSE(refused.ok());
    EXPECT_FALSE(threadImpersonates());

    // Where a shell window exists, its user's token is one for impersonation; without one (a
    // service's desktop, or Wine without a shell) the reason says so.
    DWORD error = 0;
    const KernelHandle user = signedInUserToken(error);
    if (GetShellWindow() == nullptr) {
        EXPECT_FALSE(user.valid());
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_FOUND));
    } else if (user) {
        TOKEN_TYPE type{};
        DWORD size = 0;
        ASSERT_TRUE(GetTokenInformation(user.get(), TokenType, &type, sizeof type, &size));
        EXPECT_EQ(type, TokenImpersonation);
    }
}
}  // namespace
