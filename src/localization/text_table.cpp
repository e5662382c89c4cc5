#include "localization/text_table.h"

#include <string_view>
#include <utility>

#include "common/text.h"

bool CodeUnitLess::operator()(const std::wstring& a, const std::wstring& b) const {
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < common; ++i) {
        // wchar_t is signed and 32 bits wide on some platforms; the strings hold UTF-16 units.
        const auto x = static_cast<std::uint16_t>(a[i]);
        const auto y = static_cast<std::uint16_t>(b[i]);
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

std::wstring decodeUtf16Le(const std::uint8_t* bytes, std::size_t size) {
    std::wstring units;
    if (!bytes) return units;
    units.resize(size / 2);
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<wchar_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return units;
}

namespace {
constexpr std::wstring_view sectionStart = L"Code=";
constexpr std::wstring_view lineBreak = L"\r\n";
constexpr std::wstring_view keySeparator = L":::";

struct Header {
    std::wstring code;
    std::wstring displayName;
};

// "Code=<code>,<display name>": the code runs from the first "=" to the first ",", the
// name is everything behind that comma (further commas included). A header without a
// comma still names its culture: the code runs to the end of the line and the display
// name is empty, so the section's texts stay reachable by their code.
Header parseHeader(std::wstring_view line) {
    Header header;
    const std::size_t equals = line.find(L'=');
    const std::size_t codeStart = equals == std::wstring_view::npos ? line.size() : equals + 1;
    const std::size_t comma = line.find(L',', codeStart);
    if (comma == std::wstring_view::npos) {
        header.code.assign(line.substr(codeStart));
    } else {
        header.code.assign(line.substr(codeStart, comma - codeStart));
        header.displayName.assign(line.substr(comma + 1));
    }
    return header;
}
}  // namespace

bool TextTable::parse(std::wstring text) {
    text = replaceAll(std::move(text), L"</br>", L"\n");
    text = replaceAll(std::move(text), L"<br>", L"\n");

    const std::vector<std::size_t> starts = findAll(text, std::wstring(sectionStart));
    const std::wstring_view all(text);
    for (std::size_t s = 0; s < starts.size(); ++s) {
        const std::size_t end = s + 1 < starts.size() ? starts[s + 1] : all.size();
        // Searches stay inside the section, so sections without line ends cost no more
        // than their own length.
        const std::wstring_view section = all.substr(starts[s], end - starts[s]);

        std::size_t lineEnd = section.find(lineBreak);
        // A section without one complete line has no header to name it; it is ignored.
        if (lineEnd == std::wstring_view::npos) continue;
        const Header header = parseHeader(section.substr(0, lineEnd));

        Entries entries;
        std::size_t lineStart = lineEnd + lineBreak.size();
        // Text behind the last line end belongs to no line.
        while ((lineEnd = section.find(lineBreak, lineStart)) != std::wstring_view::npos) {
            const std::wstring_view line = section.substr(lineStart, lineEnd - lineStart);
            lineStart = lineEnd + lineBreak.size();
            const std::size_t separator = line.find(keySeparator);
            // A line without a separator holds no entry; it is skipped.
            if (separator == std::wstring_view::npos) continue;
            entries.insert_or_assign(std::wstring(line.substr(0, separator)),
                                     std::wstring(line.substr(separator + keySeparator.size())));
        }

        namesByCulture_[header.code] = header.displayName;
        culturesByName_[header.displayName] = header.code;
        // A later section with the same code replaces the earlier entries as a whole.
        textsByCulture_[header.code] = std::move(entries);
    }
    return true;
}

void TextTable::setCulture(const std::wstring& culture) { culture_ = culture; }

std::wstring TextTable::getCulture() const { return culture_; }

std::wstring TextTable::cultureForName(const std::wstring& displayName) const {
    const auto found = culturesByName_.find(displayName);
    return found == culturesByName_.end() ? std::wstring() : found->second;
}

std::vector<std::wstring> TextTable::languageNames() const {
    std::vector<std::wstring> names;
    names.reserve(namesByCulture_.size());
    for (const auto& [code, name] : namesByCulture_) names.push_back(name);
    return names;
}

std::wstring TextTable::text(const std::wstring& key) const { return text(key, {}); }

std::wstring TextTable::text(const std::wstring& key, const std::vector<std::wstring>& arguments) const {
    const Entries& entries = entriesOf(culture_);
    const auto found = entries.find(key);
    if (found == entries.end()) return std::wstring();
    std::wstring result = found->second;
    if (arguments.empty()) return result;

    // Line breaks first, so that an argument is inserted exactly as given.
    result = replaceAll(std::move(result), L"\\n", L"\n");
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        result = replaceAll(std::move(result), L"%" + std::to_wstring(i + 1), arguments[i]);
    }
    return result;
}

const TextTable::Entries& TextTable::entriesOf(const std::wstring& culture) const {
    static const Entries none;
    const auto found = textsByCulture_.find(culture);
    return found == textsByCulture_.end() ? none : found->second;
}

std::vector<std::wstring> TextTable::cultures() const {
    std::vector<std::wstring> codes;
    codes.reserve(textsByCulture_.size());
    for (const auto& entry : textsByCulture_) codes.push_back(entry.first);
    return codes;
}

TextTable& textTable() {
    static TextTable table;
    return table;
}

std::wstring text(const std::wstring& key) { return textTable().text(key); }

std::wstring text(const std::wstring& key, const std::vector<std::wstring>& arguments) {
    return textTable().text(key, arguments);
}

void chooseStartupLanguage(TextTable& table, const std::function<std::wstring()>& readCulture,
                           const std::function<void(const std::wstring&)>& writeCulture) {
    const std::wstring english = table.cultureForName(L"English");
    if (readCulture().empty()) writeCulture(english);
    const std::wstring stored = readCulture();
    // A start that cannot store the culture shows English rather than empty texts.
    table.setCulture(stored.empty() ? english : stored);
}
