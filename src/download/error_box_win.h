// The message box for a system or WinINet error code.
#pragma once
#include <cstdint>
#include <string>

void showErrorBox(std::int32_t code, std::wstring path);

// The system message table's description of the code, unchanged; empty when it has none.
std::wstring systemMessageText(std::int32_t code);
