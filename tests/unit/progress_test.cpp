#include "download/progress.h"

#include <gtest/gtest.h>

#include <string>

TEST(ProgressPosition, FollowsTheOrderDivideScaleOffsetAndTruncates) {
    struct Case {
        double start, end, received, expected;
        unsigned position;
    } cases[] = {
        {10, 30, 10000, 10000, 30},      // the last chunk reaches the end
        {10, 30, 4096, 10000, 18},       // 18.192 truncated
        {10, 30, 1, 3, 16},              // 16.666... truncated, not rounded
        {0, 0, 5000, 10000, 0},          // a range of 0 to 0 only ever gives 0
        {0, 100, 4096, 4096 * 3, 33},    // 33.33...
        {0, 100, 2, 3, 66},
        {60, 20, 1, 2, 40},              // a falling range is followed too
    };
    for (const Case& c : cases) {
        EXPECT_EQ(progressPosition(c.start, c.end, c.received, c.expected), c.position)
            << c.start << ".." << c.end << " " << c.received << "/" << c.expected;
    }
}

TEST(ProgressPosition, StaysInRangeForOddInputs) {
    EXPECT_EQ(progressPosition(10, 30, 100, 0), 10u);            // no length: the start
    EXPECT_EQ(progressPosition(-50, -10, 1, 2), 0u);             // negative clamps to 0
    EXPECT_EQ(progressPosition(0, 1e12, 1, 1), 4294967295u);     // beyond unsigned clamps
}

TEST(ParseContentLength, AcceptsOnlyDecimalNumbersUpToTheLimit) {
    struct Case {
        const wchar_t* header;
        double value;
    } cases[] = {
        {L"10000", 10000},
        {L"  \t42", 42},
        {L"42 ", 42},
        {L"0", 0},
        {L"2147483647", 2147483647.0},
        {L"2147483648", 0},
        {L"99999999999999999999999999", 0},
        {L"", 0},
        {L"   ", 0},
        {L"12abc", 0},
        {L"abc", 0},
        {L"-5", 0},
        {L"+5", 0},
        {L"1e3", 0},
        {L"4 2", 0},
        {L"0x10", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(parseContentLength(c.header), c.value) << "header: [" << testing::PrintToString(std::wstring(c.header)) << "]";
}

TEST(ExtractVersionText, TakesTheTextBetweenTheFirstTags) {
    struct Case {
        const wchar_t* body;
        const wchar_t* version;
    } cases[] = {
        {L"<?xml?><updater><version>3.0.3.0</version></updater>", L"3.0.3.0"},
        {L"<version>1.2.3.4</version><version>9.9.9.9</version>", L"1.2.3.4"},
        {L"<version> 3.0.3.0\r\n</version>", L" 3.0.3.0\r\n"},           // blanks stay
        {L"<version>3.0.3.0\n<other/>", L"3.0.3.0\n<other/>"},           // no closing tag: to the end
        {L"</version>x<version>2.0.0.1</version>", L"2.0.0.1"},          // a closing tag before is skipped
        {L"<version></version>", L""},
        {L"<updater><release>3.0.3.0</release></updater>", L""},         // no tag: no version
        {L"", L""},
        {L"<version>", L""},
    };
    for (const Case& c : cases) EXPECT_EQ(extractVersionText(c.body), c.version) << testing::PrintToString(std::wstring(c.body));
}

TEST(HttpStatus, OnlyTwoHundredsSucceedAndFailuresMapToSystemCodes) {
    for (unsigned status : {200u, 201u, 204u, 206u, 299u}) {
        EXPECT_TRUE(isSuccessStatus(status)) << status;
        EXPECT_EQ(statusErrorCode(status), 0) << status;
    }
    for (unsigned status : {0u, 100u, 199u, 300u, 302u, 304u, 404u, 500u, 503u}) {
        EXPECT_FALSE(isSuccessStatus(status)) << status;
        EXPECT_NE(statusErrorCode(status), 0) << status;
    }
    EXPECT_EQ(statusErrorCode(404), 2);
    EXPECT_EQ(statusErrorCode(410), 2);
    EXPECT_EQ(statusErrorCode(403), 5);
    EXPECT_EQ(statusErrorCode(500), 58);
}
