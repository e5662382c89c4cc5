#include "download/download_win.h"

#include <wininet.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/product_config.h"
#include "download/download_rules.h"
#include "download/proxy_rules.h"
#include "system/crypto_win.h"
#include "system/handles_win.h"
#include "system/log_win.h"
#include "system/message_pump_win.h"
#include "system/system_functions_win.h"

namespace {
// Reported when the connection ends before the announced Content-Length has arrived. A system
// code, so that the box can describe it ("An unexpected network error occurred.").
constexpr std::int32_t truncatedDownload = ERROR_UNEXP_NET_ERR;

// A version file is a few hundred bytes; a server sending more is not one to be trusted.
constexpr std::size_t textLimit = 64 * 1024;
constexpr std::int32_t tooLarge = ERROR_FILE_TOO_LARGE;
// Inside this file only: a body whose SHA-256 is not the signed one (no system code is negative
// and this small).
constexpr std::int32_t hashMismatchCode = -2;

bool systemConnectionTest() {
    DWORD flags = 0;
    const WinInetTable& net = winInet();
    return net.InternetGetConnectedState && net.InternetGetConnectedState(&flags, 0) != FALSE;
}

ConnectionTest connectionTest = systemConnectionTest;

std::int32_t lastError() { return static_cast<std::int32_t>(GetLastError()); }

// The failure for a code of the transfer or of the file being written.
Failure failureOf(std::int32_t code, const std::wstring& name) {
    if (code == 0) return {};
    if (code == ABORTED) return Failure::special(Special::Aborted, name);
    if (code == timedOut) return Failure::special(Special::TimedOut, name);
    if (code == hashMismatchCode) return Failure::special(Special::HashMismatch, name);
    return Failure::win32(static_cast<std::uint32_t>(code), name);
}

std::wstring urlOf(const std::wstring& urlPart, const std::wstring& fileName) {
    return productConfig().downloadRoot + urlPart + fileName;
}

// What an answer says about the way to the server: a proxy's 407 by whether credentials went with
// the request, else what the error code says (proxy, certificate, TLS).
NetworkCause causeOf(const ResponseHead& head) {
    if (head.code == 0 && head.status == proxyAuthRequired) {
        return head.signedIn ? NetworkCause::ProxySignInRefused : NetworkCause::ProxySignInRequired;
    }
    return networkCauseOf(head.code, !head.proxy.empty());
}

// The failure that names its cause when the proxy is at fault: it did not answer, or it wants a
// sign-in. None for every other answer.
Failure proxyFailureOf(const ResponseHead& head) {
    Special kind{};
    return proxyFailureKind(causeOf(head), kind) ? Failure::special(kind, head.proxy) : Failure{};
}

void logAnswer(const std::wstring& url, const ResponseHead& head, double from) {
    std::wstring line = L"GET " + url;
    if (from > 0) line += L" from byte " + std::to_wstring(static_cast<unsigned long long>(from));
    if (!head.proxy.empty()) line += L" through the proxy server " + head.proxy;
    line += head.code == 0 ? L": HTTP " + std::to_wstring(head.status) : L": not answered, error " + std::to_wstring(head.code);
    if (const NetworkCause cause = causeOf(head); cause != NetworkCause::Other) {
        line += std::wstring(L" (") + networkCauseLogText(cause) + L")";
    }
    logLine(line);
}

// When a whole download of size bytes started now must have ended, attempts and pauses included.
ULONGLONG deadlineFor(double size) {
    return GetTickCount64() + static_cast<ULONGLONG>(downloadDeadlineMs(size, networkTimeouts().allowanceMs));
}

// Starts the request and waits for its answer. A proxy's 407 is answered with the user's sign-in
// where this run may ask, and the request made once more with it.
ResponseHead startRequest(std::optional<Transfer>& transfer, const std::wstring& url, const std::wstring& headers,
                          ULONGLONG deadline, Progress& progress) {
    for (bool again = false;; again = true) {
        transfer.emplace(url, headers, deadline);
        const ResponseHead head = transfer->head(progress);
        if (again || head.code != 0 || head.status != proxyAuthRequired || !transfer->signInToProxy()) return head;
        logLine(L"proxy sign-in given for " + head.proxy + L"; the request is made again");
    }
}

void logBody(const std::wstring& url, double bytes, std::int32_t code) {
    logLine(url + L": " + std::to_wstring(static_cast<unsigned long long>(bytes)) + L" bytes" +
            (code == 0 ? std::wstring(L", complete") : L", stopped with error " + std::to_wstring(code)));
}

// Hands each piece of the body to take(bytes, count), which returns 0 to go on or a code to
// stop with. 0 at the end of the body, else the code that stopped it.
template <typename Take>
std::int32_t readBody(Transfer& transfer, Progress& progress, Take take) {
    std::vector<char> piece;
    for (;;) {
        if (const std::int32_t code = transfer.next(piece, progress)) return code;
        if (piece.empty()) return 0;
        if (const std::int32_t stop = take(piece.data(), static_cast<DWORD>(piece.size()))) return stop;
    }
}

// Waits ms before the next attempt, in slices, so that a Cancel ends the wait.
bool pauseUnlessCancelled(int ms, Progress& progress) {
    constexpr ULONGLONG slice = 50;
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms);
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        if (progress.cancelRequested()) return false;
        progress.wait(nullptr, static_cast<unsigned long>(std::min(end - now, slice)));
    }
    return !progress.cancelRequested();
}

// The file being downloaded: its bytes on disk, their hash, and the bar that follows them.
class Destination {
public:
    // size: the signed size, or below 0 when none is named.
    Destination(FileHandle file, bool hashed, double size, double progressStart, double progressEnd, Progress& progress)
        : file_(std::move(file)), hashed_(hashed), size_(size), start_(progressStart), end_(progressEnd),
          progress_(progress) {
        if (hashed_) hash_.emplace();
    }
    bool sizeKnown() const { return size_ >= 0; }
    double size() const { return size_; }
    bool ready() const { return file_.valid() && (!hashed_ || hash_->ready()); }
    double received() const { return received_; }

    // Throws away what arrived so far: the server sends the file from its first byte again.
    std::int32_t startOver() {
        received_ = 0;
        if (hashed_) hash_.emplace();
        if (SetFilePointer(file_.get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
            !SetEndOfFile(file_.get())) {
            return lastError();
        }
        return hashed_ && !hash_->ready() ? hashMismatchCode : 0;
    }

    std::int32_t append(const char* bytes, DWORD count, double expected) {
        // Not a byte beyond what the signed file names (or the limit) reaches the disk.
        if (received_ + count > (sizeKnown() ? size_ : unnamedSizeLimit)) return sizeKnown() ? hashMismatchCode : tooLarge;
        DWORD written = 0;
        if (!WriteFile(file_.get(), bytes, count, &written, nullptr)) return lastError();
        if (hashed_ && !hash_->update(bytes, count)) return hashMismatchCode;
        received_ += count;
        if (expected != 0) {
            // Once per step of the bar, and never backwards when a download starts over.
            const unsigned position = progressPosition(start_, end_, received_, expected);
            if (static_cast<long long>(position) > shown_) {
                shown_ = position;
                progress_.position(position);
            }
        }
        return 0;
    }

    bool matches(const Sha256Digest& expected) {
        Sha256Digest digest{};
        return hash_->finish(digest) && digest == expected;
    }

    void close() { file_.reset(); }

private:
    FileHandle file_;
    bool hashed_;
    double size_;
    std::optional<Sha256> hash_;
    double received_ = 0;
    double start_, end_;
    Progress& progress_;
    long long shown_ = -1;  // nothing shown yet
};

// Fetches url into destination, resuming after a dropped connection. The result names the
// file unless the server was never reached.
DownloadResult fetchResuming(const std::wstring& url, const std::wstring& fileName, Destination& destination,
                             Progress& progress) {
    std::wstring validator;  // of the answer the bytes on disk came from
    double expected = destination.sizeKnown() ? destination.size() : 0;
    const ULONGLONG deadline = deadlineFor(destination.sizeKnown() ? destination.size() : unnamedSizeLimit);
    bool reached = false;
    for (int attempt = 0;; ++attempt) {
        // Without a validator a resumed body could belong to another file: it starts over.
        const bool resuming = destination.received() > 0 && !validator.empty();
        if (destination.received() > 0 && !resuming) {
            if (const std::int32_t code = destination.startOver()) return failureOf(code, fileName);
        }
        std::optional<Transfer> transfer;
        const ResponseHead head = startRequest(
            transfer, url, resuming ? resumeHeaders(destination.received(), validator) : std::wstring(), deadline,
            progress);
        logAnswer(url, head, resuming ? destination.received() : 0);
        if (Failure proxy = proxyFailureOf(head); !proxy.ok()) return proxy;
        std::int32_t code = head.code;
        bool final = false;  // an answer, or a fault of ours, that another attempt would not change
        if (code == 0) {
            reached = true;
            const bool continues = resuming && head.status == 206 &&
                                   contentRangeStartsAt(head.contentRange, destination.received()) &&
                                   (head.validator.empty() || head.validator == validator);
            if (continues) {
                // The rest of the same file; the hash goes on over it.
            } else if (isSuccessStatus(head.status) && head.status != 206) {
                // A whole file: the first answer, or the server's answer that its copy changed.
                if (destination.received() > 0) code = destination.startOver();
                final = code != 0;
                validator = head.validator;
                if (!destination.sizeKnown()) {
                    expected = parseContentLength(head.contentLength);
                } else if (!head.contentLength.empty() && parseContentLength(head.contentLength) != expected) {
                    // Not the file the signed version file names: not one byte of it is read.
                    code = hashMismatchCode;
                    final = true;
                }
            } else {
                code = statusErrorCode(head.status);
                // A range the server could not give is asked for whole at the next attempt.
                if (resuming) {
                    validator.clear();
                } else {
                    final = true;
                }
                if (code == 0) code = truncatedDownload;
            }
            if (code == 0) {
                code = readBody(*transfer, progress, [&](const char* bytes, DWORD count) {
                    const std::int32_t written = destination.append(bytes, count, expected);
                    final = written != 0;
                    return written;
                });
                if (code == 0 && destination.received() < expected) code = truncatedDownload;
            }
        }
        logBody(url, destination.received(), code);
        if (code == 0) return {};
        // Only a connection that broke after the server first answered is tried again; a server
        // never reached is reported at once, as are a 404, a full disk or a Cancel.
        const bool retry = reached && !final && code != ABORTED && attempt < resumeAttempts && GetTickCount64() < deadline;
        if (!retry) return failureOf(code, reached ? fileName : L"");
        if (!pauseUnlessCancelled(resumePauseMs(attempt + 1), progress)) return Failure::special(Special::Aborted, fileName);
    }
}
}  // namespace

void setConnectionTest(ConnectionTest test) { connectionTest = test ? test : systemConnectionTest; }

DownloadResult downloadFile(const std::wstring& urlPart, const std::wstring& folder, const std::wstring& fileName,
                            double progressStart, double progressEnd, Progress& progress,
                            const Sha256Digest* expectedSha256, double expectedSize) {
    if (!connectionTest()) return Failure::special(Special::NoConnection, fileName);

    const std::wstring url = urlOf(urlPart, fileName);
    deleteUrlCacheEntry(url.c_str());

    // The body goes to a name beside the destination, which is replaced only once the
    // whole body is on disk: a failed download never leaves a partial file or spoils an old one.
    const std::wstring target = folder + fileName;
    const std::wstring partial = target + L".part";
    FileHandle file(CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file) return failureOf(lastError(), fileName);
    Destination destination(std::move(file), expectedSha256 != nullptr, expectedSize, progressStart, progressEnd,
                            progress);
    DownloadResult result = destination.ready() ? fetchResuming(url, fileName, destination, progress)
                                                : Failure::special(Special::HashMismatch, fileName);
    if (result.ok() && expectedSha256) {
        const bool matches = destination.matches(*expectedSha256);
        logLine(L"SHA-256 of " + fileName + (matches ? L" matches" : L" does not match") + L" the signed version file");
        if (!matches) result = Failure::special(Special::HashMismatch, fileName);
    }
    destination.close();
    if (result.ok() && !MoveFileExW(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        result = failureOf(lastError(), fileName);
    }
    if (!result.ok()) DeleteFileW(partial.c_str());
    return result;
}

DownloadResult downloadToInstallFolder(const std::wstring& urlPart, const std::wstring& fileName, double progressStart,
                                       double progressEnd, Progress& progress, const Sha256Digest* expectedSha256,
                                       double expectedSize) {
    return downloadFile(urlPart, productConfig().installFolder, fileName, progressStart, progressEnd, progress,
                        expectedSha256, expectedSize);
}

bool fileHasSha256(const std::wstring& path, const Sha256Digest& digest) {
    // Nobody writes to it while it is read.
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    Sha256 hash;
    if (!file || !hash.ready()) return false;
    std::vector<char> buffer(65536);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return false;
        if (read == 0) break;
        if (!hash.update(buffer.data(), read)) return false;
    }
    Sha256Digest actual{};
    return hash.finish(actual) && actual == digest;
}

DownloadResult downloadText(const std::wstring& urlPart, const std::wstring& fileName, std::wstring& text) {
    const std::wstring url = urlOf(urlPart, fileName);
    deleteUrlCacheEntry(url.c_str());
    text.clear();
    if (!connectionTest()) return Failure::special(Special::NoConnection, fileName);

    // A few hundred bytes before any window exists: nothing to show, nothing to cancel.
    NoWindowProgress quiet;
    std::optional<Transfer> transfer;
    const ResponseHead head = startRequest(transfer, url, L"", deadlineFor(textLimit), quiet);
    logAnswer(url, head, 0);
    if (Failure proxy = proxyFailureOf(head); !proxy.ok()) return proxy;
    if (head.code != 0) return failureOf(head.code, L"");
    std::int32_t code = statusErrorCode(head.status);
    const double expected = parseContentLength(head.contentLength);
    if (code == 0 && expected > textLimit) code = tooLarge;
    if (code == 0) {
        code = readBody(*transfer, quiet, [&text](const char* bytes, DWORD count) {
            if (text.size() + count > textLimit) return tooLarge;
            // The file is ASCII; any other byte becomes the character of the same number.
            for (DWORD i = 0; i < count; ++i) text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i])));
            return std::int32_t{0};
        });
    }
    if (code == 0 && text.size() < expected) code = truncatedDownload;
    logBody(url, static_cast<double>(text.size()), code);
    if (code != 0) text.clear();
    return failureOf(code, fileName);
}

VersionCheck checkVersionFile(const std::wstring& body, const std::wstring& signature, const P256PublicKey& key) {
    VersionCheck check;
    // One character per byte: the bytes are those that were signed.
    std::string signedBytes(body.size(), '\0');
    for (std::size_t i = 0; i < body.size(); ++i) signedBytes[i] = static_cast<char>(body[i] & 0xFF);
    std::vector<std::uint8_t> der(signature.size());
    for (std::size_t i = 0; i < signature.size(); ++i) der[i] = static_cast<std::uint8_t>(signature[i] & 0xFF);
    P256Signature raw{};
    if (!derSignatureToRaw(der.data(), der.size(), raw)) return check;
    if (verifySignature(signedBytes, raw, key) != SignatureCheck::Valid) return check;
    // A signed file that does not name the archive's hash and size leaves the archive unchecked: refused.
    if (!extractSha256(body, check.archiveSha256) || !extractArchiveSize(body, check.archiveSize) ||
        !extractNotesSha256(body, check.notesSha256)) {
        return check;
    }
    check.verified = true;
    check.versionText = extractVersionText(body);
    return check;
}

VersionCheck fetchServerVersion() {
    std::wstring body;
    const DownloadResult file = downloadText(versionFileFolder, versionFileName, body);
    if (!file.ok()) {
        VersionCheck failed;
        failed.download = file;
        return failed;
    }
    std::wstring signature;
    P256PublicKey key{};
    VersionCheck check;
    if (downloadText(versionFileFolder, std::wstring(versionFileName) + L".sig", signature).ok() &&
        builtInSigningKey(key)) {
        check = checkVersionFile(body, signature, key);
    }
    check.download = file;
    return check;
}
