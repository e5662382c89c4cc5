// The message box for a system or WinINet error code.
#pragma once
#include <cstdint>
#include <string>

void showErrorBox(std::int32_t code, std::wstring path);
