// Arbitrary bytes as a table text, as lookup arguments and as a version text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/text.h"
#include "common/version.h"
#include "localization/text_table.h"

namespace {
void check(bool condition) {
    if (!condition) std::abort();
}

void lookUpEverything(TextTable& table, const std::wstring& text) {
    // Arguments that hold placeholders, line-break escapes and a piece of the input.
    const std::vector<std::wstring> arguments = {L"%1%1", L"%2\\n", text.substr(0, 16), L"%3"};
    int lookups = 0;
    for (const std::wstring& culture : table.cultures()) {
        table.setCulture(culture);
        for (const auto& [key, value] : table.entriesOf(culture)) {
            check(table.text(key) == value);
            table.text(key, arguments);
            if (++lookups > 64) return;
        }
    }
}

void checkFindAll(const std::wstring& text, const std::wstring& pattern) {
    std::size_t next = 0;
    for (std::size_t at : findAll(text, pattern)) {
        check(at >= next && text.compare(at, pattern.size(), pattern) == 0);
        next = at + pattern.size();
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = decodeUtf16Le(data, size);

    TextTable table;
    table.parse(text);
    check(table.cultures().size() == table.languageNames().size());
    lookUpEverything(table, text);

    checkFindAll(text, L"\r\n");
    checkFindAll(text, text.substr(0, 2));
    const std::wstring from = text.substr(0, 1);
    replaceAll(text, from, from + from);

    Version version;
    version.assign(text);
    check(version.versionText == text);
    check(version.compare(version) == 0);
    Version other;
    other.assign(text.substr(size / 4));
    const int forth = version.compare(other);
    check(forth >= -1 && forth <= 1);
    return 0;
}
