#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "common/text.h"

namespace {
TEST(FileNamePart, KeepsThePartAfterTheLastSeparator) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"C:\\Program Files (x86)\\Lumidex\\LumidexFlashdeck.zip", L"LumidexFlashdeck.zip"},
        {L"https://example.test/Flashdeck/config/lista_updater.xml", L"lista_updater.xml"},
        {L"a\\b/c.txt", L"c.txt"},
        {L"a/b\\c.txt", L"c.txt"},
        {L"file.zip", L"file.zip"},
        {L"folder\\", L""},
        {L"", L""},
    };
    for (const auto& [path, element] : cases) EXPECT_EQ(fileNamePart(path), element) << path;
}

struct BodyCase {
    std::wstring message;
    std::int32_t code;
    std::wstring path;
    std::wstring body;
};

TEST(ErrorBoxBody, MessageThenHexCodeThenFileName) {
    const BodyCase cases[] = {
        {L"The system cannot find the file specified.\r\n", 2, L"C:\\x\\LumidexFlashdeck.zip",
         L"The system cannot find the file specified.\r\n(0x2): LumidexFlashdeck.zip"},
        {L"", 12029, L"C:\\x\\LumidexFlashdeck.zip", L"unknown error(0x2efd): LumidexFlashdeck.zip"},
        {L"Text", 0x1000, L"", L"Text(0x1000): "},
        {L"Text", 0xABCDEF, L"name", L"Text(0xabcdef): name"},
        {L"Text", -1, L"a/b", L"Text(0xffffffff): b"},
        {L"Text", std::numeric_limits<std::int32_t>::min(), L"x", L"Text(0x80000000): x"},
        {L"Text", std::numeric_limits<std::int32_t>::max(), L"x", L"Text(0x7fffffff): x"},
        {L"", 0, L"", L"unknown error(0x0): "},
    };
    for (const auto& c : cases) EXPECT_EQ(errorBoxBody(c.message, c.code, c.path), c.body) << c.code;
}
TEST(TempCopy, RecognisesPathsInsideTheTemporaryFolder) {
    const std::wstring temp = L"C:\\Users\\Ann\\AppData\\Local\\Temp\\";
    EXPECT_TRUE(isInsideFolder(L"C:\\Users\\Ann\\AppData\\Local\\Temp\\LFD1\\setup.exe", temp));
    EXPECT_TRUE(isInsideFolder(L"C:\\Users\\Ann\\AppData\\Local\\Temp\\setup.exe", temp));
    EXPECT_TRUE(isInsideFolder(L"c:\\users\\ann\\appdata\\local\\temp\\a\\b\\setup.exe", temp));
    EXPECT_TRUE(isInsideFolder(L"C:\\Users\\Ann\\AppData\\Local\\Temp\\x.exe", L"C:\\Users\\Ann\\AppData\\Local\\Temp"));
    EXPECT_FALSE(isInsideFolder(L"C:\\Users\\Ann\\Downloads\\setup.exe", temp));
    EXPECT_FALSE(isInsideFolder(L"C:\\Users\\Ann\\AppData\\Local\\TempOther\\setup.exe", temp));
    EXPECT_FALSE(isInsideFolder(L"C:\\setup.exe", L""));
}
}  // namespace
