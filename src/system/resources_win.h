// The executable's own resources: the extractor, the logo, the signing key and the text table.
// The resource functions are reached through a table filled on the first access.
#pragma once
#include <windows.h>

#include <string>

#include "system/system_functions_win.h"

class TextTable;

#define FLASHDECK_RESOURCE_FUNCTIONS(X) X(FindResourceW) X(LoadResource) X(SizeofResource) X(LockResource) X(FreeResource)

struct ResourceFunctions {
    HMODULE module = nullptr;
    FLASHDECK_RESOURCE_FUNCTIONS(FLASHDECK_DECLARE_ENTRY)
};

// Filled on the first resource access; the number of times it was filled, for tests.
const ResourceFunctions& resourceFunctions();
int resourceTableLoadCount();

// Wrappers with the signatures of the system functions; a missing entry behaves as a missing resource.
HRSRC findResource(HMODULE module, LPCWSTR name, LPCWSTR type);
HGLOBAL loadResource(HMODULE module, HRSRC resource);
DWORD sizeofResource(HMODULE module, HRSRC resource);
LPVOID lockResource(HGLOBAL loaded);
BOOL freeResource(HGLOBAL loaded);

// The bytes of a resource of the executable; false when it is missing or unreadable. The bytes
// stay valid for the life of the process.
bool readResourceBytes(int id, int type, const void** data, DWORD* size);

// The text resource (type 1000) with the given id as UTF-16 units, byte-order mark included;
// empty when the executable has no such resource.
std::wstring loadTextResource(int id);
// Parses the executable's text table resource into the table.
void loadFromResource(TextTable& table);
