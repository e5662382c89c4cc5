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
        // A backslash before the closing quote is written twice, as Windows' rules want it.
        CommandLineCase{L"-Test \"https://host/a\\\\\"", L"https://host/a\\", false},
        CommandLineCase{L"-test \"HTTPS://Host.Example/Path/\"", L"https://host.example/path/", false},
        // A value is never a switch: "-uninstall" inside the server's URL selects nothing.
        CommandLineCase{L"-test \"https://h/-uninstall/\"", L"https://h/-uninstall/", false},
        CommandLineCase{L"-uninstall -test \"https://h/\"", L"https://h/", true},
        // The value is the next argument, quoted or not (an unclosed quote runs to the end);
        // none, an empty one or a switch keeps the default.
        CommandLineCase{L"-test", L"https://default.example/", false},
        CommandLineCase{L"-test https://h/", L"https://h/", false},
        CommandLineCase{L"-test \"https://h/", L"https://h/", false},
        CommandLineCase{L"-test \"\"", L"https://default.example/", false},
        CommandLineCase{L"-test \"\" -uninstall", L"https://default.example/", true},
        CommandLineCase{L"-test -uninstall", L"https://default.example/", false},
        CommandLineCase{L"-uninstall-test \"https://h/\"", L"https://default.example/", false},
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
        {L"-log \"unclosed", false, L"unclosed"},
        {L"-test \"https://h/\"", false, L""},
        // Only whole arguments: neither a part of one nor a value counts.
        {L"-silently -silent- x-silent", false, L""},
        {L"-log -silent", false, L"-silent"},
        {L"\"-SILENT\"", true, L""},
    };
    for (const Case& c : cases) {
        const StartupOptions options = parseCommandLine(c.arguments, kDefault);
        EXPECT_EQ(options.silent, c.silent) << testing::PrintToString(std::wstring(c.arguments));
        EXPECT_FALSE(options.passive) << testing::PrintToString(std::wstring(c.arguments));
        EXPECT_EQ(options.logPath, c.logPath) << testing::PrintToString(std::wstring(c.arguments));
    }
}

TEST(CommandLine, PassiveIsAWholeArgumentOfItsOwn) {
    EXPECT_TRUE(parseCommandLine(L"-Passive -uninstall", kDefault).passive);
    EXPECT_FALSE(parseCommandLine(L"-Passive", kDefault).silent);
    EXPECT_FALSE(parseCommandLine(L"-passively x-passive", kDefault).passive);
    EXPECT_FALSE(parseCommandLine(L"-log -passive", kDefault).passive);
    // The elevated copy runs passive too: without it the copy would wait for a click.
    const StartupOptions copy = parseCommandLine(elevationArguments(parseCommandLine(L"-PASSIVE -uninstall", kDefault)),
                                                 kDefault);
    EXPECT_TRUE(copy.passive);
    EXPECT_TRUE(copy.uninstallMode);
}

TEST(CommandLineText, LowersOnlyAsciiLetters) {
    EXPECT_EQ(lowerAscii(L"ABC-xyz_ÄÖ\u0130Z"), L"abc-xyz_ÄÖ\u0130z");
}

// A deployment tool's log folder named "pre-uninstall" must not turn the installation into an
// uninstallation, nor may a line break inside an argument split it into switches.
TEST(CommandLine, ALogPathOrALineBreakNeverMakesASwitch) {
    const StartupOptions a = parseCommandLine(L"-silent -log \"D:\\Logs\\pre-uninstall\\A.log\"", kDefault);
    EXPECT_TRUE(a.silent);
    EXPECT_FALSE(a.uninstallMode);
    EXPECT_EQ(a.logPath, L"D:\\Logs\\pre-uninstall\\A.log");

    const StartupOptions b = parseCommandLine(L"-log C:\\x-uninstall.log -silent", kDefault);
    EXPECT_FALSE(b.uninstallMode);
    EXPECT_TRUE(b.silent);
    EXPECT_EQ(b.logPath, L"C:\\x-uninstall.log");

    const StartupOptions c = parseCommandLine(L"\"x\r\n-uninstall\" -log \"C:\\a\r\n-silent\\b.log\"", kDefault);
    EXPECT_FALSE(c.uninstallMode);
    EXPECT_FALSE(c.silent);
    EXPECT_EQ(c.logPath, L"C:\\a\r\n-silent\\b.log");
    EXPECT_EQ(splitArguments(L"-silent\r\n-uninstall"), std::vector<std::wstring>{L"-silent\r\n-uninstall"});
}

// The rules of CommandLineToArgvW for the arguments after the program's name.
TEST(CommandLine, SplitsAsWindowsDoes) {
    using Args = std::vector<std::wstring>;
    EXPECT_EQ(splitArguments(L""), Args{});
    EXPECT_EQ(splitArguments(L" \t "), Args{});
    EXPECT_EQ(splitArguments(L"  a\tb  c "), (Args{L"a", L"b", L"c"}));
    EXPECT_EQ(splitArguments(L"\"a b\" \"\""), (Args{L"a b", L""}));
    EXPECT_EQ(splitArguments(L"a\"b c\"d e"), (Args{L"ab cd", L"e"}));
    EXPECT_EQ(splitArguments(L"C:\\a\\ b\\\\"), (Args{L"C:\\a\\", L"b\\\\"}));
    EXPECT_EQ(splitArguments(L"a\\\\\"b c\" d"), (Args{L"a\\b c", L"d"}));
    EXPECT_EQ(splitArguments(L"a\\\"b c"), (Args{L"a\"b", L"c"}));
    EXPECT_EQ(splitArguments(L"\"a\\\\\" b"), (Args{L"a\\", L"b"}));
    // Runs of quotes: every third is a literal quote.
    EXPECT_EQ(splitArguments(L"\"a\"\"\"b\" c"), (Args{L"a\"b", L"c"}));
    EXPECT_EQ(splitArguments(L"\"\"\" x"), (Args{L"\"", L"x"}));
    EXPECT_EQ(splitArguments(L"\"a\"\" b\""), (Args{L"a\"", L"b"}));
    EXPECT_EQ(splitArguments(L"\"unclosed  x"), (Args{L"unclosed  x"}));
}

// Whatever the arguments hold, quoting them and splitting the line gives them back, so the
// elevated copy parses the options the first process parsed.
TEST(CommandLine, QuotedArgumentsComeBackUnchanged) {
    const std::vector<std::wstring> arguments = {
        L"", L"plain", L"two words", L"tab\there", L"C:\\Path\\", L"C:\\Path With Blanks\\",
        L"\\\\server\\share\\", L"say \"hi\"", L"\"", L"\"\"\"", L"a\\\"b", L"a\\\\\"", L"\\",
        L"line\r\nbreak", L"\n", L"-uninstall", L"ÄÖ \u0130", L"end\\\\",
    };
    std::wstring line;
    for (const std::wstring& argument : arguments) line += quoteArgument(argument) + L" ";
    EXPECT_EQ(splitArguments(line), arguments);
    for (const std::wstring& argument : arguments) {
        EXPECT_EQ(splitArguments(quoteArgument(argument)), std::vector<std::wstring>{argument});
    }
    EXPECT_EQ(quoteArgument(L"plain"), L"plain");
}

TEST(CommandLine, TheElevatedCopyGetsTheParsedOptions) {
    const std::wstring line = L"-TEST \"HTTPS://Host/Path\" unknown -Log \"C:\\My Logs\\Pre-Uninstall\\Setup.LOG\" -SILENT";
    const StartupOptions first = parseCommandLine(line, kDefault);
    const std::wstring handed = elevationArguments(first);
    EXPECT_EQ(handed, L"-test https://host/path/ -silent -log \"C:\\My Logs\\Pre-Uninstall\\Setup.LOG\"");
    const StartupOptions copy = parseCommandLine(handed, kDefault);
    EXPECT_EQ(copy.baseUrl, first.baseUrl);
    EXPECT_TRUE(copy.testUrlGiven);
    EXPECT_EQ(copy.silent, first.silent);
    EXPECT_FALSE(copy.uninstallMode);
    EXPECT_EQ(copy.logPath, L"C:\\My Logs\\Pre-Uninstall\\Setup.LOG");

    EXPECT_EQ(elevationArguments(parseCommandLine(L"-uninstall", kDefault)), L"-uninstall");
    EXPECT_EQ(elevationArguments(parseCommandLine(L"-test \"http://h/\"", kDefault)), L"");
    const StartupOptions broken = parseCommandLine(L"-log \"C:\\a\r\n-uninstall\\\\\"", kDefault);
    EXPECT_EQ(parseCommandLine(elevationArguments(broken), kDefault).logPath, L"C:\\a\r\n-uninstall\\");
    EXPECT_FALSE(parseCommandLine(elevationArguments(broken), kDefault).uninstallMode);

    // The owner of the log hands the copy its channel instead of the path.
    StartupOptions owner = parseCommandLine(L"-silent -LogChannel -uninstall", kDefault);
    EXPECT_EQ(owner.logChannel, L"-uninstall");
    EXPECT_FALSE(owner.uninstallMode);
    owner.logChannel = L"\\\\.\\pipe\\LumidexFlashdeckLog-0a";
    EXPECT_EQ(parseCommandLine(elevationArguments(owner), kDefault).logChannel, owner.logChannel);
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
