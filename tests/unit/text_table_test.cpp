#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/text.h"
#include "localization/text_table.h"
#include "known_languages.h"

namespace {
// Joins lines into a table text, each line ended by CR LF.
std::wstring lines(const std::vector<std::wstring>& all) {
    std::wstring text;
    for (const auto& line : all) text += line + L"\r\n";
    return text;
}

TextTable parsed(const std::wstring& text) {
    TextTable table;
    EXPECT_TRUE(table.parse(text));
    return table;
}

// ---------------------------------------------------------------- findAll, replaceAll

struct FindCase {
    const wchar_t* text;
    const wchar_t* pattern;
    std::vector<std::size_t> positions;
};

TEST(FindAll, NonOverlappingAscendingPositions) {
    const FindCase cases[] = {
        {L"3.0.3.0", L".", {1, 3, 5}},
        {L"aaaaa", L"aa", {0, 2}},
        {L"a\r\nb\r\n", L"\r\n", {1, 4}},
        {L"", L".", {}},
        {L"abc", L"abcd", {}},
        {L"abc", L"", {}},
        {L"abc", L"abc", {0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(findAll(c.text, c.pattern), c.positions) << "text: " << c.text << " pattern: " << c.pattern;
    }
}

struct ReplaceCase {
    const wchar_t* text;
    const wchar_t* from;
    const wchar_t* to;
    const wchar_t* expected;
};

TEST(ReplaceAll, ReplacesEveryOccurrenceAndAlwaysFinishes) {
    const ReplaceCase cases[] = {
        {L"one<br>two<br>", L"<br>", L"\n", L"one\ntwo\n"},
        {L"nothing here", L"<br>", L"\n", L"nothing here"},
        {L"xx", L"x", L"", L""},
        {L"abc", L"", L"z", L"abc"},
        {L"", L"a", L"b", L""},
        // A replacement that contains what it replaces is not searched again.
        {L"aaa", L"a", L"aa", L"aaaaaa"},
        {L"%1 and %1", L"%1", L"<%1>", L"<%1> and <%1>"},
        // Text formed by a replacement and what follows it is not searched either.
        {L"aaaa", L"aa", L"a", L"aa"},
        {L"<<br>br>", L"<br>", L"", L"<br>"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(replaceAll(c.text, c.from, c.to), c.expected) << "text: " << c.text << " from: " << c.from;
    }
}

// ---------------------------------------------------------------- ordering and decoding

struct OrderCase {
    std::wstring a;
    std::wstring b;
    bool less;
};

TEST(CodeUnitLess, ComparesUnsigned16BitUnitsFirstUnitFirst) {
    const OrderCase cases[] = {
        {L"A", L"a", true},
        {L"a", L"A", false},
        {L"Zebra", L"apple", true},
        {L"ab", L"abc", true},
        {L"abc", L"ab", false},
        {L"", L"a", true},
        {L"x", L"x", false},
        {L"zh-CHS", L"zh-CHT", true},
        {L"\x00E9", L"z", false},
        {L"\x7FFF", L"\x8000", true},
        // A surrogate pair (a code point above U+FFFF) sorts before U+FF21 by code unit.
        {std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)}, L"\xFF21", true},
        {L"\xFF21", std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)}, false},
    };
    const CodeUnitLess less;
    for (const auto& c : cases) EXPECT_EQ(less(c.a, c.b), c.less) << c.a << " < " << c.b;
}

TEST(DecodeUtf16Le, OneUnitPerBytePairAndDropsAnOddLastByte) {
    const std::uint8_t bytes[] = {0xFF, 0xFE, 0x41, 0x00, 0xE9, 0x00, 0x3D, 0xD8, 0x00, 0xDE, 0x7F};
    const std::wstring units = decodeUtf16Le(bytes, sizeof bytes);
    const std::vector<unsigned> expected = {0xFEFF, 0x41, 0xE9, 0xD83D, 0xDE00};
    ASSERT_EQ(units.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(static_cast<unsigned>(units[i]), expected[i]) << i;
    EXPECT_EQ(decodeUtf16Le(nullptr, 4), L"");
    EXPECT_EQ(decodeUtf16Le(bytes, 1), L"");
}

// ---------------------------------------------------------------- parse

TEST(Parse, ByteOrderMarkBelongsToNoSection) {
    const std::wstring body = lines({L"Code=en-US,English", L"IDS_OK:::OK"});
    const TextTable plain = parsed(body);
    const TextTable marked = parsed(L"\xFEFF" + body);
    EXPECT_EQ(plain.cultures(), marked.cultures());
    EXPECT_EQ(plain.entriesOf(L"en-US"), marked.entriesOf(L"en-US"));
    EXPECT_EQ(marked.entriesOf(L"en-US").at(L"IDS_OK"), L"OK");
    EXPECT_EQ(marked.languageNames(), std::vector<std::wstring>{L"English"});
}

TEST(Parse, LineBreakMarkersBecomeOneLfAndBackslashNStays) {
    const TextTable table = parsed(lines({
        L"Code=en-US,English",
        L"a:::one<br>two",
        L"b:::one</br>two",
        L"c:::one\\ntwo",
        L"d:::one\ntwo",
        L"e:::<br></br><br>",
    }));
    const auto& e = table.entriesOf(L"en-US");
    EXPECT_EQ(e.at(L"a"), L"one\ntwo");
    EXPECT_EQ(e.at(L"b"), L"one\ntwo");
    EXPECT_EQ(e.at(L"c"), L"one\\ntwo");
    // A lone LF is part of the line, not a line end.
    EXPECT_EQ(e.at(L"d"), L"one\ntwo");
    EXPECT_EQ(e.at(L"e"), L"\n\n\n");
    EXPECT_EQ(e.size(), 5u);
}

TEST(Parse, KeyEndsAtTheFirstSeparator) {
    const TextTable table = parsed(lines({
        L"Code=en-US,English",
        L"twice:::a:::b",
        L"empty:::",
        L"About SSD Flashdeck:::About",
        L" padded ::: value ",
        L":::no key",
    }));
    const auto& e = table.entriesOf(L"en-US");
    EXPECT_EQ(e.at(L"twice"), L"a:::b");
    EXPECT_EQ(e.at(L"empty"), L"");
    EXPECT_EQ(e.at(L"About SSD Flashdeck"), L"About");
    EXPECT_EQ(e.at(L" padded "), L" value ");
    EXPECT_EQ(e.at(L""), L"no key");
    EXPECT_EQ(e.count(L"padded"), 0u);
}

TEST(Parse, TextBehindTheLastLineEndIsIgnored) {
    const std::wstring head = lines({L"Code=en-US,English", L"kept:::1"});
    const TextTable without = parsed(head + L"last:::2");
    EXPECT_EQ(without.entriesOf(L"en-US").count(L"last"), 0u);
    EXPECT_EQ(without.entriesOf(L"en-US").size(), 1u);

    const TextTable with = parsed(head + L"last:::2\r\n");
    EXPECT_EQ(with.entriesOf(L"en-US").at(L"last"), L"2");

    // A lone CR at the end is not a line end either.
    const TextTable lone = parsed(head + L"last:::2\r");
    EXPECT_EQ(lone.entriesOf(L"en-US").count(L"last"), 0u);
}

TEST(Parse, LaterLineWithTheSameKeyWins) {
    const TextTable table = parsed(lines({L"Code=en-US,English", L"k:::first", L"k:::second"}));
    EXPECT_EQ(table.entriesOf(L"en-US").at(L"k"), L"second");
}

TEST(Parse, LaterSectionWithTheSameCodeReplacesTheEarlierWholly) {
    const TextTable table = parsed(lines({
        L"Code=en-US,English",
        L"only-first:::1",
        L"both:::first",
        L"Code=en-US,American",
        L"both:::second",
    }));
    const auto& e = table.entriesOf(L"en-US");
    EXPECT_EQ(e.count(L"only-first"), 0u);
    EXPECT_EQ(e.at(L"both"), L"second");
    EXPECT_EQ(table.cultures(), std::vector<std::wstring>{L"en-US"});
    EXPECT_EQ(table.languageNames(), std::vector<std::wstring>{L"American"});
    EXPECT_EQ(table.cultureForName(L"English"), L"en-US");
    EXPECT_EQ(table.cultureForName(L"American"), L"en-US");
}

TEST(Parse, OnlyTheFirstCommaOfTheHeaderSeparates) {
    const TextTable table = parsed(lines({L"Code=xx-XX,Name, with, commas", L"k:::v"}));
    EXPECT_EQ(table.languageNames(), std::vector<std::wstring>{L"Name, with, commas"});
    EXPECT_EQ(table.cultureForName(L"Name, with, commas"), L"xx-XX");
}

TEST(Parse, LinesWithoutSeparatorAreSkipped) {
    const TextTable table = parsed(lines({L"Code=en-US,English", L"a:::1", L"no separator", L"", L"b:: :2", L"c:::3"}));
    const auto& e = table.entriesOf(L"en-US");
    EXPECT_EQ(e.size(), 2u);
    EXPECT_EQ(e.at(L"a"), L"1");
    EXPECT_EQ(e.at(L"c"), L"3");
}

TEST(Parse, HeaderWithoutCommaNamesTheCultureWithAnEmptyDisplayName) {
    const TextTable table = parsed(lines({L"Code=xx-XX", L"k:::v"}));
    EXPECT_EQ(table.cultures(), std::vector<std::wstring>{L"xx-XX"});
    EXPECT_EQ(table.languageNames(), std::vector<std::wstring>{L""});
    EXPECT_EQ(table.cultureForName(L""), L"xx-XX");
    EXPECT_EQ(table.entriesOf(L"xx-XX").at(L"k"), L"v");
}

TEST(Parse, SectionWithoutACompleteLineIsIgnored) {
    // "Code=" starts a section wherever it stands; the first one here has no line end.
    const TextTable table = parsed(L"Code=aa,A" + lines({L"Code=bb,B", L"k:::v"}) + L"Code=cc,C");
    EXPECT_EQ(table.cultures(), std::vector<std::wstring>{L"bb"});
    EXPECT_EQ(table.cultureForName(L"A"), L"");
    EXPECT_EQ(table.cultureForName(L"C"), L"");
    EXPECT_EQ(table.entriesOf(L"bb").at(L"k"), L"v");
}

TEST(Parse, SectionsEndWhereTheNextCodeBegins) {
    // "Code=" inside a value cuts the value's line; its rest is a header of its own.
    const TextTable table = parsed(lines({L"Code=aa,A", L"k:::see Code=bb,B", L"j:::1"}));
    EXPECT_EQ(table.cultures(), (std::vector<std::wstring>{L"aa", L"bb"}));
    EXPECT_EQ(table.entriesOf(L"aa").count(L"k"), 0u);
    EXPECT_EQ(table.entriesOf(L"bb").at(L"j"), L"1");
    EXPECT_EQ(table.languageNames(), (std::vector<std::wstring>{L"A", L"B"}));
}

TEST(Parse, EmptyOrSectionlessTextLeavesTheTableEmpty) {
    for (const wchar_t* text : {L"", L"\xFEFF", L"k:::v\r\n", L"code=en-US,English\r\nk:::v\r\n"}) {
        const TextTable table = parsed(text);
        EXPECT_TRUE(table.cultures().empty()) << text;
        EXPECT_TRUE(table.languageNames().empty()) << text;
        EXPECT_EQ(table.cultureForName(L"English"), L"");
    }
}

TEST(Parse, AddsToWhatTheTableHolds) {
    TextTable table;
    table.parse(lines({L"Code=bb,B", L"k:::1"}));
    table.parse(lines({L"Code=aa,A", L"k:::2"}));
    EXPECT_EQ(table.cultures(), (std::vector<std::wstring>{L"aa", L"bb"}));
}

TEST(Parse, CulturesAndNamesFollowCodeUnitOrderOfTheCodes) {
    std::wstring text = L"\xFEFF";
    // Written in reverse so that the order comes from the maps, not from the text.
    for (auto it = knownLanguages.rbegin(); it != knownLanguages.rend(); ++it) {
        text += lines({L"Code=" + it->first + L"," + it->second, L"IDS_OK:::" + it->first});
    }
    const TextTable table = parsed(text);
    std::vector<std::wstring> codes, names;
    for (const auto& [code, name] : knownLanguages) {
        codes.push_back(code);
        names.push_back(name);
        EXPECT_EQ(table.cultureForName(name), code);
        EXPECT_EQ(table.entriesOf(code).at(L"IDS_OK"), code);
    }
    EXPECT_EQ(table.cultures(), codes);
    EXPECT_EQ(table.languageNames(), names);
}

// ---------------------------------------------------------------- text lookup

const std::wstring kNewer =
    L"%1 SSD Flashdeck version %2 is already installed. You must uninstall it before you can install version %3.";
const std::wstring kTitle =
    L"Thank you for downloading the %1 SSD Flashdeck. This software includes tools that can help you to get the "
    L"most out of your %1 SSDs.";

TextTable lookupTable() {
    TextTable table = parsed(lines({
        L"Code=en-US,English",
        L"IDS_CANCEL:::Cancel",
        L"IDS_NEWER_VERSION_INSTALLED:::" + kNewer,
        L"IDS_TITLE_INSTALLATION:::" + kTitle,
        L"IDS_INSTALL_END_TEXT1:::%1 SSD Flashdeck version",
        L"two:::%1 and %2",
        L"broken:::first\\nsecond %1",
        L"Code=fr-FR,Français",
        L"IDS_CANCEL:::Annuler",
        L"IDS_NEWER_VERSION_INSTALLED:::%1 version %2 installée.\\nInstallez %3.",
    }));
    table.setCulture(L"en-US");
    return table;
}

struct LookupCase {
    const wchar_t* name;
    std::wstring culture;
    std::wstring key;
    std::vector<std::wstring> arguments;
    std::wstring expected;
};

TEST(Text, LooksUpAndFillsPlaceholders) {
    const LookupCase cases[] = {
        {L"plain", L"en-US", L"IDS_CANCEL", {}, L"Cancel"},
        {L"other language", L"fr-FR", L"IDS_CANCEL", {}, L"Annuler"},
        {L"three arguments",
         L"en-US",
         L"IDS_NEWER_VERSION_INSTALLED",
         {L"Lumidex", L"2.7.0.0", L"3.0.3.0"},
         L"Lumidex SSD Flashdeck version 2.7.0.0 is already installed. You must uninstall it before you can install "
         L"version 3.0.3.0."},
        {L"both occurrences",
         L"en-US",
         L"IDS_TITLE_INSTALLATION",
         {L"Lumidex"},
         L"Thank you for downloading the Lumidex SSD Flashdeck. This software includes tools that can help you to "
         L"get the most out of your Lumidex SSDs."},
        {L"missing argument keeps its placeholder", L"en-US", L"two", {L"x"}, L"x and %2"},
        {L"unused argument", L"en-US", L"IDS_INSTALL_END_TEXT1", {L"L", L"unused"}, L"L SSD Flashdeck version"},
        {L"backslash n without arguments", L"en-US", L"broken", {}, L"first\\nsecond %1"},
        {L"backslash n with arguments", L"en-US", L"broken", {L"x"}, L"first\nsecond x"},
        {L"backslash n in an argument", L"en-US", L"two", {L"a\\nb", L"c"}, L"a\\nb and c"},
        {L"translated line break",
         L"fr-FR",
         L"IDS_NEWER_VERSION_INSTALLED",
         {L"L", L"1", L"2"},
         L"L version 1 installée.\nInstallez 2."},
        {L"argument holds its own placeholder", L"en-US", L"two", {L"<%1>", L"y"}, L"<%1> and y"},
        {L"argument holds a later placeholder", L"en-US", L"two", {L"[%2]", L"y"}, L"[y] and y"},
        {L"argument holds an earlier placeholder", L"en-US", L"two", {L"x", L"[%1]"}, L"x and [%1]"},
        {L"key differs in case", L"en-US", L"ids_cancel", {}, L""},
        {L"key with a space", L"en-US", L"IDS_CANCEL ", {}, L""},
        {L"unknown key with arguments", L"en-US", L"nope", {L"x"}, L""},
        {L"unknown culture", L"xx-XX", L"IDS_CANCEL", {}, L""},
        {L"no culture", L"", L"IDS_CANCEL", {L"x"}, L""},
    };
    TextTable table = lookupTable();
    for (const auto& c : cases) {
        table.setCulture(c.culture);
        const std::wstring result = c.arguments.empty() ? table.text(c.key) : table.text(c.key, c.arguments);
        EXPECT_EQ(result, c.expected) << c.name;
        EXPECT_EQ(table.getCulture(), c.culture) << c.name;
    }
}

TEST(Text, FreeFunctionsUseTheProcessWideTable) {
    TextTable& shared = textTable();
    EXPECT_EQ(&shared, &textTable());
    const std::wstring previous = shared.getCulture();
    shared.parse(lines({L"Code=qq-QQ,Test", L"k:::value %1"}));
    shared.setCulture(L"qq-QQ");
    EXPECT_EQ(text(L"k"), L"value %1");
    EXPECT_EQ(text(L"k", {L"1"}), L"value 1");
    shared.setCulture(previous);
}

// ---------------------------------------------------------------- start-up language

struct FakeRegistry {
    std::wstring stored;
    bool acceptsWrites = true;
    std::vector<std::wstring> writes;
    int reads = 0;
};

void chooseWith(TextTable& table, FakeRegistry& registry) {
    chooseStartupLanguage(
        table, [&] { ++registry.reads; return registry.stored; },
        [&](const std::wstring& culture) {
            registry.writes.push_back(culture);
            if (registry.acceptsWrites) registry.stored = culture;
        });
}

TEST(StartupLanguage, StoredCultureBecomesCurrent) {
    struct Case {
        const wchar_t* name;
        std::wstring stored;
        bool acceptsWrites;
        bool emptyTable;
        std::vector<std::wstring> writes;
        std::wstring culture;
    };
    const Case cases[] = {
        {L"first run stores English", L"", true, false, {L"en-US"}, L"en-US"},
        {L"stored choice, nothing written", L"fr-FR", true, false, {}, L"fr-FR"},
        {L"unknown code is current all the same", L"xx-XX", true, false, {}, L"xx-XX"},
        {L"empty table stores the empty code", L"", true, true, {L""}, L""},
        // A registry that keeps nothing must not leave every text empty: English is shown.
        {L"nothing stored shows English", L"", false, false, {L"en-US"}, L"en-US"},
    };
    for (const auto& c : cases) {
        TextTable table = c.emptyTable ? TextTable() : lookupTable();
        table.setCulture(L"before");
        FakeRegistry registry{c.stored, c.acceptsWrites, {}, 0};
        chooseWith(table, registry);
        EXPECT_EQ(registry.writes, c.writes) << c.name;
        EXPECT_EQ(table.getCulture(), c.culture) << c.name;
        EXPECT_EQ(registry.reads, 2) << c.name;
    }
}
}  // namespace
