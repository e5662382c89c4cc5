// HTTP(S) downloads from the download server with WinINet, and the version check. Nothing here
// shows a box: every failure comes back as a result for the window to report.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "common/digests.h"
#include "download/transfer_win.h"

inline constexpr std::int32_t noConnection = -1;

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

// Reported when the body's SHA-256 is not the one the signed version file names.
inline constexpr std::int32_t hashMismatch = 13;  // ERROR_INVALID_DATA: "The data is invalid."

// Streams root + urlPart + fileName into folder + fileName, reporting positions from progressStart
// to progressEnd; it waits for the network through progress, which also stops it with a Cancel
// (ABORTED). With expectedSha256 the body is hashed as it arrives and kept only when it matches.
// Nothing partial or unverified is left under the file's name.
DownloadResult downloadFile(const std::wstring& urlPart, const std::wstring& folder, const std::wstring& fileName,
                            double progressStart, double progressEnd, Progress& progress,
                            const Sha256Digest* expectedSha256 = nullptr);

DownloadResult downloadToInstallFolder(const std::wstring& urlPart, const std::wstring& fileName, double progressStart,
                                       double progressEnd, Progress& progress,
                                       const Sha256Digest* expectedSha256 = nullptr);

// Reads a small file into text (one character per byte); text is empty after a failure.
DownloadResult downloadText(const std::wstring& urlPart, const std::wstring& fileName, std::wstring& text);

struct VersionCheck {
    DownloadResult download;     // of the version file itself
    bool verified = false;       // signed by the release key and naming the archive's SHA-256
    std::wstring versionText;    // the offered version (empty when the file names none)
    Sha256Digest archiveSha256{};
};

// Reads the server's version file and its signature (the version file's name + ".sig", DER ECDSA
// P-256 over the file's exact bytes), and checks both against the key built into the executable.
VersionCheck fetchServerVersion();

// The check of fetchServerVersion on bytes already fetched (one character per byte).
VersionCheck checkVersionFile(const std::wstring& body, const std::wstring& signature, const P256PublicKey& key);
