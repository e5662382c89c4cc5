// Entry points looked up by name must be called with the system's calling convention. A pointer
// type declared without WINAPI still compiles and even works in a 64-bit build, where there is
// only one convention; in the 32-bit build each call would then leave the stack unbalanced.
// Function pointers of different conventions are different types to the 32-bit compiler, so the
// slip is caught at compile time.
#pragma once
#include <windows.h>

#include <type_traits>

template <typename Function>
struct IsWinapiFunction : std::false_type {};
template <typename Result, typename... Arguments>
struct IsWinapiFunction<Result(WINAPI*)(Arguments...)> : std::true_type {};

template <typename Function>
inline constexpr bool isWinapiFunction = IsWinapiFunction<Function>::value;
