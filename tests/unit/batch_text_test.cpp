#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup/setup_rules.h"

TEST(UnzipBatchBytes, ExactBytesForTheApplicationArchive) {
    const std::string expected =
        ".\\7za.exe x -y LumidexFlashdeck.zip\r\nset unzipped=%errorlevel%\r\ndel /f LumidexFlashdeck.zip\r\n"
        "exit /b %unzipped%";
    EXPECT_EQ(unzipBatchBytes(L"LumidexFlashdeck.zip"), expected);
}

TEST(UnzipBatchBytes, NarrowsEachUnitToItsLowByte) {
    const std::string bytes = unzipBatchBytes(std::wstring(L"a\u0142.zip"));
    // U+0142 keeps only 0x42 ("B"); one byte per unit, no line break at the end.
    EXPECT_EQ(bytes, ".\\7za.exe x -y aB.zip\r\nset unzipped=%errorlevel%\r\ndel /f aB.zip\r\nexit /b %unzipped%");
    EXPECT_NE(bytes.back(), '\n');
}

TEST(RuntimeExit, OnlyTheKnownSuccessCodesCount) {
    const std::pair<unsigned long, RuntimeResult> cases[] = {
        {0, RuntimeResult::Installed},        {1638, RuntimeResult::Installed},
        {3010, RuntimeResult::RestartNeeded}, {1641, RuntimeResult::RestartNeeded},
        {1, RuntimeResult::Failed},           {1603, RuntimeResult::Failed},
        {1602, RuntimeResult::Failed},        {0xC0000005, RuntimeResult::Failed},
    };
    for (const auto& [code, result] : cases) EXPECT_EQ(classifyRuntimeExit(code), result) << code;
}

TEST(RuntimeInstallerCommand, QuotesThePath) {
    EXPECT_EQ(runtimeInstallerCommand(L"C:\\Program Files (x86)\\Lumidex\\SSD Flashdeck\\"),
              L"\"C:\\Program Files (x86)\\Lumidex\\SSD Flashdeck\\vcredist_x86.exe\" /quiet /norestart");
}


// The elevated interpreter sees nothing of the user's environment but what it needs, in the order
// Windows requires; a PATH or PATHEXT of the user's would choose the program that runs.
TEST(ExtractionEnvironment, HoldsOnlyTheSystemEntriesSortedAndDoublyEnded) {
    const std::wstring block = minimalEnvironment(L"C:\\Windows", L"C:\\Windows\\system32", L"C:\\T");
    std::vector<std::wstring> entries;
    for (std::size_t at = 0; at < block.size() && block[at] != L'\0';) {
        const std::size_t end = block.find(L'\0', at);
        entries.push_back(block.substr(at, end - at));
        at = end + 1;
    }
    EXPECT_EQ(block.substr(block.size() - 2), std::wstring(2, L'\0'));
    EXPECT_EQ(entries, (std::vector<std::wstring>{L"ComSpec=C:\\Windows\\system32\\cmd.exe", L"PATH=C:\\Windows\\system32",
                                                  L"PATHEXT=.COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC",
                                                  L"SystemRoot=C:\\Windows", L"TEMP=C:\\T", L"TMP=C:\\T",
                                                  L"windir=C:\\Windows"}));
    EXPECT_EQ(extractorCommandLine(L"unzip.bat"), L"cmd /D /C unzip.bat");
}

TEST(UninstallPaths, PrefersRecordedPathAndFindsVendorFolder) {
    const std::wstring configured = L"C:\\PF\\Lumidex\\SSD Flashdeck\\";
    const std::wstring vendor = L"C:\\PF\\Lumidex\\";
    EXPECT_EQ(folderToRemove(L"", configured, vendor), configured);
    EXPECT_EQ(folderToRemove(L"c:\\pf\\lumidex\\ssd flashdeck", configured, vendor), L"c:\\pf\\lumidex\\ssd flashdeck");
    EXPECT_EQ(folderToRemove(L"C:\\PF\\Lumidex\\Older Flashdeck\\", configured, vendor),
              L"C:\\PF\\Lumidex\\Older Flashdeck\\");
    // Anything else recorded is not trusted with a removal as administrator.
    for (const wchar_t* recorded : {L"D:\\Apps\\SSD Flashdeck\\", L"D:\\Data", L"\\\\server\\share\\SSD Flashdeck",
                                    L"C:\\PF\\Lumidex\\..\\..\\Windows", L"C:\\PF\\Lumidex", L"C:\\PF\\Lumidex\\",
                                    L"C:\\PF\\LumidexOther\\x", L"relative\\SSD Flashdeck"}) {
        EXPECT_EQ(folderToRemove(recorded, configured, vendor), configured) << recorded;
    }
    EXPECT_EQ(vendorFolderOf(configured, L"SSD Flashdeck"), L"C:\\PF\\Lumidex\\");
    EXPECT_EQ(vendorFolderOf(L"D:\\Tools\\Flash\\", L"SSD Flashdeck"), L"");
    EXPECT_EQ(vendorFolderOf(L"D:\\ssd flashdeck\\", L"SSD Flashdeck"), L"");
    // A path that starts with the word has no vendor folder to clean.
    EXPECT_EQ(vendorFolderOf(L"SSD Flashdeck\\", L"SSD Flashdeck"), L"");
}
