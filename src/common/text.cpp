#include "common/text.h"

std::vector<std::size_t> findAll(const std::wstring& text, const std::wstring& pattern) {
    std::vector<std::size_t> positions;
    // An empty pattern would match everywhere without ever moving on.
    if (pattern.empty()) return positions;
    for (std::size_t at = text.find(pattern); at != std::wstring::npos; at = text.find(pattern, at + pattern.size())) {
        positions.push_back(at);
    }
    return positions;
}

std::wstring replaceAll(std::wstring text, const std::wstring& from, const std::wstring& to) {
    if (from.empty()) return text;
    std::size_t at = text.find(from);
    if (at == std::wstring::npos) return text;

    // One pass over the original: the search goes on behind each replaced occurrence,
    // which is the same as going on behind the inserted text in the copy. Inserted
    // text is never searched again, so a "to" that contains "from" cannot loop.
    std::wstring result;
    result.reserve(text.size());
    std::size_t copied = 0;
    while (at != std::wstring::npos) {
        result.append(text, copied, at - copied);
        result.append(to);
        copied = at + from.size();
        at = text.find(from, copied);
    }
    result.append(text, copied, std::wstring::npos);
    return result;
}

std::wstring lowerAscii(std::wstring text) {
    for (auto& unit : text) {
        if (unit >= L'A' && unit <= L'Z') unit = static_cast<wchar_t>(unit - L'A' + L'a');
    }
    return text;
}

bool isBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

std::wstring fileNamePart(const std::wstring& path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

std::wstring pathCompareKey(const std::wstring& path) {
    std::wstring key = lowerAscii(path);
    for (wchar_t& c : key) {
        if (c == L'/') c = L'\\';
    }
    while (!key.empty() && key.back() == L'\\') key.pop_back();
    return key;
}

bool isInsideFolder(const std::wstring& path, const std::wstring& folder) {
    const std::wstring prefix = pathCompareKey(folder);
    if (prefix.empty()) return false;
    // The path keeps a trailing backslash: a folder given as "X\" counts as inside "X".
    std::wstring key = lowerAscii(path);
    for (wchar_t& c : key) {
        if (c == L'/') c = L'\\';
    }
    return key.rfind(prefix + L'\\', 0) == 0;
}

namespace {
std::wstring lowercaseHex(std::uint32_t value) {
    static constexpr wchar_t hexDigits[] = L"0123456789abcdef";
    std::wstring digits;
    do {
        digits.insert(digits.begin(), hexDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return digits;
}
}  // namespace

std::wstring errorBoxBody(const std::wstring& systemMessage, std::int32_t code, const std::wstring& path) {
    const std::wstring message = systemMessage.empty() ? std::wstring(L"unknown error") : systemMessage;
    return message + L"(0x" + lowercaseHex(static_cast<std::uint32_t>(code)) + L"): " + fileNamePart(path);
}
