// HTTP(S) downloads from the download server with WinINet, and the version check. Nothing here
// shows a box: every failure comes back as a result for the window to report.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "common/digests.h"
#include "common/failure.h"
#include "download/transfer_win.h"

// A download's result: ok, or the failure with the file's name (empty when the server was never
// reached): a Win32 or WinINet error, or Aborted, NoConnection, HashMismatch, TimedOut.
using DownloadResult = Failure;

// Whether the machine reports an internet connection. Tests replace it.
using ConnectionTest = bool (*)();
void setConnectionTest(ConnectionTest test);

// Streams root + urlPart + fileName into folder + fileName, reporting positions from progressStart
// to progressEnd; it waits for the network through progress, which also stops it with a Cancel
// (Aborted). With expectedSha256 the body is hashed as it arrives and kept only when it matches.
// With expectedSize (else unknown: below 0) a Content-Length of another size, or a body running
// past it, fails at once (HashMismatch); an unknown size is cut off at unnamedSizeLimit. The whole
// download ends (TimedOut) at a deadline that grows with that size. Nothing partial or unverified
// is left under the file's name.
DownloadResult downloadFile(const std::wstring& urlPart, const std::wstring& folder, const std::wstring& fileName,
                            double progressStart, double progressEnd, Progress& progress,
                            const Sha256Digest* expectedSha256 = nullptr, double expectedSize = -1);

DownloadResult downloadToInstallFolder(const std::wstring& urlPart, const std::wstring& fileName, double progressStart,
                                       double progressEnd, Progress& progress,
                                       const Sha256Digest* expectedSha256 = nullptr, double expectedSize = -1);

// Whether the file at path holds exactly the bytes of that SHA-256.
bool fileHasSha256(const std::wstring& path, const Sha256Digest& digest);

// Reads a small file into text (one character per byte); text is empty after a failure.
DownloadResult downloadText(const std::wstring& urlPart, const std::wstring& fileName, std::wstring& text);

struct VersionCheck {
    DownloadResult download;     // of the version file itself
    bool verified = false;       // signed by the release key and naming the archive's SHA-256 and size
    std::wstring versionText;    // the offered version (empty when the file names none)
    Sha256Digest archiveSha256{};
    double archiveSize = 0;      // in bytes
    std::optional<Sha256Digest> notesSha256;  // of the release notes; none when the release has none
};

// Reads the server's version file and its signature (the version file's name + ".sig", DER ECDSA
// P-256 over the file's exact bytes), and checks both against the key built into the executable.
VersionCheck fetchServerVersion();

// The check of fetchServerVersion on bytes already fetched (one character per byte).
VersionCheck checkVersionFile(const std::wstring& body, const std::wstring& signature, const P256PublicKey& key);
