#include <gtest/gtest.h>

#include <vector>

#include "system/registry_values.h"

namespace {
// UTF-16LE bytes of the units, as the registry hands them out.
std::vector<unsigned char> utf16Bytes(const std::u16string& units) {
    std::vector<unsigned char> bytes;
    for (char16_t unit : units) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return bytes;
}

struct DecodeCase {
    const char* what;
    unsigned long type;
    std::u16string units;
    long sizeAdjust;  // added to the byte count, to make odd or short sizes
    bool accepted;
    std::wstring text;
};

class DecodeRegistryString : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeRegistryString, AppliesTypeAndSizeRules) {
    const DecodeCase& c = GetParam();
    const std::vector<unsigned char> bytes = utf16Bytes(c.units);
    std::wstring out = L"stale";
    const bool accepted = decodeRegistryString(c.type, bytes.data(), bytes.size() + c.sizeAdjust, out);
    EXPECT_EQ(accepted, c.accepted) << c.what;
    EXPECT_EQ(out, c.text) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, DecodeRegistryString,
    ::testing::Values(
        DecodeCase{"plain string", registryTypeString, u"en-US", 0, false, L""},
        DecodeCase{"string with NUL", registryTypeString, std::u16string(u"en-US") + u'\0', 0, true, L"en-US"},
        DecodeCase{"expandable string stays unexpanded", registryTypeExpandString,
                   std::u16string(u"%TEMP%\\x") + u'\0', 0, true, L"%TEMP%\\x"},
        DecodeCase{"empty data", registryTypeString, u"", 0, true, L""},
        DecodeCase{"only the NUL", registryTypeString, std::u16string(1, u'\0'), 0, true, L""},
        DecodeCase{"odd size", registryTypeString, std::u16string(u"ab") + u'\0', -1, false, L""},
        DecodeCase{"DWORD type", registryTypeDword, std::u16string(u"ab") + u'\0', 0, false, L""},
        DecodeCase{"multi-string type", 7, std::u16string(u"ab") + u'\0', 0, false, L""},
        DecodeCase{"embedded NUL ends the text", registryTypeString, std::u16string(u"ab\0cd", 5) + u'\0', 0, true,
                   L"ab"},
        DecodeCase{"non-ASCII unit", registryTypeString, std::u16string(u"\u00e9\u4e2d") + u'\0', 0, true,
                   L"\u00e9\u4e2d"}));

TEST(DecodeRegistryStringLimits, AcceptsFullBufferAndRejectsMore) {
    std::u16string fits(registryStringBufferUnits - 1, u'x');
    fits.push_back(u'\0');
    std::vector<unsigned char> bytes = utf16Bytes(fits);
    std::wstring out;
    ASSERT_TRUE(decodeRegistryString(registryTypeString, bytes.data(), bytes.size(), out));
    EXPECT_EQ(out, std::wstring(registryStringBufferUnits - 1, L'x'));

    std::u16string tooLong(registryStringBufferUnits, u'x');
    tooLong.push_back(u'\0');
    bytes = utf16Bytes(tooLong);
    EXPECT_FALSE(decodeRegistryString(registryTypeString, bytes.data(), bytes.size(), out));
    EXPECT_TRUE(out.empty());
}

TEST(DecodeRegistryStringLimits, NullDataWithSizeIsRejected) {
    std::wstring out = L"stale";
    EXPECT_FALSE(decodeRegistryString(registryTypeString, nullptr, 4, out));
    EXPECT_TRUE(out.empty());
}

TEST(QuotedUninstallString, QuotesThePathOnly) {
    EXPECT_EQ(quotedUninstallString(L"C:\\Program Files (x86)\\Lumidex\\SSD Flashdeck\\", L"Setup 3.exe"),
              L"\"C:\\Program Files (x86)\\Lumidex\\SSD Flashdeck\\Setup 3.exe\" -uninstall");
}

TEST(UninstallEntryValues, QuietCommandDateAndSize) {
    EXPECT_EQ(quietUninstallString(L"C:\\P F\\", L"Setup.exe"), L"\"C:\\P F\\Setup.exe\" -uninstall -silent");
    // Zero-padded, four-digit year: "2026128" would read as another date.
    EXPECT_EQ(installDateText(2026, 12, 8), L"20261208");
    EXPECT_EQ(installDateText(999, 1, 31), L"09990131");
    // Rounded up: a few bytes are 1 KB, not 0.
    EXPECT_EQ(estimatedSizeKb(0), 0u);
    EXPECT_EQ(estimatedSizeKb(1), 1u);
    EXPECT_EQ(estimatedSizeKb(1024), 1u);
    EXPECT_EQ(estimatedSizeKb(1025), 2u);
    EXPECT_EQ(estimatedSizeKb(0xFFFFFFFFull * 1024 + 1), 0xFFFFFFFFu);
}
}  // namespace
