// HTTP(S) downloads from the download server with WinINet, and the version check. Nothing here
// shows a box: every failure comes back as a result for the window to report.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

inline constexpr std::int32_t ABORTED = static_cast<std::int32_t>(0x80004004);  // E_ABORT
inline constexpr std::int32_t noConnection = -1;

// A cancellation request handed to a download by its owner (the install sequence), tested
// after every read.
class CancelToken {
public:
    void cancel() { cancelled_ = true; }
    void reset() { cancelled_ = false; }
    bool cancelled() const { return cancelled_; }

private:
    bool cancelled_ = false;
};

struct DownloadResult {
    // 0 when the whole body arrived; ABORTED; noConnection; else the system or WinINet code.
    std::int32_t code = 0;
    // The name the error box shows: the file's, or empty when the server was never reached.
    std::wstring shownName;
    bool ok() const { return code == 0; }
};

// Whether the machine reports an internet connection. Tests replace it.
using ConnectionTest = bool (*)();
void setConnectionTest(ConnectionTest test);

// Streams root + urlPart + fileName into folder + fileName, moving the bar from progressStart
// to progressEnd. A cancel token is cleared when the download starts. Nothing partial is left
// under the file's name.
DownloadResult downloadFile(const std::wstring& urlPart, const std::wstring& folder, const std::wstring& fileName,
                            double progressStart, double progressEnd, HWND progressBar, CancelToken* cancel = nullptr);

DownloadResult downloadToInstallFolder(const std::wstring& urlPart, const std::wstring& fileName, double progressStart,
                                       double progressEnd, HWND progressBar, CancelToken* cancel = nullptr);

// Reads a small file into text (one character per byte); text is empty after a failure.
DownloadResult downloadText(const std::wstring& urlPart, const std::wstring& fileName, std::wstring& text);

struct VersionCheck {
    DownloadResult download;
    std::wstring versionText;  // the offered version; empty when the file names none
};

// Reads the server's version file.
VersionCheck fetchServerVersion();
