// HTTP(S) downloads from the download server with WinINet.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

inline constexpr std::int32_t ABORTED = static_cast<std::int32_t>(0x80004004);  // E_ABORT

// Set by Installer::cancel; cleared by downloadFile when it starts, tested after every read.
extern bool downloadAbortFlag;

// Whether the machine reports an internet connection. Tests replace it.
using ConnectionTest = bool (*)();
void setConnectionTest(ConnectionTest test);

// Streams root + urlPart + fileName into folder + fileName, moving the bar from progressStart
// to progressEnd. 0 when the whole body was stored; ABORTED; -1 without a connection; else
// the error code (already shown to the user). Nothing partial is left under the file's name.
std::int32_t downloadFile(const std::wstring& urlPart, const std::wstring& folder, const std::wstring& fileName,
                          double progressStart, double progressEnd, HWND progressBar);

std::int32_t downloadToInstallFolder(const std::wstring& urlPart, const std::wstring& fileName,
                                     double progressStart, double progressEnd, HWND progressBar);

// Reads a small file into text (one character per byte); true when the whole body was read.
bool downloadText(const std::wstring& urlPart, const std::wstring& fileName, std::wstring& text);
