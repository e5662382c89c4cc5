#include "download/progress.h"

#include <cmath>

unsigned progressPosition(double start, double end, double received, double expected) {
    if (expected == 0) return start > 0 ? static_cast<unsigned>(start) : 0;
    const double position = received / expected * (end - start) + start;
    // A conversion of a value outside the target range would be undefined.
    if (!(position > 0)) return 0;
    if (position >= 4294967295.0) return 4294967295u;
    return static_cast<unsigned>(std::trunc(position));
}

namespace {
bool isBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
}  // namespace

double parseContentLength(const std::wstring& header) {
    std::size_t i = 0;
    while (i < header.size() && isBlank(header[i])) ++i;
    const std::size_t firstDigit = i;
    double value = 0;
    while (i < header.size() && header[i] >= L'0' && header[i] <= L'9') {
        value = value * 10 + (header[i] - L'0');
        if (value > 2147483647.0) return 0;
        ++i;
    }
    if (i == firstDigit) return 0;
    while (i < header.size() && isBlank(header[i])) ++i;
    return i == header.size() ? value : 0;
}

std::wstring extractVersionText(const std::wstring& body) {
    static const std::wstring openTag = L"<version>";
    static const std::wstring closeTag = L"</version>";
    const std::size_t open = body.find(openTag);
    if (open == std::wstring::npos) return {};
    const std::size_t start = open + openTag.size();
    const std::size_t end = body.find(closeTag, start);
    return body.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
}

bool isSuccessStatus(unsigned status) { return status >= 200 && status <= 299; }

std::int32_t statusErrorCode(unsigned status) {
    if (isSuccessStatus(status)) return 0;
    switch (status) {
        case 404:
        case 410:
            return 2;  // ERROR_FILE_NOT_FOUND
        case 401:
        case 403:
        case 407:
            return 5;  // ERROR_ACCESS_DENIED
        default:
            return 58;  // ERROR_BAD_NET_RESP
    }
}
