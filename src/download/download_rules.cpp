#include "download/download_rules.h"

#include <cmath>

#include "common/text.h"

unsigned progressPosition(double start, double end, double received, double expected) {
    if (expected == 0) return start > 0 ? static_cast<unsigned>(start) : 0;
    const double position = received / expected * (end - start) + start;
    // A conversion of a value outside the target range would be undefined.
    if (!(position > 0)) return 0;
    if (position >= 4294967295.0) return 4294967295u;
    return static_cast<unsigned>(std::trunc(position));
}

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

std::wstring resumeHeaders(double offset, const std::wstring& validator) {
    // An offset is a whole number of bytes, below 2^53: printed exactly without an exponent.
    const auto bytes = static_cast<unsigned long long>(offset);
    return L"Range: bytes=" + std::to_wstring(bytes) + L"-\r\nIf-Range: " + validator + L"\r\n";
}

bool contentRangeStartsAt(const std::wstring& header, double offset) {
    static const std::wstring unit = L"bytes ";
    std::size_t i = 0;
    while (i < header.size() && isBlank(header[i])) ++i;
    if (header.compare(i, unit.size(), unit) != 0) return false;
    i += unit.size();
    const std::size_t firstDigit = i;
    double first = 0;
    while (i < header.size() && header[i] >= L'0' && header[i] <= L'9' && first < 1e15) {
        first = first * 10 + (header[i] - L'0');
        ++i;
    }
    return i != firstDigit && i < header.size() && header[i] == L'-' && first == offset;
}

int resumePauseMs(int attempt) { return attempt <= 1 ? 1000 : attempt == 2 ? 2000 : 4000; }

namespace {
int hexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// Reads one DER INTEGER at der[at] into 32 bytes, right-aligned; moves at behind it.
bool readInteger(const std::uint8_t* der, std::size_t size, std::size_t& at, std::uint8_t* out) {
    if (at + 2 > size || der[at] != 0x02) return false;
    std::size_t length = der[at + 1];
    at += 2;
    if (length == 0 || length > 33 || at + length > size) return false;
    const std::uint8_t* value = der + at;
    at += length;
    // A leading zero only keeps a high bit from reading as a sign.
    if (length == 33) {
        if (value[0] != 0) return false;
        ++value;
        --length;
    }
    for (std::size_t i = 0; i < 32; ++i) out[i] = 0;
    for (std::size_t i = 0; i < length; ++i) out[32 - length + i] = value[i];
    return true;
}
}  // namespace

namespace {
// The 64 hexadecimal digits between open and close, found first in body: 1 when read, 0 when open
// is missing, -1 when the element is malformed.
int extractDigest(const std::wstring& body, const std::wstring& openTag, const std::wstring& closeTag,
                  Sha256Digest& digest) {
    const std::size_t open = body.find(openTag);
    if (open == std::wstring::npos) return 0;
    const std::size_t start = open + openTag.size();
    if (body.size() < start + 64 + closeTag.size() || body.compare(start + 64, closeTag.size(), closeTag) != 0) {
        return -1;
    }
    for (std::size_t i = 0; i < 32; ++i) {
        const int high = hexValue(body[start + 2 * i]);
        const int low = hexValue(body[start + 2 * i + 1]);
        if (high < 0 || low < 0) return -1;
        digest[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return 1;
}
}  // namespace

bool extractSha256(const std::wstring& body, Sha256Digest& digest) {
    return extractDigest(body, L"<sha256>", L"</sha256>", digest) == 1;
}

bool extractNotesSha256(const std::wstring& body, std::optional<Sha256Digest>& digest) {
    digest.reset();
    Sha256Digest value{};
    const int found = extractDigest(body, L"<notes_sha256>", L"</notes_sha256>", value);
    if (found == 1) digest = value;
    return found >= 0;
}

bool extractArchiveSize(const std::wstring& body, double& size) {
    static const std::wstring openTag = L"<size>";
    static const std::wstring closeTag = L"</size>";
    const std::size_t open = body.find(openTag);
    if (open == std::wstring::npos) return false;
    std::size_t i = open + openTag.size();
    const std::size_t firstDigit = i;
    double value = 0;
    // 15 digits stay below 2^53: every count of bytes is exact.
    while (i < body.size() && body[i] >= L'0' && body[i] <= L'9' && i - firstDigit < 15) {
        value = value * 10 + (body[i] - L'0');
        ++i;
    }
    if (i == firstDigit || body.compare(i, closeTag.size(), closeTag) != 0) return false;
    size = value;
    return true;
}

double downloadDeadlineMs(double size, double allowanceMs) {
    return allowanceMs + (size > 0 ? size : 0) * 1000.0 / slowestBytesPerSecond;
}

bool derSignatureToRaw(const std::uint8_t* der, std::size_t size, P256Signature& raw) {
    // SEQUENCE, short-form length covering exactly the rest.
    if (!der || size < 8 || der[0] != 0x30 || der[1] != size - 2) return false;
    std::size_t at = 2;
    if (!readInteger(der, size, at, raw.data()) || !readInteger(der, size, at, raw.data() + 32)) return false;
    return at == size;
}
