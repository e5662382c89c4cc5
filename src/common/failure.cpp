#include "common/failure.h"

#include <utility>

namespace {
constexpr std::int32_t invalidData = 13;         // ERROR_INVALID_DATA
constexpr std::int32_t internetTimeout = 12002;  // ERROR_INTERNET_TIMEOUT
constexpr std::int32_t cannotConnect = 12029;    // ERROR_INTERNET_CANNOT_CONNECT
constexpr std::int32_t accessDenied = 5;         // ERROR_ACCESS_DENIED
constexpr std::int32_t abortHresult = static_cast<std::int32_t>(0x80004004);  // E_ABORT
}  // namespace

Failure Failure::win32(std::uint32_t error, std::wstring path) {
    if (error == 0) return {};
    return {Kind::Win32, error, std::move(path)};
}

Failure Failure::hresult(std::int32_t result, std::wstring path) {
    if (result >= 0) return {};
    return {Kind::HResult, static_cast<std::uint32_t>(result), std::move(path)};
}

Failure Failure::special(Special what, std::wstring path) {
    return {Kind::Special, static_cast<std::uint32_t>(what), std::move(path)};
}

std::int32_t Failure::shownCode() const {
    switch (kind) {
        case Kind::None: return 0;
        case Kind::Win32:
        case Kind::HResult: return static_cast<std::int32_t>(code);
        case Kind::Special: break;
    }
    switch (static_cast<Special>(code)) {
        case Special::Aborted: return abortHresult;
        case Special::NoConnection: return -1;
        case Special::HashMismatch: return invalidData;
        case Special::TimedOut: return internetTimeout;
        case Special::ProxyUnreachable: return cannotConnect;
        case Special::ProxySignIn:
        case Special::ProxySignInRefused: return accessDenied;
    }
    return -1;
}
