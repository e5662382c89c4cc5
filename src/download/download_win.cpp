#include "download/download_win.h"

#include <commctrl.h>
#include <wininet.h>

#include <string>
#include <vector>

#include "common/product_config.h"
#include "download/download_rules.h"
#include "system/crypto_win.h"
#include "system/handles_win.h"
#include "system/message_pump_win.h"
#include "system/system_functions_win.h"

namespace {
constexpr DWORD bufferSize = 65536;

// Reported when the connection ends before the announced Content-Length has arrived. A system
// code, so that the box can describe it ("An unexpected network error occurred.").
constexpr std::int32_t truncatedDownload = ERROR_UNEXP_NET_ERR;

bool systemConnectionTest() {
    DWORD flags = 0;
    const WinInetTable& net = winInet();
    return net.InternetGetConnectedState && net.InternetGetConnectedState(&flags, 0) != FALSE;
}

ConnectionTest connectionTest = systemConnectionTest;

std::int32_t lastError() { return static_cast<std::int32_t>(GetLastError()); }

// The root handle and the URL handle of one request; members close in reverse order,
// so the URL handle goes before the root handle.
struct Request {
    InternetHandle root;
    InternetHandle url;
};

// Opens the URL; 0 or the code (a failure here names no file: the server was not reached).
std::int32_t openRequest(const std::wstring& url, Request& request) {
    const WinInetTable& net = winInet();
    if (!net.complete()) return ERROR_MOD_NOT_FOUND;
    request.root.reset(net.InternetOpenW(L"", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!request.root) return lastError();
    // The server is asked every time: an answer from WinINet's cache could be a stale version
    // file or archive, and nothing of ours is written into that cache.
    constexpr DWORD noCache = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
    request.url.reset(net.InternetOpenUrlW(request.root.get(), url.c_str(), nullptr, 0, noCache, 0));
    return request.url ? 0 : lastError();
}

// 0 for a 2xx response, else the code that stands for the status (or the query's error).
std::int32_t responseStatusError(HINTERNET url) {
    DWORD status = 0;
    DWORD length = sizeof status;
    if (!winInet().HttpQueryInfoW(url, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, nullptr)) {
        return lastError();
    }
    return statusErrorCode(status);
}

// The announced body length, 0 when absent or unusable.
double expectedLength(HINTERNET url) {
    wchar_t header[64];
    DWORD length = sizeof header;
    if (!winInet().HttpQueryInfoW(url, HTTP_QUERY_CONTENT_LENGTH, header, &length, nullptr)) return 0;
    return parseContentLength(std::wstring(header, length / sizeof(wchar_t)));
}

std::wstring urlOf(const std::wstring& urlPart, const std::wstring& fileName) {
    return productConfig().downloadRoot + urlPart + fileName;
}

// Checks the status, then hands each chunk of the body to take(bytes, count, received, expected),
// which returns 0 to go on or a code to stop with. 0, ABORTED or an error code; a body shorter
// than its announced length is a failure.
template <typename Take>
std::int32_t readResponse(HINTERNET url, const CancelToken* cancel, bool pump, Take take) {
    if (const std::int32_t status = responseStatusError(url)) return status;
    std::vector<char> buffer(bufferSize);
    const double expected = expectedLength(url);
    double received = 0;
    for (;;) {
        DWORD read = 0;
        if (!winInet().InternetReadFile(url, buffer.data(), bufferSize, &read)) return lastError();
        if (cancel && cancel->cancelled()) return ABORTED;
        if (read == 0) break;
        received += read;
        if (const std::int32_t stop = take(buffer.data(), read, received, expected)) return stop;
        // The window repaints, shows the bar and takes a Cancel between reads.
        if (pump) pumpMessages();
    }
    return received < expected ? truncatedDownload : 0;
}

// Opens the URL and reads its response; the result names the file unless the server was not reached.
template <typename Take>
DownloadResult fetch(const std::wstring& url, const std::wstring& fileName, const CancelToken* cancel, bool pump,
                     Take take) {
    Request request;
    if (const std::int32_t code = openRequest(url, request)) return {code, L""};
    const std::int32_t code = readResponse(request.url.get(), cancel, pump, take);
    return {code, code == 0 ? L"" : fileName};
}
}  // namespace

void setConnectionTest(ConnectionTest test) { connectionTest = test ? test : systemConnectionTest; }

DownloadResult downloadFile(const std::wstring& urlPart, const std::wstring& folder, const std::wstring& fileName,
                            double progressStart, double progressEnd, HWND progressBar, CancelToken* cancel,
                            const Sha256Digest* expectedSha256) {
    if (!connectionTest()) return {noConnection, fileName};
    if (cancel) cancel->reset();

    const std::wstring url = urlOf(urlPart, fileName);
    deleteUrlCacheEntry(url.c_str());

    // The body goes to a name beside the destination, which is replaced only once the
    // whole body is on disk: a failed download never leaves a partial file or spoils an old one.
    const std::wstring destination = folder + fileName;
    const std::wstring partial = destination + L".part";
    FileHandle file(CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file) return {lastError(), fileName};

    Sha256 hash;
    if (expectedSha256 && !hash.ready()) return {hashMismatch, fileName};
    DownloadResult result = fetch(url, fileName, cancel, progressBar != nullptr,
                                  [&](const char* bytes, DWORD count, double received, double expected) -> std::int32_t {
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes, count, &written, nullptr)) return lastError();
        if (expectedSha256 && !hash.update(bytes, count)) return hashMismatch;
        if (expected != 0 && progressBar) {
            SendMessageW(progressBar, PBM_SETPOS, progressPosition(progressStart, progressEnd, received, expected), 0);
        }
        return 0;
    });
    file.reset();

    Sha256Digest digest{};
    if (result.ok() && expectedSha256 && (!hash.finish(digest) || digest != *expectedSha256)) {
        result = {hashMismatch, fileName};
    }
    if (result.ok() && !MoveFileExW(partial.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        result = {lastError(), fileName};
    }
    if (!result.ok()) DeleteFileW(partial.c_str());
    return result;
}

DownloadResult downloadToInstallFolder(const std::wstring& urlPart, const std::wstring& fileName, double progressStart,
                                       double progressEnd, HWND progressBar, CancelToken* cancel,
                                       const Sha256Digest* expectedSha256) {
    return downloadFile(urlPart, productConfig().installFolder, fileName, progressStart, progressEnd, progressBar,
                        cancel, expectedSha256);
}

DownloadResult downloadText(const std::wstring& urlPart, const std::wstring& fileName, std::wstring& text) {
    const std::wstring url = urlOf(urlPart, fileName);
    deleteUrlCacheEntry(url.c_str());
    text.clear();
    if (!connectionTest()) return {noConnection, fileName};

    const DownloadResult result = fetch(url, fileName, nullptr, false, [&text](const char* bytes, DWORD count, double,
                                                                              double) {
        // The file is ASCII; any other byte becomes the character of the same number.
        for (DWORD i = 0; i < count; ++i) text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i])));
        return std::int32_t{0};
    });
    if (!result.ok()) text.clear();
    return result;
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
    // A signed file that does not name the archive's hash leaves the archive unchecked: refused.
    if (!extractSha256(body, check.archiveSha256)) return check;
    check.verified = true;
    check.versionText = extractVersionText(body);
    return check;
}

VersionCheck fetchServerVersion() {
    std::wstring body;
    const DownloadResult file = downloadText(L"config/", L"lista_updater.xml", body);
    if (!file.ok()) {
        VersionCheck failed;
        failed.download = file;
        return failed;
    }
    std::wstring signature;
    P256PublicKey key{};
    VersionCheck check;
    if (downloadText(L"config/", L"lista_updater.xml.sig", signature).ok() && builtInSigningKey(key)) {
        check = checkVersionFile(body, signature, key);
    }
    check.download = file;
    return check;
}
