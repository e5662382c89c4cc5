// One HTTP GET whose network calls run on a worker thread. WinINet's blocking calls may wait as
// long as a stalled server likes (Wine does not even apply the receive timeout), so the caller's
// thread only waits in short slices: it can pump messages, see a Cancel, apply its own timeouts
// and walk away. Walking away closes the request's handles when the worker waits in WinINet, so
// that the wait returns and the worker ends; it touches nothing of the caller's.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/progress.h"

inline constexpr std::int32_t ABORTED = static_cast<std::int32_t>(0x80004004);  // E_ABORT

struct NetworkTimeouts {
    DWORD connectMs = 30000;  // until the server has answered a connection
    DWORD sendMs = 30000;     // for the request to go out
    DWORD receiveMs = 60000;  // without any data arriving
    // A whole download may take this, plus its body's time at the slowest rate it is given time for.
    DWORD allowanceMs = 120000;
};

// The timeouts of every request from now on; tests shorten them (never longer than the defaults).
void setNetworkTimeouts(const NetworkTimeouts& timeouts);
const NetworkTimeouts& networkTimeouts();

// Reported when a server sends nothing within the timeouts.
inline constexpr std::int32_t timedOut = 12002;  // ERROR_INTERNET_TIMEOUT

struct ResponseHead {
    // 0 when the server answered; else why it was not reached (or ABORTED, timedOut).
    std::int32_t code = 0;
    unsigned status = 0;
    std::wstring contentLength;
    std::wstring contentRange;
    std::wstring validator;  // the ETag, else the Last-Modified date; empty when neither
    // The proxy server ("host:port") that the Internet settings send this URL through; empty
    // when it goes direct.
    std::wstring proxy;
    bool signedIn = false;  // credentials the user gave were sent with the request
};

// The proxy's sign-in, asked of the user on the caller's thread for a request the proxy answered
// with 407 (the request's WinINet handle); true when the user gave credentials.
using ProxySignIn = bool (*)(void* request);
// Whether and how this run may ask; nullptr (the default, and an unattended run) never asks.
void setProxySignIn(ProxySignIn ask);

// A proxy's answer that it wants a sign-in: the worker hands such a request back, and the
// download asks for the sign-in on it.
constexpr unsigned proxyAuthRequired = 407;

struct TransferState;

class Transfer {
public:
    // Starts the request: url with extra request headers (empty, or lines ending in CRLF). No wait
    // goes past deadline (a GetTickCount64 value): it ends with timedOut there.
    Transfer(const std::wstring& url, const std::wstring& headers, ULONGLONG deadline = ~0ULL);
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    // Waits for the server's answer, through progress (which may stop it with a Cancel).
    ResponseHead head(Progress& progress);
    // Waits for the next piece of the body: 0 with bytes, 0 with none at the end of the body,
    // ABORTED, timedOut or WinINet's code of a failed read.
    std::int32_t next(std::vector<char>& bytes, Progress& progress);
    // After a 407 that no credentials of this run answered: asks the user once per run. The
    // credentials given are kept in memory for every later request of the run, never anywhere
    // else; true when there are new ones to make the request again with.
    bool signInToProxy();

private:
    std::shared_ptr<TransferState> state_;
};
