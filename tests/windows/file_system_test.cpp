#include <gtest/gtest.h>
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <cstring>
#include <cwctype>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "system/file_system_win.h"
#include "system/handles_win.h"
#include "system/paths_win.h"
#include "../support/files_win.h"

namespace {
// A fresh folder in the temporary folder, removed with everything in it afterwards.
class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        root_ = std::wstring(temp) + L"fs_test_" + std::to_wstring(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryW(root_.c_str(), nullptr));
    }
    void TearDown() override {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root_, ignored)) {
            SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        std::filesystem::remove_all(root_, ignored);
    }
    std::wstring at(const std::wstring& relative) const { return root_ + L"\\" + relative; }

    std::wstring root_;
};

TEST_F(FileSystemTest, PathStateTellsExistingFromMissing) {
    writeFile(at(L"file.txt"));
    struct Case {
        std::wstring path;
        PathState state;
    };
    const Case cases[] = {
        {root_, PathState::Exists},
        {root_ + L"\\", PathState::Exists},
        {at(L"file.txt"), PathState::Exists},
        {at(L"missing.txt"), PathState::Missing},
        {at(L"no\\such\\folder"), PathState::Missing},
        {at(L"file.txt\\below"), PathState::Missing},
        {at(L"bad<name>"), PathState::Missing},
        {L"", PathState::Missing},
    };
    for (const Case& c : cases) EXPECT_EQ(pathState(c.path), c.state) << std::filesystem::path(c.path).string();
    EXPECT_TRUE(pathExists(root_));
    EXPECT_FALSE(pathExists(at(L"missing.txt")));
}

TEST_F(FileSystemTest, FolderBytesCountsNestedFilesOnceAndNoLinkedFolder) {
    ASSERT_TRUE(CreateDirectoryW(at(L"sub").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(at(L"sub\\deeper").c_str(), nullptr));
    writeFile(at(L"a.bin"), std::string(1000, 'a').c_str());
    writeFile(at(L"sub\\deeper\\b.bin"), std::string(2500, 'b').c_str());
    writeFile(at(L"sub\\empty.txt"), "");
    EXPECT_EQ(folderBytes(root_), 3500u);
    EXPECT_EQ(folderBytes(root_ + L"\\"), 3500u);  // as the install folder is written, with its backslash
    EXPECT_EQ(folderBytes(at(L"missing")), 0u);
    // A junction to a folder outside is not part of the size.
    if (CreateSymbolicLinkW(at(L"elsewhere").c_str(), at(L"sub").c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY)) {
        EXPECT_EQ(folderBytes(root_), 3500u);
    }
}

TEST_F(FileSystemTest, CreatesEveryMissingParent) {
    EXPECT_TRUE(createFolderWithParents(at(L"a\\b\\c\\")).ok());
    EXPECT_TRUE(exists(at(L"a\\b\\c")));
    EXPECT_TRUE(createFolderWithParents(at(L"a\\b\\c")).ok());
    EXPECT_TRUE(createFolderWithParents(at(L"a/b/d")).ok());
    EXPECT_TRUE(exists(at(L"a\\b\\d")));
}

TEST_F(FileSystemTest, FileOnTheWayIsAnError) {
    writeFile(at(L"blocker"));
    // The code comes with the result: the last error after the successful look at the blocker
    // is still whatever it was before, here 0, which a caller would have taken for success.
    SetLastError(0);
    EXPECT_EQ(createFolderWithParents(at(L"blocker\\inner\\deeper")).code, static_cast<DWORD>(ERROR_DIRECTORY));
    SetLastError(0);
    EXPECT_EQ(createFolderWithParents(at(L"blocker")).code, static_cast<DWORD>(ERROR_DIRECTORY));
    EXPECT_FALSE(exists(at(L"blocker\\inner")));
}

TEST_F(FileSystemTest, RemovePathTakesFilesAndEmptyFolders) {
    writeFile(at(L"file.txt"));
    CreateDirectoryW(at(L"empty").c_str(), nullptr);
    CreateDirectoryW(at(L"full").c_str(), nullptr);
    writeFile(at(L"full\\inside.txt"));

    EXPECT_TRUE(removePath(at(L"file.txt")));
    EXPECT_TRUE(removePath(at(L"empty")));
    EXPECT_TRUE(removePath(at(L"never-there")));
    EXPECT_FALSE(removePath(at(L"full")));
    EXPECT_FALSE(exists(at(L"file.txt")));
    EXPECT_FALSE(exists(at(L"empty")));
    EXPECT_TRUE(exists(at(L"full\\inside.txt")));
}

TEST_F(FileSystemTest, RemovesAWholeTreeIncludingReadOnlyEntries) {
    const std::wstring tree = at(L"Lumidex\\SSD Flashdeck");
    ASSERT_TRUE(createFolderWithParents(tree + L"\\bin\\plugins").ok());
    writeFile(tree + L"\\LumidexSSDFlashdeck.exe");
    writeFile(tree + L"\\bin\\plugins\\a.dll");
    writeFile(tree + L"\\bin\\readonly.dat");
    SetFileAttributesW((tree + L"\\bin\\readonly.dat").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW((tree + L"\\bin\\plugins").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);

    removeFolderTree(tree + L"\\");
    EXPECT_FALSE(exists(tree));
    EXPECT_TRUE(exists(at(L"Lumidex")));
}

TEST_F(FileSystemTest, MissingPathOrFileIsLeftAlone) {
    removeFolderTree(at(L"never-there"));
    removeFolderTree(L"");
    writeFile(at(L"plain.txt"));
    removeFolderTree(at(L"plain.txt"));
    EXPECT_TRUE(exists(at(L"plain.txt")));
}

TEST_F(FileSystemTest, RemovalStopsAtAFileInUse) {
    const std::wstring tree = at(L"busy");
    ASSERT_TRUE(createFolderWithParents(tree + L"\\sub").ok());
    writeFile(tree + L"\\locked.txt");
    writeFile(tree + L"\\sub\\other.txt");
    {
        FileHandle locked(CreateFileW((tree + L"\\locked.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(locked.valid());
        const Failure stopped = removeFolderTree(tree);
        EXPECT_EQ(stopped.code, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        EXPECT_EQ(stopped.path, tree + L"\\locked.txt");  // the file the user must free
        EXPECT_TRUE(exists(tree + L"\\locked.txt"));
        EXPECT_TRUE(exists(tree));
    }
    EXPECT_TRUE(removeFolderTree(tree).ok());
    EXPECT_FALSE(exists(tree));

    // A short look (the shell reading the icon of a program a new shortcut names) is waited out.
    ASSERT_TRUE(createFolderWithParents(tree).ok());
    writeFile(tree + L"\\LumidexSSDFlashdeck.exe");
    FileHandle look(CreateFileW((tree + L"\\LumidexSSDFlashdeck.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(look.valid());
    std::thread done([&look] {
        Sleep(400);
        look.reset();
    });
    const Failure removed = removeFolderTree(tree);
    done.join();
    EXPECT_TRUE(removed.ok()) << removed.code;
    EXPECT_FALSE(exists(tree));
}

TEST_F(FileSystemTest, PathWithParentReferenceIsRefused) {
    const std::wstring victim = at(L"keep");
    ASSERT_TRUE(createFolderWithParents(victim).ok());
    writeFile(victim + L"\\data.txt");
    removeFolderTree(at(L"keep\\..\\keep"));
    deleteFilesInFolder(at(L"keep\\..\\keep\\"));
    EXPECT_TRUE(exists(victim + L"\\data.txt"));
    EXPECT_FALSE(folderTreeRemovalAllowed(at(L"keep\\..")));
}

TEST_F(FileSystemTest, SystemAndProfileFoldersAreNeverRemovable) {
    std::vector<std::wstring> refused = {
        L"C:\\", L"C:", L"c:/",
        knownFolderPath(FOLDERID_Windows), knownFolderPath(FOLDERID_Windows) + L"\\",
        knownFolderPath(FOLDERID_System),
        knownFolderPath(FOLDERID_ProgramFiles), knownFolderPath(FOLDERID_ProgramFilesX86) + L"\\",
        knownFolderPath(FOLDERID_ProgramFilesCommonX86),
        knownFolderPath(FOLDERID_UserProfiles), knownFolderPath(FOLDERID_Profile),
        knownFolderPath(FOLDERID_UserProfiles) + L"\\SomeoneElse",
        knownFolderPath(FOLDERID_Desktop),
    };
    wchar_t programW6432[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"ProgramW6432", programW6432, MAX_PATH)) refused.push_back(programW6432);
    // The same folders written differently must not get through either.
    std::wstring upper = knownFolderPath(FOLDERID_Windows);
    CharUpperW(upper.data());
    refused.push_back(upper);
    refused.push_back(knownFolderPath(FOLDERID_Windows) + L"\\.");
    wchar_t shortName[MAX_PATH] = {};
    if (GetShortPathNameW(knownFolderPath(FOLDERID_ProgramFilesX86).c_str(), shortName, MAX_PATH)) {
        refused.push_back(shortName);
    }
    for (const std::wstring& folder : refused) {
        ASSERT_FALSE(folder.empty());
        ASSERT_FALSE(folderTreeRemovalAllowed(folder)) << std::filesystem::path(folder).string();
        // A refused removal is a failure that names the folder, never a removal reported as done.
        const Failure refusal = removeFolderTree(folder);
        EXPECT_EQ(refusal.code, static_cast<DWORD>(ERROR_ACCESS_DENIED)) << std::filesystem::path(folder).string();
        EXPECT_EQ(refusal.path, folder);
    }
    EXPECT_TRUE(folderTreeRemovalAllowed(at(L"Lumidex\\SSD Flashdeck\\")));
    EXPECT_TRUE(folderTreeRemovalAllowed(knownFolderPath(FOLDERID_ProgramFilesX86) + L"\\Lumidex\\SSD Flashdeck\\"));
}

// The relaunch tells the temporary folder by the folder itself, not by how a path spells it.
TEST_F(FileSystemTest, FoldersCompareByIdentityNotSpelling) {
    ASSERT_TRUE(createFolderWithParents(at(L"Copy Folder\\Inner")).ok());
    writeFile(at(L"Copy Folder\\Inner\\setup.exe"));
    std::wstring upper = root_;
    for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
    std::wstring slashed = root_ + L"/";
    for (wchar_t& c : slashed) c = c == L'\\' ? L'/' : c;
    EXPECT_TRUE(isSameFolder(root_, upper + L"\\"));
    EXPECT_TRUE(isSameFolder(root_, slashed));
    EXPECT_TRUE(isSameFolder(root_, at(L"Copy Folder\\..")));
    EXPECT_FALSE(isSameFolder(root_, at(L"Copy Folder")));
    EXPECT_FALSE(isSameFolder(at(L"missing"), at(L"missing")));
    EXPECT_FALSE(isSameFolder(at(L"Copy Folder\\Inner\\setup.exe"), at(L"Copy Folder\\Inner\\setup.exe")));

    EXPECT_TRUE(isWithinFolder(at(L"Copy Folder\\Inner\\setup.exe"), upper));
    EXPECT_TRUE(isWithinFolder(at(L"Copy Folder\\Inner\\setup.exe"), at(L"Copy Folder")));
    EXPECT_FALSE(isWithinFolder(at(L"Copy Folder\\Inner\\setup.exe"), at(L"Copy Folder\\Other")));
    EXPECT_FALSE(isWithinFolder(root_ + L"Other\\setup.exe", root_));
}

TEST_F(FileSystemTest, DeleteFilesInFolderKeepsSubfolders) {
    const std::wstring vendor = at(L"Lumidex");
    ASSERT_TRUE(createFolderWithParents(vendor + L"\\Other Product").ok());
    writeFile(vendor + L"\\notes.pdf");
    writeFile(vendor + L"\\more.txt");
    writeFile(vendor + L"\\Other Product\\keep.txt");

    deleteFilesInFolder(vendor + L"\\");
    EXPECT_FALSE(exists(vendor + L"\\notes.pdf"));
    EXPECT_FALSE(exists(vendor + L"\\more.txt"));
    EXPECT_TRUE(exists(vendor + L"\\Other Product\\keep.txt"));

    writeFile(vendor + L"\\again.txt");
    deleteFilesInFolder(vendor);
    EXPECT_FALSE(exists(vendor + L"\\again.txt"));
    deleteFilesInFolder(at(L"never-there\\"));
}

// The file of the running program is its image; the same file with one byte of code or of its
// headers changed (another program under its name) is not.
TEST(RunningImage, OnlyTheFileOfTheRunningImageMatchesIt) {
    const FileHandle own = openOwnImage();
    ASSERT_TRUE(own.valid());
    std::vector<unsigned char> bytes;
    ASSERT_EQ(readFromHandle(own.get(), bytes), 0);
    EXPECT_TRUE(isRunningImage(bytes));

    const auto* base = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_SECTION_HEADER* code = IMAGE_FIRST_SECTION(nt);
    ASSERT_EQ(std::memcmp(code->Name, ".text", 5), 0);
    std::vector<unsigned char> changed = bytes;
    changed[code->PointerToRawData + code->SizeOfRawData / 2] ^= 0x01;
    EXPECT_FALSE(isRunningImage(changed));
    changed = bytes;
    changed[reinterpret_cast<const unsigned char*>(&nt->OptionalHeader.AddressOfEntryPoint) - base] ^= 0x10;
    EXPECT_FALSE(isRunningImage(changed));
    EXPECT_FALSE(isRunningImage({}));
}
}  // namespace
