// The descriptions of error codes, as the system and WinINet word them.
#pragma once
#include <cstdint>
#include <string>

// The description of a system or WinINet (12001-12175, from wininet.dll's own table) code,
// unchanged (trailing line break included); empty when there is none.
std::wstring systemMessageText(std::int32_t code);
