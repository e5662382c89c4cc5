#include "download/download_rules.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <vector>

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

TEST(Sha256Tag, TakesExactlySixtyFourHexDigits) {
    const std::wstring hex = L"00112233445566778899aabbccddeeff00112233445566778899AABBCCDDEEFF";
    Sha256Digest digest{};
    ASSERT_TRUE(extractSha256(L"<version>3.0.3.0</version><sha256>" + hex + L"</sha256>", digest));
    EXPECT_EQ(digest[0], 0x00);
    EXPECT_EQ(digest[1], 0x11);
    EXPECT_EQ(digest[15], 0xff);
    EXPECT_EQ(digest[31], 0xff);
    const std::wstring rejected[] = {
        L"<version>3.0.3.0</version>",                           // no hash at all
        L"<sha256>" + hex.substr(0, 62) + L"</sha256>",           // too short
        L"<sha256>" + hex + L"0</sha256>",                        // too long
        L"<sha256>" + hex.substr(0, 63) + L"g</sha256>",          // not hexadecimal
        L"<sha256> " + hex.substr(1) + L"</sha256>",              // a blank is no digit
        L"<sha256>" + hex,                                        // no end tag
        L"<sha256>" + hex + L"</sha25",                           // end tag cut short
    };
    for (const std::wstring& body : rejected) EXPECT_FALSE(extractSha256(body, digest)) << body.size();
}

TEST(VersionFileTags, SizeAndNotesHashAreReadExactly) {
    const std::wstring hex = L"00112233445566778899aabbccddeeff00112233445566778899AABBCCDDEEFF";
    const std::wstring file = L"<version>3.0.3.0</version><sha256>" + std::wstring(64, L'a') + L"</sha256>"
                              L"<size>1234567</size><notes_sha256>" + hex + L"</notes_sha256>";
    double size = -1;
    ASSERT_TRUE(extractArchiveSize(file, size));
    EXPECT_EQ(size, 1234567.0);
    ASSERT_TRUE(extractArchiveSize(L"<size>999999999999999</size>", size));
    EXPECT_EQ(size, 999999999999999.0);
    for (const wchar_t* bad : {L"", L"<size></size>", L"<size> 12</size>", L"<size>12 </size>", L"<size>-1</size>",
                               L"<size>12", L"<size>1e6</size>", L"<size>1000000000000000</size>"}) {
        EXPECT_FALSE(extractArchiveSize(bad, size)) << bad;
    }

    // The notes' hash is its own element: the archive's is not taken for it, nor it for the archive's.
    std::optional<Sha256Digest> notes;
    ASSERT_TRUE(extractNotesSha256(file, notes));
    ASSERT_TRUE(notes.has_value());
    EXPECT_EQ((*notes)[1], 0x11);
    EXPECT_EQ((*notes)[31], 0xff);
    Sha256Digest archive{};
    ASSERT_TRUE(extractSha256(file, archive));
    EXPECT_EQ(archive[0], 0xaa);
    EXPECT_FALSE(extractSha256(L"<notes_sha256>" + hex + L"</notes_sha256>", archive));
    // No element: no notes. A malformed one refuses the file.
    ASSERT_TRUE(extractNotesSha256(L"<version>3.0.3.0</version>", notes));
    EXPECT_FALSE(notes.has_value());
    EXPECT_FALSE(extractNotesSha256(L"<notes_sha256>" + hex.substr(1) + L"</notes_sha256>", notes));
    EXPECT_FALSE(notes.has_value());
}

TEST(DownloadDeadline, GrowsWithTheSizeAndLeavesA64KBPerSecondLinkTime) {
    const double allowance = 120000;
    double previous = 0;
    for (double size : {1024.0, 300.0 * 1024, 50.0 * 1024 * 1024, 2.0 * 1024 * 1024 * 1024}) {
        const double deadline = downloadDeadlineMs(size, allowance);
        const double at64KBps = size / (64 * 1024) * 1000;
        EXPECT_GT(deadline, allowance + at64KBps) << size;
        // Bounded: a trickle cannot keep it alive for more than twice that.
        EXPECT_LE(deadline, allowance + 2 * at64KBps) << size;
        EXPECT_GE(deadline, previous);
        previous = deadline;
    }
    // Shortened by the tests as the timeouts are; an unknown size is given the limit's time.
    EXPECT_EQ(downloadDeadlineMs(0, 1000), 1000);
    EXPECT_NEAR(downloadDeadlineMs(unnamedSizeLimit, 0), unnamedSizeLimit / slowestBytesPerSecond * 1000, 1);
}

TEST(DerSignature, BecomesRAndSOf32BytesEach) {
    // r with a leading zero (its high bit set), s shorter than 32 bytes.
    std::vector<std::uint8_t> der = {0x30, 0, 0x02, 33, 0x00};
    for (int i = 0; i < 32; ++i) der.push_back(static_cast<std::uint8_t>(0x80 + i));
    der.push_back(0x02);
    der.push_back(3);
    for (std::uint8_t b : {0x01, 0x02, 0x03}) der.push_back(b);
    der[1] = static_cast<std::uint8_t>(der.size() - 2);
    std::array<std::uint8_t, 64> raw{};
    ASSERT_TRUE(derSignatureToRaw(der.data(), der.size(), raw));
    EXPECT_EQ(raw[0], 0x80);
    EXPECT_EQ(raw[31], 0x80 + 31);
    EXPECT_EQ(raw[32], 0x00);
    EXPECT_EQ(raw[61], 0x01);
    EXPECT_EQ(raw[63], 0x03);

    std::vector<std::uint8_t> trailing = der;
    trailing.push_back(0);
    trailing[1] = static_cast<std::uint8_t>(trailing.size() - 2);
    std::vector<std::uint8_t> truncated(der.begin(), der.end() - 1);
    std::vector<std::uint8_t> wrongTag = der;
    wrongTag[0] = 0x31;
    std::vector<std::uint8_t> tooLong = {0x30, 37, 0x02, 34};
    tooLong.resize(39, 0x01);
    for (const auto& bad : {trailing, truncated, wrongTag, tooLong}) {
        EXPECT_FALSE(derSignatureToRaw(bad.data(), bad.size(), raw));
    }
    EXPECT_FALSE(derSignatureToRaw(nullptr, 0, raw));
}

TEST(Resume, AsksForTheRestOnlyOfTheSameFile) {
    EXPECT_EQ(resumeHeaders(180000, L"\"2bf20-0\""), L"Range: bytes=180000-\r\nIf-Range: \"2bf20-0\"\r\n");
    // Above 2^31 (a large archive) the offset is still written in whole digits.
    EXPECT_EQ(resumeHeaders(4294967296.0, L"x"), L"Range: bytes=4294967296-\r\nIf-Range: x\r\n");

    struct Case {
        const wchar_t* header;
        double offset;
        bool starts;
    } cases[] = {
        {L"bytes 180000-299999/300000", 180000, true},
        {L"  bytes 5-9/*", 5, true},
        {L"bytes 0-299999/300000", 180000, false},  // the whole file again
        {L"bytes 18000-299999/300000", 180000, false},
        {L"bytes */300000", 180000, false},
        {L"items 180000-299999/300000", 180000, false},
        {L"bytes 180000", 180000, false},
        {L"", 0, false},
    };
    for (const Case& c : cases) EXPECT_EQ(contentRangeStartsAt(c.header, c.offset), c.starts) << testing::PrintToString(std::wstring(c.header));

    // The pauses grow and stay short.
    EXPECT_LT(resumePauseMs(1), resumePauseMs(2));
    EXPECT_LT(resumePauseMs(2), resumePauseMs(resumeAttempts));
    EXPECT_LE(resumePauseMs(resumeAttempts), 5000);
}
