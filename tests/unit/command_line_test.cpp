#include <gtest/gtest.h>

#include "common/product_config.h"
#include "common/text.h"
#include "startup/command_line.h"

namespace {
const std::wstring kDefault = L"https://default.example/";

struct CommandLineCase {
    const wchar_t* arguments;
    const wchar_t* baseUrl;
    bool uninstall;
};

class CommandLine : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLine, FindsSwitchesAndUrl) {
    const auto& c = GetParam();
    const StartupOptions options = parseCommandLine(c.arguments, kDefault);
    EXPECT_EQ(options.baseUrl, c.baseUrl);
    EXPECT_EQ(options.uninstallMode, c.uninstall);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, CommandLine,
    ::testing::Values(
        CommandLineCase{L"", L"https://default.example/", false},
        CommandLineCase{L"-uninstall", L"https://default.example/", true},
        CommandLineCase{L"-UNINSTALL", L"https://default.example/", true},
        CommandLineCase{L"-UnInstall -x", L"https://default.example/", true},
        CommandLineCase{L"-test \"https://127.0.0.1:8443/\"", L"https://127.0.0.1:8443/", false},
        CommandLineCase{L"-TEST \"https://127.0.0.1:8443\"", L"https://127.0.0.1:8443/", false},
        CommandLineCase{L"-Test \"https://host/a\\\"", L"https://host/a\\", false},
        CommandLineCase{L"-test \"HTTPS://Host.Example/Path/\"", L"https://host.example/path/", false},
        CommandLineCase{L"-test \"https://h/-uninstall/\"", L"https://h/-uninstall/", true},
        CommandLineCase{L"-uninstall -test \"https://h/\"", L"https://h/", true},
        // No quoted value, an unclosed quote or an empty value keep the default.
        CommandLineCase{L"-test", L"https://default.example/", false},
        CommandLineCase{L"-test https://h/", L"https://default.example/", false},
        CommandLineCase{L"-test \"https://h/", L"https://default.example/", false},
        CommandLineCase{L"-test \"\"", L"https://default.example/", false},
        CommandLineCase{L"-test \"\" -uninstall", L"https://default.example/", true},
        // Only an https:// server is taken: nothing else may reach the elevated copy.
        CommandLineCase{L"-test \"http://127.0.0.1:8080/\"", L"https://default.example/", false},
        CommandLineCase{L"-test \"file://c:/x/\" -uninstall", L"https://default.example/", true},
        CommandLineCase{L"-test \"https:/h/\"", L"https://default.example/", false},
        CommandLineCase{L"-test \"https://\"", L"https://default.example/", false}));

TEST(CommandLine, UnattendedSwitchesAndTheLogPathInItsOwnCase) {
    struct Case {
        const wchar_t* arguments;
        bool silent;
        const wchar_t* logPath;
    } cases[] = {
        {L"-SILENT", true, L""},
        {L"-uninstall -Silent -LOG \"C:\\Logs Here\\Setup.log\"", true, L"C:\\Logs Here\\Setup.log"},
        {L"-log C:\\Temp\\A.log -silent", true, L"C:\\Temp\\A.log"},
        {L"-log", false, L""},
        {L"-log \"unclosed", false, L""},
        {L"-test \"https://h/\"", false, L""},
    };
    for (const Case& c : cases) {
        const StartupOptions options = parseCommandLine(c.arguments, kDefault);
        EXPECT_EQ(options.silent, c.silent) << testing::PrintToString(std::wstring(c.arguments));
        EXPECT_EQ(options.logPath, c.logPath) << testing::PrintToString(std::wstring(c.arguments));
    }
}

TEST(CommandLineText, LowersOnlyAsciiLetters) {
    EXPECT_EQ(lowerAscii(L"ABC-xyz_ÄÖ\u0130Z"), L"abc-xyz_ÄÖ\u0130z");
    EXPECT_EQ(parseCommandLine(L"-Uninstall -TEST \"X\"", kDefault).commandLine, L"-uninstall -test \"x\"");
}

TEST(ProductConfiguration, BuildsEveryValue) {
    const ProductConfig c = makeProductConfig(L"https://h/", L"C:\\Program Files (x86)",
                                              L"C:\\Users\\me\\Downloads\\My Setup.exe");
    EXPECT_EQ(c.installerTitle, L"Lumidex SSD Flashdeck Installer");
    EXPECT_EQ(c.downloadRoot, L"https://h/Flashdeck/");
    EXPECT_EQ(c.vendorFolder, L"C:\\Program Files (x86)\\Lumidex\\");
    EXPECT_EQ(c.installFolder, L"C:\\Program Files (x86)\\Lumidex\\SSD Flashdeck\\");
    EXPECT_EQ(c.selfFileName, L"My Setup.exe");
    EXPECT_EQ(c.releaseNotesFileName, L"LumidexSSDFlashdeckReleaseNotes.pdf");
    EXPECT_EQ(c.brandName, L"Lumidex");
    EXPECT_EQ(c.productDisplayName, L"Lumidex SSD Flashdeck");
    EXPECT_EQ(c.shortcutName, L"Lumidex SSD Flashdeck");
    EXPECT_EQ(c.appExeName, L"LumidexSSDFlashdeck.exe");
    EXPECT_EQ(c.appArchiveName, L"LumidexFlashdeck.zip");
    EXPECT_EQ((std::vector<int>{c.logoImageId, c.logoWidth, c.logoHeight, c.logoLeft, c.logoTop}),
              (std::vector<int>{3002, 130, 34, 15, 260}));
}

TEST(ProductConfiguration, KeepsBackslashOfBaseUrlAndBareFileName) {
    EXPECT_EQ(makeProductConfig(L"https://h\\", L"C:", L"setup.exe").downloadRoot, L"https://h\\Flashdeck/");
    EXPECT_EQ(fileNamePart(L"setup.exe"), L"setup.exe");
    EXPECT_EQ(fileNamePart(L"C:\\a\\"), L"");
}
TEST(TempCopy, CopyFolderLiesInsideTheTemporaryFolder) {
    const std::wstring temp = L"C:\\T\\";
    const std::wstring a = copyFolderPath(temp, 0x10, 0, 0x99);
    EXPECT_TRUE(isInsideFolder(a + L"\\setup.exe", temp));
    EXPECT_NE(a, copyFolderPath(temp, 0x10, 1, 0x99));
    EXPECT_EQ(copyFolderPath(L"C:\\T", 1, 2, 3), copyFolderPath(temp, 1, 2, 3));
    // The copy knows its folder by this name (and by the folder's place in the temporary folder).
    EXPECT_TRUE(isCopyFolderName(fileNamePart(a)));
    EXPECT_TRUE(isCopyFolderName(L"lfd1a-0-ff"));
    for (const wchar_t* other : {L"LFD", L"LFD1-2", L"LFD1-2-3-4", L"LFDx-1-2", L"LFD1--2", L"Temp1_setup.zip", L"LFD1-2-3 "}) {
        EXPECT_FALSE(isCopyFolderName(other)) << other;
    }
}
}  // namespace
