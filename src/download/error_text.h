// The body of the error message box, built without any Windows call.
#pragma once
#include <cstdint>
#include <string>

// The part of a path after its last backslash or slash; a bare name is unchanged.
std::wstring lastPathElement(const std::wstring& path);

// Message + "(0x" + the code as lowercase hexadecimal (a negative code as its 32-bit
// two's complement) + "): " + the last element of the path. An empty message (the
// system has no description for the code) becomes "unknown error".
std::wstring errorBoxBody(const std::wstring& systemMessage, std::int32_t code, const std::wstring& path);
