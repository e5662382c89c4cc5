#include "download/transfer_win.h"

#include <wininet.h>

#include <algorithm>
#include <deque>
#include <utility>

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

// The root handle and the URL handle of one request; members close in reverse order,
// so the URL handle goes before the root handle.
struct Request {
    InternetHandle root;
    InternetHandle url;
};

// Shared by the caller and the worker; whichever lets go last frees it.
struct TransferState {
    std::wstring url;
    std::wstring headers;
    NetworkTimeouts timeouts;
    ULONGLONG deadline = ~0ULL;  // of the whole download this request belongs to
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

// The worker's end: closes the handles unless the caller has; the closing happens outside the lock.
void closeRequest(TransferState& state) {
    Request taken;
    {
        Locked locked(state.lock);
        if (state.closed) return;
        state.closed = true;
        taken = std::move(state.request);
    }
}

ResponseHead open(TransferState& state) {
    ResponseHead head;
    const WinInetTable& net = winInet();
    InternetHandle root(net.InternetOpenW(L"", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!root) {
        head.code = lastError();
        return head;
    }
    setTimeout(root.get(), INTERNET_OPTION_CONNECT_TIMEOUT, state.timeouts.connectMs);
    setTimeout(root.get(), INTERNET_OPTION_SEND_TIMEOUT, state.timeouts.sendMs);
    setTimeout(root.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, state.timeouts.receiveMs);
    const HINTERNET rootHandle = root.get();
    {
        Locked locked(state.lock);
        if (state.abandoned) {
            head.code = ABORTED;
            return head;
        }
        state.request.root = std::move(root);
    }
    // The server is asked every time: an answer from WinINet's cache could be a stale version
    // file or archive, and nothing of ours is written into that cache.
    constexpr DWORD noCache = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
    const wchar_t* headers = state.headers.empty() ? nullptr : state.headers.c_str();
    if (!enterBlocking(state)) {
        head.code = ABORTED;
        return head;
    }
    InternetHandle url(net.InternetOpenUrlW(rootHandle, state.url.c_str(), headers,
                                            headers ? static_cast<DWORD>(-1) : 0, noCache, 0));
    const std::int32_t opened = url ? 0 : lastError();
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
    DWORD status = 0;
    DWORD length = sizeof status;
    if (!net.HttpQueryInfoW(urlHandle, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, nullptr)) {
        head.code = lastError();
        return head;
    }
    head.status = status;
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
    const bool answered = head.code == 0;
    HINTERNET url = nullptr;
    {
        Locked locked(state.lock);
        if (!state.closed) url = state.request.url.get();
    }
    {
        Locked locked(state.lock);
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
        if (state_->blocked && !state_->closed) {
            state_->closed = true;
            taken = std::move(state_->request);
        }
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
