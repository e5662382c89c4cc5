#include <gtest/gtest.h>

#include "common/log_text.h"

namespace {
// A value with line breaks must not write a line of its own: every control character is spelled
// out, and the rest (blanks, backslashes of paths, letters of any script) stays as it was.
TEST(LogText, ControlCharactersAreWrittenOutAndTheRestStays) {
    EXPECT_EQ(escapedLogText(L"-log x\r\n2026-01-01 00:00:00.000 [1] result: installed"),
              L"-log x\\r\\n2026-01-01 00:00:00.000 [1] result: installed");
    EXPECT_EQ(escapedLogText(L"a\tb\x01" L"c\x1b[2Jd\x7f"), L"a\\tb\\x01c\\x1B[2Jd\\x7F");
    EXPECT_EQ(escapedLogText(L"next\x85line\x2028para\x2029"), L"next\\x85line\\u2028para\\u2029");
    EXPECT_EQ(escapedLogText(std::wstring(L"nul\0end", 7)), L"nul\\x00end");
    const std::wstring plain = L"C:\\Users\\Åsa Öberg\\Deploy Logs\\pre-uninstall\\a.log \x65E5\x672C \xA0";
    EXPECT_EQ(escapedLogText(plain), plain);
    EXPECT_EQ(escapedLogText(L""), L"");
}

// The copy writes only into a pipe of our own name: a path of any file is never one.
TEST(LogText, ChannelNamesAreOurPipesAndNothingElse) {
    const unsigned char random[16] = {0x00, 0x01, 0x7f, 0x80, 0xab, 0xcd, 0xef, 0xff,
                                      0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x9a};
    const std::wstring name = logChannelName(random);
    EXPECT_EQ(name, L"\\\\.\\pipe\\LumidexFlashdeckLog-00017f80abcdefff102030405060709a");
    EXPECT_TRUE(isLogChannelName(name));
    for (const wchar_t* other : {
             L"",
             L"C:\\Windows\\System32\\drivers\\etc\\hosts",
             L"\\\\server\\pipe\\LumidexFlashdeckLog-00017f80abcdefff102030405060709a",
             L"\\\\?\\C:\\LumidexFlashdeckLog-00017f80abcdefff102030405060709a",
             L"\\\\.\\pipe\\LumidexFlashdeckLog-00017f80abcdefff102030405060709",
             L"\\\\.\\pipe\\LumidexFlashdeckLog-00017f80abcdefff102030405060709a0",
             L"\\\\.\\pipe\\LumidexFlashdeckLog-00017F80ABCDEFFF102030405060709A",
             L"\\\\.\\pipe\\LumidexFlashdeckLog-..\\..\\C:\\x\\abcdefff102030405060709a",
         }) {
        EXPECT_FALSE(isLogChannelName(other)) << other;
    }
}
}  // namespace
