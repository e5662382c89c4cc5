// A Version from its text, as the tests write them.
#pragma once
#include <string>

#include "common/version.h"

inline Version version(const std::wstring& text) {
    Version v;
    v.assign(text);
    return v;
}
