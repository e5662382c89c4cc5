// The system's proxy settings as WinINet reports them, and what a failed request's code says
// about its cause; no Windows call.
#pragma once
#include <cstdint>
#include <string>

#include "common/failure.h"

// The proxy for one scheme from a proxy list as the Internet settings write it: one "host:port"
// for every scheme, or "scheme=host:port" entries separated by ";" or blanks ("http=p:80;https=q:443").
// Empty when the list names none for the scheme.
std::wstring proxyForScheme(const std::wstring& proxyList, const std::wstring& scheme);

// Whether host goes direct by the bypass list: entries separated by ";" or blanks, "*" matching any
// run of characters, case ignored; "<local>" matches a host name without a dot.
bool bypassesProxy(const std::wstring& host, const std::wstring& bypassList);

// The scheme ("https") and host ("example.test") of an absolute URL; empty parts when it has none.
struct UrlParts {
    std::wstring scheme;
    std::wstring host;
};
UrlParts splitUrl(const std::wstring& url);

// Why a request failed, as far as a user or an administrator can act on it.
enum class NetworkCause : std::uint8_t {
    Other,                     // no cause of its own: the error's own description says it
    ProxyUnreachable,          // the proxy server did not answer the connection
    ProxySignInRequired,       // the proxy asks for a sign-in that nobody gave
    ProxySignInRefused,        // the proxy refused the sign-in that was given
    CertificateUnknownIssuer,  // the server's certificate comes from an authority not trusted here
    CertificateWrongName,      // the certificate is for another name
    CertificateDate,           // expired or not yet valid: often the computer's clock
    CertificateRevoked,        // revoked, or its revocation could not be checked
    CertificateInvalid,        // any other certificate fault
    SecureChannel,             // the TLS connection could not be set up
};

// The cause of a WinINet or system error code; throughProxy tells whether the request was to go
// through a proxy, so that a failed connection is the proxy's.
NetworkCause networkCauseOf(std::int32_t code, bool throughProxy);

// The text table key of a cause's explanation ("%1" is the proxy server); empty for Other.
const wchar_t* networkCauseKey(NetworkCause cause);

// A short English phrase for the log.
const wchar_t* networkCauseLogText(NetworkCause cause);

// The failure a download ends with when the proxy is at fault, one kind per proxy cause: false for
// a cause that is not the proxy's.
bool proxyFailureKind(NetworkCause cause, Special& kind);

// The cause a download's failure names when the proxy was at fault; Other for any other failure.
NetworkCause proxyCauseOf(const Failure& failure);
