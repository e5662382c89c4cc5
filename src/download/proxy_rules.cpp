#include "download/proxy_rules.h"

#include <vector>

#include "common/text.h"

namespace {
bool isSeparator(wchar_t c) { return c == L';' || isBlank(c); }

std::vector<std::wstring> entriesOf(const std::wstring& list) {
    std::vector<std::wstring> entries;
    std::wstring current;
    for (const wchar_t c : list) {
        if (isSeparator(c)) {
            if (!current.empty()) entries.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty()) entries.push_back(current);
    return entries;
}

// "*" matches any run of characters (none included); both sides already lower-cased.
bool wildcardMatch(const std::wstring& pattern, const std::wstring& text) {
    std::size_t p = 0, t = 0, star = std::wstring::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::wstring::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
}

// WinINet's codes (wininet.h), named here so that this file needs no Windows header.
constexpr std::int32_t nameNotResolved = 12007;
constexpr std::int32_t cannotConnect = 12029;
constexpr std::int32_t certDateInvalid = 12037;
constexpr std::int32_t certNameInvalid = 12038;
constexpr std::int32_t invalidCa = 12045;
constexpr std::int32_t certErrors = 12055;
constexpr std::int32_t certNoRevocation = 12056;
constexpr std::int32_t certRevocationFailed = 12057;
constexpr std::int32_t secureChannel = 12157;
constexpr std::int32_t invalidCert = 12169;
constexpr std::int32_t certRevoked = 12170;
// SEC_E_UNTRUSTED_ROOT, CERT_E_EXPIRED, CERT_E_CN_NO_MATCH, CRYPT_E_REVOKED as a Win32-style code.
constexpr std::int32_t untrustedRoot = static_cast<std::int32_t>(0x80090325);
constexpr std::int32_t certExpired = static_cast<std::int32_t>(0x800B0101);
constexpr std::int32_t certNameMismatch = static_cast<std::int32_t>(0x800B010F);
constexpr std::int32_t cryptRevoked = static_cast<std::int32_t>(0x80092010);
}  // namespace

std::wstring proxyForScheme(const std::wstring& proxyList, const std::wstring& scheme) {
    const std::wstring wanted = lowerAscii(scheme);
    std::wstring common;
    for (const std::wstring& entry : entriesOf(proxyList)) {
        const std::size_t equals = entry.find(L'=');
        if (equals == std::wstring::npos) {
            if (common.empty()) common = entry;
            continue;
        }
        if (lowerAscii(entry.substr(0, equals)) == wanted) return entry.substr(equals + 1);
    }
    return common;
}

bool bypassesProxy(const std::wstring& host, const std::wstring& bypassList) {
    const std::wstring name = lowerAscii(host);
    for (const std::wstring& entry : entriesOf(bypassList)) {
        const std::wstring pattern = lowerAscii(entry);
        if (pattern == L"<local>") {
            if (!name.empty() && name.find(L'.') == std::wstring::npos) return true;
            continue;
        }
        if (wildcardMatch(pattern, name)) return true;
    }
    return false;
}

UrlParts splitUrl(const std::wstring& url) {
    UrlParts parts;
    const std::size_t colon = url.find(L"://");
    if (colon == std::wstring::npos) return parts;
    parts.scheme = lowerAscii(url.substr(0, colon));
    const std::size_t start = colon + 3;
    std::size_t end = url.find_first_of(L"/?#", start);
    if (end == std::wstring::npos) end = url.size();
    std::wstring authority = url.substr(start, end - start);
    const std::size_t at = authority.rfind(L'@');
    if (at != std::wstring::npos) authority.erase(0, at + 1);
    if (!authority.empty() && authority[0] == L'[') {
        const std::size_t close = authority.find(L']');
        parts.host = authority.substr(0, close == std::wstring::npos ? authority.size() : close + 1);
    } else {
        parts.host = authority.substr(0, authority.find(L':'));
    }
    return parts;
}

NetworkCause networkCauseOf(std::int32_t code, bool throughProxy) {
    switch (code) {
        case nameNotResolved:
        case cannotConnect: return throughProxy ? NetworkCause::ProxyUnreachable : NetworkCause::Other;
        case invalidCa:
        case untrustedRoot: return NetworkCause::CertificateUnknownIssuer;
        case certNameInvalid:
        case certNameMismatch: return NetworkCause::CertificateWrongName;
        case certDateInvalid:
        case certExpired: return NetworkCause::CertificateDate;
        case certRevoked:
        case cryptRevoked: return NetworkCause::CertificateRevoked;
        case certErrors:
        case certNoRevocation:
        case certRevocationFailed:
        case invalidCert: return NetworkCause::CertificateInvalid;
        case secureChannel: return NetworkCause::SecureChannel;
        default: return NetworkCause::Other;
    }
}

namespace {
// One row per cause: the text table's key of the box's text, and the log's English words.
struct CauseTexts {
    NetworkCause cause;
    const wchar_t* key;
    const wchar_t* logText;
};
constexpr CauseTexts causeTexts[] = {
    {NetworkCause::ProxyUnreachable, L"error_proxy_unreachable", L"the proxy server cannot be reached"},
    {NetworkCause::ProxySignInRequired, L"error_proxy_sign_in", L"the proxy server requires sign-in"},
    {NetworkCause::ProxySignInRefused, L"error_proxy_refused", L"the proxy server refused the sign-in"},
    {NetworkCause::CertificateUnknownIssuer, L"error_cert_issuer", L"the server certificate's issuer is not trusted"},
    {NetworkCause::CertificateWrongName, L"error_cert_name", L"the server certificate is for another name"},
    {NetworkCause::CertificateDate, L"error_cert_date", L"the server certificate has expired or is not yet valid"},
    {NetworkCause::CertificateRevoked, L"error_cert_revoked", L"the server certificate has been revoked"},
    {NetworkCause::CertificateInvalid, L"error_cert_invalid", L"the server certificate cannot be verified"},
    {NetworkCause::SecureChannel, L"error_tls", L"the secure (TLS) connection failed"},
};

// The proxy's causes and the failures a download ends with for them.
struct ProxyFailure {
    NetworkCause cause;
    Special kind;
};
constexpr ProxyFailure proxyFailures[] = {
    {NetworkCause::ProxyUnreachable, Special::ProxyUnreachable},
    {NetworkCause::ProxySignInRequired, Special::ProxySignIn},
    {NetworkCause::ProxySignInRefused, Special::ProxySignInRefused},
};

const CauseTexts* textsOf(NetworkCause cause) {
    for (const CauseTexts& row : causeTexts) {
        if (row.cause == cause) return &row;
    }
    return nullptr;
}
}  // namespace

const wchar_t* networkCauseKey(NetworkCause cause) {
    const CauseTexts* row = textsOf(cause);
    return row ? row->key : L"";
}

const wchar_t* networkCauseLogText(NetworkCause cause) {
    const CauseTexts* row = textsOf(cause);
    return row ? row->logText : L"";
}

bool proxyFailureKind(NetworkCause cause, Special& kind) {
    for (const ProxyFailure& row : proxyFailures) {
        if (row.cause == cause) {
            kind = row.kind;
            return true;
        }
    }
    return false;
}

NetworkCause proxyCauseOf(const Failure& failure) {
    for (const ProxyFailure& row : proxyFailures) {
        if (failure.is(row.kind)) return row.cause;
    }
    return NetworkCause::Other;
}
