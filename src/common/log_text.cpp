#include "common/log_text.h"

#include <cwchar>

namespace {
const std::wstring channelPrefix = L"\\\\.\\pipe\\LumidexFlashdeckLog-";
constexpr std::size_t channelDigits = 32;

bool isControl(wchar_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }
}  // namespace

std::wstring escapedLogText(const std::wstring& text) {
    std::wstring escaped;
    escaped.reserve(text.size());
    for (const wchar_t c : text) {
        if (c == L'\r') {
            escaped += L"\\r";
        } else if (c == L'\n') {
            escaped += L"\\n";
        } else if (c == L'\t') {
            escaped += L"\\t";
        } else if (isControl(c) || c == 0x2028 || c == 0x2029) {
            wchar_t code[8];
            std::swprintf(code, 8, c > 0xFF ? L"\\u%04X" : L"\\x%02X", static_cast<unsigned>(c));
            escaped += code;
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::wstring logChannelName(const unsigned char (&random)[16]) {
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring name = channelPrefix;
    for (const unsigned char byte : random) {
        name += digits[byte >> 4];
        name += digits[byte & 0xF];
    }
    return name;
}

bool isLogChannelName(const std::wstring& name) {
    if (name.size() != channelPrefix.size() + channelDigits || name.compare(0, channelPrefix.size(), channelPrefix) != 0) {
        return false;
    }
    for (std::size_t i = channelPrefix.size(); i < name.size(); ++i) {
        const wchar_t c = name[i];
        if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'))) return false;
    }
    return true;
}
