// Rules for the registry's string values that need no Windows call.
#pragma once
#include <cstdint>
#include <string>

// Value types as the registry numbers them.
inline constexpr unsigned long registryTypeString = 1;          // REG_SZ
inline constexpr unsigned long registryTypeExpandString = 2;    // REG_EXPAND_SZ
inline constexpr unsigned long registryTypeDword = 4;           // REG_DWORD

// A string is read into a buffer of this many UTF-16 units, its terminating NUL included.
inline constexpr unsigned long registryStringBufferUnits = 512;

// Turns the raw data of a string value (UTF-16LE bytes) into text. Accepts REG_SZ and
// REG_EXPAND_SZ (left unexpanded); a size of 0 gives an empty text; otherwise the size must
// be even, fit the buffer and end with a NUL unit. The text ends at its first NUL unit.
// False (and an empty text) for anything else.
bool decodeRegistryString(unsigned long type, const unsigned char* data, unsigned long size, std::wstring& out);

// The command that the Uninstall entry runs. The path is quoted: unquoted, a path with
// spaces lets Windows try "C:\Program.exe" first, with administrator rights.
std::wstring quotedUninstallString(const std::wstring& installFolder, const std::wstring& selfFileName);

// The command a deployment tool runs to remove the product with no window: the Uninstall entry's
// command with -silent, whose exit code reports the result.
std::wstring quietUninstallString(const std::wstring& installFolder, const std::wstring& selfFileName);

// The Uninstall entry's InstallDate: YYYYMMDD, as Windows shows it in the list of programs.
std::wstring installDateText(unsigned year, unsigned month, unsigned day);

// The Uninstall entry's EstimatedSize: kilobytes, rounded up so that a small installation is not
// shown as 0, and held at the largest DWORD.
std::uint32_t estimatedSizeKb(std::uint64_t bytes);
