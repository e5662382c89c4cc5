#include "system/resources_win.h"

#include "common/resource_ids.h"
#include "common/text.h"
#include "localization/text_table.h"

namespace {
ResourceFunctions theResourceFunctions;
int resourceLoads = 0;

void loadResourceFunctions() {
    ++resourceLoads;
    ResourceFunctions& table = theResourceFunctions;
    table.module = loadSystemLibrary(L"\\kernel32.dll");
#define FLASHDECK_LOOK_UP(name) lookUp(table.module, #name, table.name);
    FLASHDECK_RESOURCE_FUNCTIONS(FLASHDECK_LOOK_UP)
#undef FLASHDECK_LOOK_UP
}

template <typename Function>
Function resourceEntry(Function ResourceFunctions::*entry) {
    if (!(theResourceFunctions.*entry)) loadResourceFunctions();
    return theResourceFunctions.*entry;
}
}  // namespace

const ResourceFunctions& resourceFunctions() { return theResourceFunctions; }
int resourceTableLoadCount() { return resourceLoads; }

HRSRC findResource(HMODULE module, LPCWSTR name, LPCWSTR type) {
    auto call = resourceEntry(&ResourceFunctions::FindResourceW);
    return call ? call(module, name, type) : nullptr;
}

HGLOBAL loadResource(HMODULE module, HRSRC resource) {
    auto call = resourceEntry(&ResourceFunctions::LoadResource);
    return call ? call(module, resource) : nullptr;
}

DWORD sizeofResource(HMODULE module, HRSRC resource) {
    auto call = resourceEntry(&ResourceFunctions::SizeofResource);
    return call ? call(module, resource) : 0;
}

LPVOID lockResource(HGLOBAL loaded) {
    auto call = resourceEntry(&ResourceFunctions::LockResource);
    return call ? call(loaded) : nullptr;
}

BOOL freeResource(HGLOBAL loaded) {
    auto call = resourceEntry(&ResourceFunctions::FreeResource);
    return call ? call(loaded) : FALSE;
}

bool readResourceBytes(int id, int type, const void** data, DWORD* size) {
    HRSRC found = findResource(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type));
    if (!found) return false;
    HGLOBAL loaded = loadResource(nullptr, found);
    *size = sizeofResource(nullptr, found);
    *data = loaded ? lockResource(loaded) : nullptr;
    // Resources of the executable stay mapped for the life of the process, so the bytes stay valid.
    return *data != nullptr;
}

std::wstring loadTextResource(int id) {
    const void* data = nullptr;
    DWORD size = 0;
    if (!readResourceBytes(id, TEXT_TABLE_TYPE, &data, &size)) return std::wstring();
    return decodeUtf16Le(static_cast<const std::uint8_t*>(data), size);
}

void loadFromResource(TextTable& table) { table.parse(loadTextResource(TEXT_TABLE_ID)); }
