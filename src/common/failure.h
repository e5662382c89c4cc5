// Why a step did not succeed: one code of one tagged kind, and the path or file it concerns.
// What the file, folder, registry, shortcut and download steps return.
#pragma once
#include <cstdint>
#include <string>

// Failures that the installer names itself: no system call reported a code for them.
enum class Special : std::uint8_t {
    Aborted,       // a Cancel stopped it; nothing to report
    NoConnection,  // the machine reports no internet connection
    HashMismatch,  // the body is not the one the signed version file names
    TimedOut,      // the server sent nothing within the timeouts
    // The proxy server (the failure's path names it, as "host:port"):
    ProxyUnreachable,   // did not answer the connection
    ProxySignIn,        // asked for a sign-in (407) that nobody gave
    ProxySignInRefused, // still answered 407 to the sign-in that was given
};

struct Failure {
    enum class Kind : std::uint8_t { None, Win32, HResult, Special };
    Kind kind = Kind::None;
    std::uint32_t code = 0;  // the Win32 (or WinINet) error, the HRESULT, or the Special value
    std::wstring path;       // the file, folder or key it concerns; empty when there is none

    // A Win32 error of 0 and a succeeded HRESULT are no failure.
    static Failure win32(std::uint32_t error, std::wstring path = {});
    static Failure hresult(std::int32_t result, std::wstring path = {});
    static Failure special(Special what, std::wstring path = {});

    bool ok() const { return kind == Kind::None; }
    bool is(Special what) const { return kind == Kind::Special && code == static_cast<std::uint32_t>(what); }
    // The number the error box shows: the error or the HRESULT itself; a special failure as the
    // system code that describes it (HashMismatch: "The data is invalid.", TimedOut: WinINet's
    // "The operation timed out", an unreachable proxy: WinINet's "cannot connect", a proxy's
    // sign-in: "Access is denied."); 0 for none.
    std::int32_t shownCode() const;
};
