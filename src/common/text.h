// Text and path helpers shared by every layer; no Windows call.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Start positions of the non-overlapping occurrences of pattern, ascending.
std::vector<std::size_t> findAll(const std::wstring& text, const std::wstring& pattern);

// Every occurrence of from replaced by to; the search goes on behind each inserted
// text, so a replacement that contains from still finishes.
std::wstring replaceAll(std::wstring text, const std::wstring& from, const std::wstring& to);

// Maps only the ASCII letters A to Z to lower case; every other code unit stays.
std::wstring lowerAscii(std::wstring text);

// Space, tab and the line-break family (\n \v \f \r).
bool isBlank(wchar_t c);

// The part of a path after its last backslash or slash; a bare name is unchanged.
std::wstring fileNamePart(const std::wstring& path);

// The one case rule for Windows paths: "/" as "\", ASCII letters lower-cased (what the file
// system folds for the names this program handles), no trailing backslashes.
std::wstring pathCompareKey(const std::wstring& path);

// Whether path lies inside folder (or a subfolder of it), compared by pathCompareKey; a folder
// given with or without its trailing backslash means the same.
bool isInsideFolder(const std::wstring& path, const std::wstring& folder);

// The body of the error box: message + "(0x" + the code as lowercase hexadecimal (a negative
// code as its 32-bit two's complement) + "): " + the last element of the path. An empty message
// (the system has no description for the code) becomes "unknown error".
std::wstring errorBoxBody(const std::wstring& systemMessage, std::int32_t code, const std::wstring& path);
