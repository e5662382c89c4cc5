// System functions reached by name in libraries loaded by full path from the System folder,
// the executable's resources, and the system's message texts.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>

class TextTable;

struct GdiTable {
    HMODULE module = nullptr;
    COLORREF(WINAPI* SetTextColor)(HDC, COLORREF) = nullptr;
    int(WINAPI* SetBkMode)(HDC, int) = nullptr;
    HGDIOBJ(WINAPI* SelectObject)(HDC, HGDIOBJ) = nullptr;
    BOOL(WINAPI* MoveToEx)(HDC, int, int, LPPOINT) = nullptr;
    BOOL(WINAPI* LineTo)(HDC, int, int) = nullptr;
    HGDIOBJ(WINAPI* GetStockObject)(int) = nullptr;
    int(WINAPI* GetDeviceCaps)(HDC, int) = nullptr;
    HBRUSH(WINAPI* CreateSolidBrush)(COLORREF) = nullptr;
    HFONT(WINAPI* CreateFontIndirectW)(const LOGFONTW*) = nullptr;
};

struct CacheEntryDeleter {
    HMODULE module = nullptr;
    BOOL(WINAPI* DeleteUrlCacheEntry)(LPCWSTR) = nullptr;
};

struct ResourceFunctions {
    HMODULE module = nullptr;
    HRSRC(WINAPI* FindResourceW)(HMODULE, LPCWSTR, LPCWSTR) = nullptr;
    HGLOBAL(WINAPI* LoadResource)(HMODULE, HRSRC) = nullptr;
    DWORD(WINAPI* SizeofResource)(HMODULE, HRSRC) = nullptr;
    LPVOID(WINAPI* LockResource)(HGLOBAL) = nullptr;
    BOOL(WINAPI* FreeResource)(HGLOBAL) = nullptr;
};

// Filled before the entry runs; never unloaded.
const GdiTable& gdiTable();
const CacheEntryDeleter& cacheEntryDeleter();
// Filled on the first resource access; the number of times it was filled, for tests.
const ResourceFunctions& resourceFunctions();
int resourceTableLoadCount();

// Wrappers with the signatures of the system functions; a missing entry behaves as a missing resource.
HRSRC findResource(HMODULE module, LPCWSTR name, LPCWSTR type);
HGLOBAL loadResource(HMODULE module, HRSRC resource);
DWORD sizeofResource(HMODULE module, HRSRC resource);
LPVOID lockResource(HGLOBAL loaded);
BOOL freeResource(HGLOBAL loaded);

// Calls that skip themselves when the entry is missing.
void deleteUrlCacheEntry(const wchar_t* url);

// The bytes of a resource of the executable; false when it is missing or unreadable. The bytes
// stay valid for the life of the process.
bool readResourceBytes(int id, int type, const void** data, DWORD* size);

// The text resource (type 1000) with the given id as UTF-16 units, byte-order mark included;
// empty when the executable has no such resource.
std::wstring loadTextResource(int id);
// Parses the executable's text table resource into the table.
void loadFromResource(TextTable& table);

// The system message table's description of the code, unchanged (trailing line break included);
// empty when it has none.
std::wstring systemMessageText(std::int32_t code);
