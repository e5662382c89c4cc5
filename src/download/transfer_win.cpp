#include "download/transfer_win.h"

#include <wininet.h>

#include <algorithm>
#include <deque>
#include <utility>

#include "download/proxy_rules.h"
#include "system/handles_win.h"
#include "system/system_functions_win.h"

namespace {
// Reads start small and grow while the link keeps up: a read returns only when its buffer is full,
// and on a slow link a long one would look like a stalled server to the receive timeout.
constexpr DWORD readSize = 65536;
constexpr DWORD firstReadSize = 4096;
constexpr DWORD smallestReadSize = 4096;
// While data flows, the caller looks again after this pause instead of being woken for every
// piece: each wake-up is a trip through the kernel (under Wine, through its server as well).
constexpr DWORD pollWhileFlowingMs = 1;
// Pieces read ahead of the caller: bounds the memory whatever the network's speed, and holds
// what a fast network delivers during one pause of the caller.
constexpr std::size_t maxQueued = 32;
// The longest the caller goes without looking at its Cancel, and without dispatching messages
// while data keeps arriving (each pass costs a round trip to the window system).
constexpr DWORD waitSliceMs = 50;

NetworkTimeouts currentTimeouts;

// The proxy sign-in of this run: asked for at most once, then sent with every request. Written
// and read only on the caller's thread; each transfer takes its own copy.
struct ProxyCredentials {
    std::wstring user;
    std::wstring password;
};
ProxyCredentials proxyCredentials;
ProxySignIn proxySignIn = nullptr;
bool proxySignInAsked = false;
std::int32_t lastError() { return static_cast<std::int32_t>(GetLastError()); }

ULONGLONG now() { return GetTickCount64(); }

std::wstring queryText(HINTERNET url, DWORD what) {
    std::wstring text(128, L'\0');
    DWORD length = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (!winInet().HttpQueryInfoW(url, what, text.data(), &length, nullptr)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
        text.assign(length / sizeof(wchar_t) + 1, L'\0');
        if (!winInet().HttpQueryInfoW(url, what, text.data(), &length, nullptr)) return {};
    }
    text.resize(length / sizeof(wchar_t));
    return text;
}
}  // namespace

void setNetworkTimeouts(const NetworkTimeouts& timeouts) {
    const NetworkTimeouts defaults;
    currentTimeouts.connectMs = std::min(timeouts.connectMs, defaults.connectMs);
    currentTimeouts.sendMs = std::min(timeouts.sendMs, defaults.sendMs);
    currentTimeouts.receiveMs = std::min(timeouts.receiveMs, defaults.receiveMs);
    currentTimeouts.allowanceMs = std::min(timeouts.allowanceMs, defaults.allowanceMs);
}

const NetworkTimeouts& networkTimeouts() { return currentTimeouts; }

void setProxySignIn(ProxySignIn ask) { proxySignIn = ask; }

// The root handle and the URL handle of one request; members close in reverse order,
// so the URL handle goes before the root handle.
struct Request {
    InternetHandle root;
    InternetHandle connection;  // only for a request made with the proxy's sign-in
    InternetHandle url;
};

// Shared by the caller and the worker; whichever lets go last frees it.
struct TransferState {
    std::wstring url;
    std::wstring headers;
    NetworkTimeouts timeouts;
    ULONGLONG deadline = ~0ULL;  // of the whole download this request belongs to
    ProxyCredentials credentials;
    KernelHandle changed{CreateEventW(nullptr, FALSE, FALSE, nullptr)};  // the worker added something
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE roomOrLeft = CONDITION_VARIABLE_INIT;  // the caller took a piece or left
    bool headReady = false;
    ResponseHead head;
    std::deque<std::vector<char>> pieces;
    std::vector<std::vector<char>> spare;  // buffers the caller is done with, read into again
    bool finished = false;
    std::int32_t endCode = 0;
    bool abandoned = false;
    // The request's handles: closed once, by the worker when it is done, or by the caller that
    // walks away while the worker waits in WinINet (closing them ends that wait).
    Request request;
    bool blocked = false;  // the worker is inside a WinINet call that waits for the network
    bool closed = false;
    // A request the proxy answered with 407, handed over to the caller for the sign-in dialog.
    std::unique_ptr<Request> refused;
    // Who sleeps: each side signals the other only then, so a fast transfer makes no wake-ups.
    bool callerWaiting = false;
    bool workerWaiting = false;
    ULONGLONG lastPump = 0;  // the caller's
    bool flowing = false;    // the caller's: the last piece came without a wake-up call
};

namespace {
class Locked {
public:
    explicit Locked(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~Locked() { ReleaseSRWLockExclusive(&lock_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    SRWLOCK& lock_;
};

void setTimeout(HINTERNET handle, DWORD option, DWORD ms) {
    winInet().InternetSetOptionW(handle, option, &ms, sizeof ms);
}

std::wstring queryOptionText(HINTERNET handle, DWORD option) {
    DWORD size = 0;
    winInet().InternetQueryOptionW(handle, option, nullptr, &size);
    if (size == 0) return {};
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (!winInet().InternetQueryOptionW(handle, option, text.data(), &size)) return {};
    // Up to the terminator: what the call reports as the size is characters on one system and
    // bytes on another.
    text.resize(text.find(L'\0') == std::wstring::npos ? text.size() : text.find(L'\0'));
    return text;
}

// The proxy that the session's Internet settings give this URL (a manual proxy and its bypass
// list, as WinINet read them); empty for the direct route.
std::wstring proxyOf(HINTERNET root, const std::wstring& url) {
    DWORD size = 0;
    winInet().InternetQueryOptionW(root, INTERNET_OPTION_PROXY, nullptr, &size);
    if (size < sizeof(INTERNET_PROXY_INFO)) return {};
    std::vector<unsigned char> buffer(size);
    if (!winInet().InternetQueryOptionW(root, INTERNET_OPTION_PROXY, buffer.data(), &size)) return {};
    INTERNET_PROXY_INFO info{};
    std::copy_n(buffer.data(), sizeof info, reinterpret_cast<unsigned char*>(&info));
    if (info.dwAccessType != INTERNET_OPEN_TYPE_PROXY || !info.lpszProxy) return {};
    const auto text = [](LPCTSTR value) { return value ? std::wstring(reinterpret_cast<const wchar_t*>(value)) : std::wstring(); };
    const UrlParts parts = splitUrl(url);
    if (bypassesProxy(parts.host, text(info.lpszProxyBypass))) return {};
    return proxyForScheme(text(info.lpszProxy), parts.scheme);
}

std::int32_t statusOf(HINTERNET url, unsigned& status) {
    DWORD value = 0;
    DWORD length = sizeof value;
    if (!winInet().HttpQueryInfoW(url, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &value, &length, nullptr)) {
        return lastError();
    }
    status = value;
    return 0;
}

// The request made in steps, so that the proxy's credentials are on it before it is sent: the
// proxy's 407 is then answered within the same request (through a tunnel's CONNECT too). Makes
// the handles only; nothing goes out before HttpSendRequestW.
bool prepareWithProxySignIn(const TransferState& state, HINTERNET root, InternetHandle& connection,
                            InternetHandle& url, DWORD flags) {
    const WinInetTable& net = winInet();
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;  // pointers into the URL
    if (!net.InternetCrackUrlW(state.url.c_str(), 0, 0, &parts)) return false;
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring object(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo) object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    connection.reset(net.InternetConnectW(root, host.c_str(), parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return false;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
    url.reset(net.HttpOpenRequestW(connection.get(), L"GET", object.c_str(), nullptr, nullptr, nullptr, flags, 0));
    if (!url) return false;
    const ProxyCredentials& given = state.credentials;
    net.InternetSetOptionW(url.get(), INTERNET_OPTION_PROXY_USERNAME, const_cast<wchar_t*>(given.user.c_str()),
                           static_cast<DWORD>(given.user.size()));
    net.InternetSetOptionW(url.get(), INTERNET_OPTION_PROXY_PASSWORD, const_cast<wchar_t*>(given.password.c_str()),
                           static_cast<DWORD>(given.password.size()));
    return true;
}

// Marks the worker as waiting in WinINet, unless the caller has left: then false.
bool enterBlocking(TransferState& state) {
    Locked locked(state.lock);
    if (state.abandoned || state.closed) return false;
    state.blocked = true;
    return true;
}

// After a waiting call: false when the caller closed the handles meanwhile (nothing more may use them).
bool leaveBlocking(TransferState& state) {
    Locked locked(state.lock);
    state.blocked = false;
    return !state.closed;
}

// Takes the request's handles for closing, once; call under the lock and let the result go
// outside it. Empty when they were closed already.
Request takeForClosing(TransferState& state) {
    if (state.closed) return {};
    state.closed = true;
    return std::move(state.request);
}

// The worker's end: closes the handles unless the caller has; the closing happens outside the lock.
void closeRequest(TransferState& state) {
    Request taken;
    Locked locked(state.lock);
    taken = takeForClosing(state);
}

ResponseHead open(TransferState& state) {
    ResponseHead head;
    const WinInetTable& net = winInet();
    // The system's Internet settings: a manual proxy with its bypass list, an automatic
    // configuration script, automatic detection, or direct.
    InternetHandle root(net.InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!root) {
        head.code = lastError();
        return head;
    }
    head.proxy = proxyOf(root.get(), state.url);
    setTimeout(root.get(), INTERNET_OPTION_CONNECT_TIMEOUT, state.timeouts.connectMs);
    setTimeout(root.get(), INTERNET_OPTION_SEND_TIMEOUT, state.timeouts.sendMs);
    setTimeout(root.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, state.timeouts.receiveMs);
    const HINTERNET rootHandle = root.get();
    // The server is asked every time: an answer from WinINet's cache could be a stale version
    // file or archive, and nothing of ours is written into that cache.
    constexpr DWORD noCache = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
    const wchar_t* headers = state.headers.empty() ? nullptr : state.headers.c_str();
    // WinINet signs in to a proxy by itself where it can (NTLM or Negotiate as the user); a
    // sign-in the user gave earlier in this run goes with every later request.
    head.signedIn = !state.credentials.user.empty();
    InternetHandle connection;
    InternetHandle url;
    if (head.signedIn && !prepareWithProxySignIn(state, rootHandle, connection, url, noCache)) {
        head.code = lastError();
        return head;
    }
    {
        Locked locked(state.lock);
        if (state.abandoned) {
            head.code = ABORTED;
            return head;
        }
        state.request.root = std::move(root);
        state.request.connection = std::move(connection);
    }
    if (!enterBlocking(state)) {
        url.release();  // closed with the root handle
        head.code = ABORTED;
        return head;
    }
    bool sent = false;
    if (head.signedIn) {
        sent = net.HttpSendRequestW(url.get(), headers, headers ? static_cast<DWORD>(-1) : 0, nullptr, 0) != FALSE;
    } else {
        url.reset(net.InternetOpenUrlW(rootHandle, state.url.c_str(), headers, headers ? static_cast<DWORD>(-1) : 0,
                                       noCache, 0));
        sent = static_cast<bool>(url);
    }
    const std::int32_t opened = sent ? 0 : lastError();
    if (!leaveBlocking(state)) {
        // The caller closed the root handle, and with it this one.
        url.release();
        head.code = ABORTED;
        return head;
    }
    if (opened != 0) {
        head.code = opened;
        return head;
    }
    const HINTERNET urlHandle = url.get();
    {
        Locked locked(state.lock);
        state.request.url = std::move(url);
    }
    if ((head.code = statusOf(urlHandle, head.status)) != 0) return head;
    head.contentLength = queryText(urlHandle, HTTP_QUERY_CONTENT_LENGTH);
    head.contentRange = queryText(urlHandle, HTTP_QUERY_CONTENT_RANGE);
    head.validator = queryText(urlHandle, HTTP_QUERY_ETAG);
    if (head.validator.empty()) head.validator = queryText(urlHandle, HTTP_QUERY_LAST_MODIFIED);
    return head;
}

DWORD WINAPI runTransfer(void* parameter) {
    const std::unique_ptr<std::shared_ptr<TransferState>> holder(static_cast<std::shared_ptr<TransferState>*>(parameter));
    TransferState& state = **holder;
    ResponseHead head = open(state);
    // A proxy's 407 has no body worth reading: the request goes to the caller, which may ask
    // the user to sign in on it.
    const bool refused = head.code == 0 && head.status == proxyAuthRequired;
    const bool answered = head.code == 0 && !refused;
    HINTERNET url = nullptr;
    {
        Locked locked(state.lock);
        if (!state.closed) url = state.request.url.get();
        if (refused && !state.closed) {
            state.refused = std::make_unique<Request>(std::move(state.request));
            state.closed = true;  // the caller's now
        }
        state.head = std::move(head);
        state.headReady = true;
        state.finished = !answered;
    }
    SetEvent(state.changed.get());
    DWORD size = firstReadSize;
    while (answered) {
        {
            Locked locked(state.lock);
            while (!state.abandoned && state.pieces.size() >= maxQueued) {
                state.workerWaiting = true;
                SleepConditionVariableSRW(&state.roomOrLeft, &state.lock, INFINITE, 0);
                state.workerWaiting = false;
            }
            if (state.abandoned) break;
        }
        std::vector<char> piece;
        {
            Locked locked(state.lock);
            if (!state.spare.empty()) {
                piece = std::move(state.spare.back());
                state.spare.pop_back();
            }
        }
        piece.resize(size);
        DWORD read = 0;
        const ULONGLONG started = now();
        if (!url || !enterBlocking(state)) break;
        const bool ok = winInet().InternetReadFile(url, piece.data(), size, &read) != FALSE;
        if (!leaveBlocking(state)) break;
        const ULONGLONG took = now() - started;
        if (took > 1000 && size > smallestReadSize) size /= 2;
        if (took < 100 && read == size && size < readSize) size *= 2;
        const std::int32_t code = ok ? 0 : lastError();
        bool wake = false;
        {
            Locked locked(state.lock);
            if (!ok || read == 0) {
                state.finished = true;
                state.endCode = code;
            } else {
                piece.resize(read);
                state.pieces.push_back(std::move(piece));
            }
            wake = state.callerWaiting;
        }
        if (wake) SetEvent(state.changed.get());
        if (!ok || read == 0) break;
    }
    closeRequest(state);
    return 0;
}

// Waits until ready() holds (tested under the lock), the token is cancelled, or limitMs pass.
template <typename Ready>
std::int32_t waitFor(TransferState& state, DWORD limitMs, Progress& progress, Ready ready) {
    const ULONGLONG deadline = std::min(now() + limitMs, state.deadline);
    const auto check = [&state, &ready] {
        Locked locked(state.lock);
        return ready();
    };
    for (;;) {
        // A Cancel wins over data already waiting: nothing read after it is used.
        if (progress.cancelRequested()) return ABORTED;
        // A trickle that always has a piece waiting ends at the whole download's deadline too.
        if (now() >= state.deadline) return timedOut;
        bool arrived = check();
        if (!arrived && state.flowing) {
            progress.wait(nullptr, pollWhileFlowingMs);
            arrived = check();
            state.flowing = arrived;
        }
        if (!arrived) {
            // Announced under the lock, so that the worker's next piece wakes this thread.
            Locked locked(state.lock);
            arrived = ready();
            state.callerWaiting = !arrived;
        }
        const ULONGLONG current = now();
        if (arrived) {
            // The window still repaints and sees a Cancel while data pours in.
            if (current - state.lastPump >= waitSliceMs) {
                state.lastPump = current;
                progress.wait(nullptr, 0);
                if (progress.cancelRequested()) return ABORTED;
            }
            return 0;
        }
        if (current >= deadline) return timedOut;
        const DWORD slice = static_cast<DWORD>(std::min<ULONGLONG>(deadline - current, waitSliceMs));
        // The window repaints, shows the bar and takes a Cancel while the network is slow.
        progress.wait(state.changed.get(), slice);
        state.lastPump = now();
        Locked locked(state.lock);
        state.callerWaiting = false;
        state.flowing = ready();
    }
}
}  // namespace

Transfer::Transfer(const std::wstring& url, const std::wstring& headers, ULONGLONG deadline)
    : state_(std::make_shared<TransferState>()) {
    state_->url = url;
    state_->headers = headers;
    state_->deadline = deadline;
    state_->timeouts = currentTimeouts;
    state_->credentials = proxyCredentials;
    if (!winInet().complete() || !state_->changed) {
        state_->head.code = ERROR_MOD_NOT_FOUND;
        state_->headReady = state_->finished = true;
        return;
    }
    auto handed = std::make_unique<std::shared_ptr<TransferState>>(state_);
    const KernelHandle thread(CreateThread(nullptr, 0, runTransfer, handed.get(), 0, nullptr));
    if (thread) {
        handed.release();  // the worker's now; it runs on without a handle of ours
    } else {
        state_->head.code = lastError();
        state_->headReady = state_->finished = true;
    }
}

Transfer::~Transfer() {
    // A worker waiting in WinINet for a stalled server would keep its thread and socket for as
    // long as the server likes: closing its handles from here ends the wait, and the worker. Only
    // while it waits: otherwise it sees that it was left before its next call and closes them itself.
    Request taken;
    {
        Locked locked(state_->lock);
        state_->abandoned = true;
        if (state_->blocked) taken = takeForClosing(*state_);
    }
    WakeAllConditionVariable(&state_->roomOrLeft);
}

ResponseHead Transfer::head(Progress& progress) {
    TransferState& state = *state_;
    // Connecting, then the wait for the first data; WinINet may not keep to either.
    const DWORD limit = state.timeouts.connectMs + state.timeouts.receiveMs;
    const std::int32_t waited = waitFor(state, limit, progress, [&state] { return state.headReady; });
    Locked locked(state.lock);
    if (waited != 0) {
        ResponseHead stopped;
        stopped.code = waited;
        return stopped;
    }
    return state.head;
}

std::int32_t Transfer::next(std::vector<char>& bytes, Progress& progress) {
    TransferState& state = *state_;
    // The caller's last piece goes back to be read into: no allocation per read.
    if (bytes.capacity() >= readSize) {
        Locked locked(state.lock);
        if (state.spare.size() < maxQueued) state.spare.push_back(std::move(bytes));
    }
    bytes.clear();
    const std::int32_t waited = waitFor(state, state.timeouts.receiveMs, progress,
                                        [&state] { return !state.pieces.empty() || state.finished; });
    if (waited != 0) return waited;
    bool wake = false;
    {
        Locked locked(state.lock);
        if (state.pieces.empty()) return state.endCode;
        bytes = std::move(state.pieces.front());
        state.pieces.pop_front();
        wake = state.workerWaiting;
    }
    if (wake) WakeAllConditionVariable(&state.roomOrLeft);
    return 0;
}

bool Transfer::signInToProxy() {
    std::unique_ptr<Request> refused;
    {
        Locked locked(state_->lock);
        refused = std::move(state_->refused);
    }
    if (!refused || !proxySignIn || proxySignInAsked) return false;
    proxySignInAsked = true;
    if (!proxySignIn(refused->url.get())) return false;
    // What the dialog set on the request; kept for the rest of the run only.
    ProxyCredentials given{queryOptionText(refused->url.get(), INTERNET_OPTION_PROXY_USERNAME),
                           queryOptionText(refused->url.get(), INTERNET_OPTION_PROXY_PASSWORD)};
    if (given.user.empty()) return false;
    proxyCredentials = std::move(given);
    return true;
}
