#include <gtest/gtest.h>

#include "system/path_guard.h"

namespace {
const std::vector<std::wstring> kProtected = {
    L"C:\\Windows", L"C:\\Program Files", L"C:\\Program Files (x86)\\", L"C:\\Program Files\\Common Files",
    L"C:\\Users", L"C:\\Users\\alice", L"",
};
const std::vector<std::wstring> kProfileRoots = {L"C:\\Users\\"};

struct GuardCase {
    const wchar_t* path;
    bool removable;
};

class FolderRemovalAllowed : public ::testing::TestWithParam<GuardCase> {};

TEST_P(FolderRemovalAllowed, FollowsTheRules) {
    const GuardCase& c = GetParam();
    EXPECT_EQ(folderRemovalAllowed(c.path, kProtected, kProfileRoots), c.removable) << c.path;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FolderRemovalAllowed,
    ::testing::Values(
        GuardCase{L"C:\\Program Files (x86)\\Lumidex\\SSD Flashdeck\\", true},
        GuardCase{L"C:\\Program Files (x86)\\Lumidex", true},
        GuardCase{L"\\\\server\\share\\apps\\Flashdeck", true},
        GuardCase{L"C:\\Users\\alice\\AppData\\Local\\Temp\\x", true},
        GuardCase{L"", false},
        GuardCase{L"C:", false},
        GuardCase{L"C:\\", false},
        GuardCase{L"c:\\\\", false},
        GuardCase{L"D:/", false},
        GuardCase{L"\\\\server\\share\\", false},
        GuardCase{L"C:\\WINDOWS\\", false},
        GuardCase{L"c:/windows", false},
        GuardCase{L"C:\\Program Files", false},
        GuardCase{L"C:\\PROGRAM FILES (X86)", false},
        GuardCase{L"C:\\Program Files\\Common Files\\", false},
        GuardCase{L"C:\\Users", false},
        GuardCase{L"C:\\Users\\bob\\", false},
        GuardCase{L"C:\\users\\Bob", false},
        GuardCase{L"C:\\Program Files (x86)\\Lumidex\\..\\..", false},
        GuardCase{L"C:\\Program Files (x86)\\..", false},
        GuardCase{L"relative\\folder", false},
        GuardCase{L"\\Windows", false},
        GuardCase{L"C:Windows", false},
        GuardCase{L"\\\\?\\C:\\Windows", false},
        GuardCase{L"\\\\.\\C:\\x", false}));

TEST(IsProtectedFolder, EmptyPathAndDriveRootsAreNeverRemoved) {
    EXPECT_TRUE(isProtectedFolder(L"", {}));
    EXPECT_TRUE(isProtectedFolder(L"\\\\", {}));
    EXPECT_TRUE(isProtectedFolder(L"Z:", {}));
    EXPECT_TRUE(isProtectedFolder(L"z:\\", {}));
    EXPECT_FALSE(isProtectedFolder(L"Z:\\data", {}));
    EXPECT_FALSE(isProtectedFolder(L"C:\\Windowsx", kProtected));
    EXPECT_TRUE(isProtectedFolder(L"C:\\Program Files (x86)", kProtected));
}

TEST(IsDirectChildOf, OnlyOneLevelBelow) {
    EXPECT_TRUE(isDirectChildOf(L"C:\\Users\\name", L"C:\\Users"));
    EXPECT_TRUE(isDirectChildOf(L"C:\\USERS\\name\\", L"c:\\users\\"));
    EXPECT_FALSE(isDirectChildOf(L"C:\\Users\\name\\Desktop", L"C:\\Users"));
    EXPECT_FALSE(isDirectChildOf(L"C:\\Users", L"C:\\Users"));
    EXPECT_FALSE(isDirectChildOf(L"C:\\Usersname", L"C:\\Users"));
    EXPECT_FALSE(isDirectChildOf(L"C:\\Users\\name", L""));
}
}  // namespace
