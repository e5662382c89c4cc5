#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "common/version.h"
#include "../support/versions.h"

namespace {
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

struct AssignCase {
    std::wstring text;
    std::int32_t major, minor, build, revision;
};

TEST(VersionAssign, ReadsFourNumbersFromAnyText) {
    const AssignCase cases[] = {
        {L"3.0.3.0", 3, 0, 3, 0},
        {L"3.0.10.0", 3, 0, 10, 0},
        {L"1.2.3.4.5", 1, 2, 3, 4},
        {L"3.0.3.0\r\n", 3, 0, 3, 0},
        {L"3.0.3.0\n", 3, 0, 3, 0},
        {L" 3.\t1.\n2. 7", 3, 1, 2, 7},
        {L"03.0.3.0", 3, 0, 3, 0},
        {L"-1.+2.-0.4", -1, 2, 0, 4},
        {L"12abc.3x.4 5.6", 12, 3, 4, 6},
        // Fewer than three dots: the missing pieces are 0.
        {L"1.2", 1, 2, 0, 0},
        {L"7", 7, 0, 0, 0},
        // Pieces without digits are 0.
        {L"abc", 0, 0, 0, 0},
        {L"a.b.c.d", 0, 0, 0, 0},
        {L"...", 0, 0, 0, 0},
        {L"1..2.3", 1, 0, 2, 3},
        {L"+.-.x.4", 0, 0, 0, 4},
        {L"\r\n", 0, 0, 0, 0},
        {L"- 1.2.3.4", 0, 2, 3, 4},
        // Numbers beyond 32 bits stop at the nearest limit.
        {L"2147483647.2147483648.-2147483648.-2147483649", kMax, kMax, kMin, kMin},
        {L"99999999999999999999999999.0.0.-99999999999999999999999", kMax, 0, 0, kMin},
        {L"00000000000000000000000000000042.1.1.1", 42, 1, 1, 1},
        {std::wstring(5000, L'9') + L".1.2.3", kMax, 1, 2, 3},
        // Digits beyond ASCII are not digits.
        {L"\x0663.\xFF11.1.1", 0, 0, 1, 1},
    };
    for (const auto& c : cases) {
        const Version v = version(c.text);
        EXPECT_EQ(v.versionText, c.text);
        EXPECT_EQ(v.major, c.major) << c.text;
        EXPECT_EQ(v.minor, c.minor) << c.text;
        EXPECT_EQ(v.build, c.build) << c.text;
        EXPECT_EQ(v.revision, c.revision) << c.text;
        EXPECT_FALSE(v.isEmpty()) << c.text;
    }
}

TEST(VersionAssign, EmptyTextKeepsTheNumbersAndIsEmpty) {
    Version v;
    EXPECT_TRUE(v.isEmpty());
    v.assign(L"3.0.3.0");
    v.assign(L"");
    EXPECT_TRUE(v.isEmpty());
    EXPECT_EQ(v.versionText, L"");
    EXPECT_EQ(v.major, 3);
    EXPECT_EQ(v.build, 3);
}

TEST(VersionAssign, ShorterTextDoesNotKeepEarlierPieces) {
    Version v;
    v.assign(L"9.9.9.9");
    v.assign(L"5");
    EXPECT_EQ(v.major, 5);
    EXPECT_EQ(v.minor, 0);
    EXPECT_EQ(v.build, 0);
    EXPECT_EQ(v.revision, 0);
}

struct CompareCase {
    const wchar_t* left;
    const wchar_t* right;
    int expected;
};

TEST(VersionCompare, NumbersFirstThenRevisionNeverZeroForDifferentTexts) {
    const CompareCase cases[] = {
        {L"3.0.3.0", L"3.0.3.0", 0},
        {L"3.0.10.0", L"3.0.9.0", 1},
        {L"3.0.9.0", L"3.0.10.0", -1},
        {L"3.0.3.0", L"03.0.3.0", 1},
        {L"03.0.3.0", L"3.0.3.0", 1},
        {L"2.9.9.9", L"3.0.0.0", -1},
        {L"3.0.0.0", L"2.9.9.9", 1},
        {L"3.1.0.0", L"3.0.9.9", 1},
        {L"3.0.1.0", L"3.0.0.9", 1},
        {L"3.0.0.1", L"3.0.0.2", -1},
        {L"3.0.0.2", L"3.0.0.1", 1},
        {L"3.0.0.0\r\n", L"3.0.0.0", 1},
        {L"3.0.0.0", L"3.0.0.0\r\n", 1},
        {L"-1.0.0.0", L"0.0.0.0", -1},
        {L"", L"", 0},
        {L"", L"0.0.0.1", -1},
        {L"0.0.0.1", L"", 1},
        {L"3.0.3.0", L"3.0.3.0.7", 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(version(c.left).compare(version(c.right)), c.expected) << c.left << " against " << c.right;
    }
}
}  // namespace
