#include "download/download_win.h"

#include <commctrl.h>
#include <wininet.h>

#include <utility>

#include "download/error_box_win.h"
#include "download/message_box_win.h"
#include "download/progress.h"
#include "localization/text_table.h"
#include "startup/product_config.h"
#include "startup/system_functions_win.h"
#include "system/handles_win.h"

bool downloadAbortFlag = false;

namespace {
constexpr DWORD bufferSize = 4096;

// Reported when the connection ends before the announced Content-Length has arrived. A system
// code, so that the box can describe it ("An unexpected network error occurred.").
constexpr std::int32_t truncatedDownload = ERROR_UNEXP_NET_ERR;

bool systemConnectionTest() {
    DWORD flags = 0;
    return InternetGetConnectedState(&flags, 0) != FALSE;
}

ConnectionTest connectionTest = systemConnectionTest;

bool hasConnection() {
    if (connectionTest()) return true;
    showMessageBox(text(L"error_no_network"), text(L"error_download"), MB_OK);
    return false;
}

// The root handle and the URL handle of one request; members close in reverse order,
// so the URL handle goes before the root handle.
struct Request {
    InternetHandle root;
    InternetHandle url;
};

// Opens the URL; on failure shows the box (without a file name) and returns the code.
std::int32_t openRequest(const std::wstring& url, Request& request) {
    request.root.reset(InternetOpenW(L"", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!request.root) {
        const std::int32_t code = static_cast<std::int32_t>(GetLastError());
        showErrorBox(code, L"");
        return code;
    }
    request.url.reset(InternetOpenUrlW(request.root.get(), url.c_str(), nullptr, 0, 0, 0));
    if (!request.url) {
        const std::int32_t code = static_cast<std::int32_t>(GetLastError());
        showErrorBox(code, L"");
        return code;
    }
    return 0;
}

// 0 for a 2xx response, else the code that stands for the status (or the query's error).
std::int32_t responseStatusError(HINTERNET url) {
    DWORD status = 0;
    DWORD length = sizeof status;
    if (!HttpQueryInfoW(url, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, nullptr)) {
        return static_cast<std::int32_t>(GetLastError());
    }
    return statusErrorCode(status);
}

// The announced body length, 0 when absent or unusable.
double expectedLength(HINTERNET url, char (&buffer)[bufferSize]) {
    DWORD length = bufferSize;
    if (!HttpQueryInfoW(url, HTTP_QUERY_CONTENT_LENGTH, buffer, &length, nullptr)) return 0;
    return parseContentLength(std::wstring(reinterpret_cast<const wchar_t*>(buffer), length / sizeof(wchar_t)));
}

std::wstring urlOf(const std::wstring& urlPart, const std::wstring& fileName) {
    return productConfig().downloadRoot + urlPart + fileName;
}

std::int32_t lastError() { return static_cast<std::int32_t>(GetLastError()); }

// Reads the body into the file, moving the bar; 0, ABORTED or an error code.
std::int32_t receiveBody(HINTERNET url, HANDLE file, double progressStart, double progressEnd, HWND progressBar) {
    char buffer[bufferSize];
    const double expected = expectedLength(url, buffer);
    double received = 0;
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(url, buffer, bufferSize, &read)) return lastError();
        if (downloadAbortFlag) return ABORTED;
        if (read == 0) break;
        received += read;
        DWORD written = 0;
        if (!WriteFile(file, buffer, read, &written, nullptr)) return lastError();
        if (expected != 0 && progressBar) {
            const unsigned position = progressPosition(progressStart, progressEnd, received, expected);
            SendMessageW(progressBar, PBM_SETPOS, position, 0);
        }
    }
    return received < expected ? truncatedDownload : 0;
}
}  // namespace

void setConnectionTest(ConnectionTest test) { connectionTest = test ? test : systemConnectionTest; }

std::int32_t downloadFile(const std::wstring& urlPart, const std::wstring& folder, const std::wstring& fileName,
                          double progressStart, double progressEnd, HWND progressBar) {
    if (!hasConnection()) return -1;
    downloadAbortFlag = false;

    const std::wstring url = urlOf(urlPart, fileName);
    deleteUrlCacheEntry(url.c_str());

    // The body goes to a name beside the destination, which is replaced only once the
    // whole body is on disk: a failed download never leaves a partial file or spoils an old one.
    const std::wstring destination = folder + fileName;
    const std::wstring partial = destination + L".part";
    FileHandle file(CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file) {
        const std::int32_t code = lastError();
        showErrorBox(code, fileName);
        return code;
    }

    std::int32_t result = 0;
    {
        Request request;
        result = openRequest(url, request);
        if (result != 0) {
            file.reset();
            DeleteFileW(partial.c_str());
            return result;
        }
        result = responseStatusError(request.url.get());
        if (result == 0) {
            result = receiveBody(request.url.get(), file.get(), progressStart, progressEnd, progressBar);
        }
    }
    file.reset();

    if (result == 0 && !MoveFileExW(partial.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        result = lastError();
    }
    if (result != 0) DeleteFileW(partial.c_str());
    if (result != 0 && result != ABORTED) showErrorBox(result, fileName);
    return result;
}

std::int32_t downloadToInstallFolder(const std::wstring& urlPart, const std::wstring& fileName,
                                     double progressStart, double progressEnd, HWND progressBar) {
    return downloadFile(urlPart, productConfig().installFolder, fileName, progressStart, progressEnd, progressBar);
}

bool downloadText(const std::wstring& urlPart, const std::wstring& fileName, std::wstring& text) {
    const std::wstring url = urlOf(urlPart, fileName);
    deleteUrlCacheEntry(url.c_str());
    if (!hasConnection()) return false;

    Request request;
    if (openRequest(url, request) != 0) return false;

    char buffer[bufferSize];
    std::int32_t result = responseStatusError(request.url.get());
    text.clear();
    if (result == 0) {
        const double expected = expectedLength(request.url.get(), buffer);
        double received = 0;
        for (;;) {
            DWORD read = 0;
            if (!InternetReadFile(request.url.get(), buffer, bufferSize, &read)) {
                result = lastError();
                break;
            }
            if (read == 0) break;
            received += read;
            // The file is ASCII; any other byte becomes the character of the same number.
            for (DWORD i = 0; i < read; ++i) text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(buffer[i])));
        }
        if (result == 0 && received < expected) result = truncatedDownload;
    }
    request.url.reset();
    request.root.reset();

    if (result != 0) {
        text.clear();
        showErrorBox(result, fileName);
        return false;
    }
    return true;
}
