// Values of the IsInstalled record.
#pragma once
#include <cstdint>

inline constexpr std::int32_t NOT_RECORDED = 5;  // no installation recorded (value absent or unreadable)
inline constexpr std::uint32_t installStarted = 1;
inline constexpr std::uint32_t installCompleted = 3;
