#include "localization/text_resource_win.h"

#include <cstdint>

#include "localization/text_table.h"
#include "startup/system_functions_win.h"

namespace {
constexpr int kTextResourceType = 1000;
constexpr int kTextTableId = 1001;
}  // namespace

std::wstring loadTextResource(int id) {
    HRSRC found = findResource(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(kTextResourceType));
    if (!found) return std::wstring();
    HGLOBAL loaded = loadResource(nullptr, found);
    if (!loaded) return std::wstring();
    const DWORD size = sizeofResource(nullptr, found);
    const void* data = lockResource(loaded);
    std::wstring text = data ? decodeUtf16Le(static_cast<const std::uint8_t*>(data), size) : std::wstring();
    freeResource(loaded);
    return text;
}

void TextTable::loadFromResource() { parse(loadTextResource(kTextTableId)); }
