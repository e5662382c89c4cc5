#include "download/error_text.h"

std::wstring lastPathElement(const std::wstring& path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

namespace {
std::wstring lowercaseHex(std::uint32_t value) {
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring digits;
    do {
        digits.insert(digits.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return digits;
}
}  // namespace

std::wstring errorBoxBody(const std::wstring& systemMessage, std::int32_t code, const std::wstring& path) {
    const std::wstring message = systemMessage.empty() ? std::wstring(L"unknown error") : systemMessage;
    return message + L"(0x" + lowercaseHex(static_cast<std::uint32_t>(code)) + L"): " + lastPathElement(path);
}
