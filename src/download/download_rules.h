// Arithmetic, text and signature handling of downloads that needs no Windows call.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "common/digests.h"

// Bar position after received of expected bytes, moving from start to end:
// received / expected, times (end - start), plus start, truncated toward zero.
// Values outside the unsigned range are clamped (the division by an absent length gives start).
unsigned progressPosition(double start, double end, double received, double expected);

// The value of a Content-Length header: optional leading blanks, decimal digits, optional
// trailing blanks. Anything else, or a value above 2147483647, counts as absent (0).
double parseContentLength(const std::wstring& header);

// The text between the first "<version>" and the next "</version>" (to the end when that is
// missing). Without "<version>" the result is empty: no version is offered.
std::wstring extractVersionText(const std::wstring& body);

// True for the 2xx statuses.
bool isSuccessStatus(unsigned status);

// The error code that a download reports for an HTTP status: 0 for 2xx; 2 (file not found)
// for 404 and 410; 5 (access denied) for 401, 403 and 407; else 58 (the server cannot perform
// the requested operation). Only system codes are used, so the error box has a text for each.
std::int32_t statusErrorCode(unsigned status);

// The request headers that ask for the rest of a body from offset on, only while the server's
// copy is still the one the validator (an ETag or a Last-Modified date) names.
std::wstring resumeHeaders(double offset, const std::wstring& validator);

// Whether a Content-Range header ("bytes FIRST-LAST/TOTAL" or ".../*") starts exactly at offset.
bool contentRangeStartsAt(const std::wstring& header, double offset);

// The pause before the resume attempt-th (1, 2, 3 ...) after a dropped connection: it grows.
int resumePauseMs(int attempt);

// How many times a dropped archive download is resumed before it is reported.
inline constexpr int resumeAttempts = 3;

// The archive's SHA-256 from the version file: "<sha256>" + exactly 64 hexadecimal digits (either
// case) + "</sha256>". False for anything else: missing tags, another length, a non-hex digit.
bool extractSha256(const std::wstring& body, Sha256Digest& digest);

// The archive's size in bytes from the version file: "<size>" + decimal digits (at most 15) +
// "</size>". False for anything else.
bool extractArchiveSize(const std::wstring& body, double& size);

// The release notes' SHA-256: "<notes_sha256>" + 64 hexadecimal digits + "</notes_sha256>". A file
// without the element names no notes (true, digest empty); false when the element is malformed.
bool extractNotesSha256(const std::wstring& body, std::optional<Sha256Digest>& digest);

// A body of unknown size is cut off beyond this many bytes.
inline constexpr double unnamedSizeLimit = 32.0 * 1024 * 1024;

// The slowest link a whole download is given time for: half of 64 KB/s, so that a real
// connection of that speed completes with room to spare.
inline constexpr double slowestBytesPerSecond = 32.0 * 1024;

// How long a whole download of size bytes may take, attempts and pauses included: allowanceMs
// for connecting and stalls, plus the body's time at the slowest rate. A trickle ends with it.
double downloadDeadlineMs(double size, double allowanceMs);

// An ECDSA P-256 signature as OpenSSL writes it (DER: a SEQUENCE of the two INTEGERs r and s) as
// the 64 bytes r || s that CNG verifies. False for anything that is not exactly that.
bool derSignatureToRaw(const std::uint8_t* der, std::size_t size, P256Signature& raw);
