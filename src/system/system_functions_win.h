// System functions reached by name in libraries loaded by full path from the System folder,
// the executable's resources, and the system's message texts.
//
// Only DLLs that Windows always takes from the System folder (KnownDLLs) are in the import table;
// every other library is loaded here by its full path, and only when first used, which is after
// the entry has narrowed the DLL search order. Nothing is loaded during static initialisation.
#pragma once
#include <windows.h>
#include <bcrypt.h>
#include <commctrl.h>
#include <objidl.h>
#include <wininet.h>

#include <cstdint>
#include <string>

class TextTable;

// GDI+ through its flat C interface, declared here to keep the C++ wrapper headers out.
namespace Gdiplus {
class GpGraphics;
class GpImage;
}  // namespace Gdiplus
struct GdiplusStartupInput {
    UINT32 GdiplusVersion = 1;
    void* DebugEventCallback = nullptr;
    BOOL SuppressBackgroundThread = FALSE;
    BOOL SuppressExternalCodecs = FALSE;
};

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

struct WinInetTable {
    HMODULE module = nullptr;
    BOOL(WINAPI* InternetGetConnectedState)(LPDWORD, DWORD) = nullptr;
    HINTERNET(WINAPI* InternetOpenW)(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD) = nullptr;
    HINTERNET(WINAPI* InternetOpenUrlW)(HINTERNET, LPCWSTR, LPCWSTR, DWORD, DWORD, DWORD_PTR) = nullptr;
    BOOL(WINAPI* HttpQueryInfoW)(HINTERNET, DWORD, LPVOID, LPDWORD, LPDWORD) = nullptr;
    BOOL(WINAPI* InternetReadFile)(HINTERNET, LPVOID, DWORD, LPDWORD) = nullptr;
    BOOL(WINAPI* InternetCloseHandle)(HINTERNET) = nullptr;
    BOOL(WINAPI* InternetSetOptionW)(HINTERNET, DWORD, LPVOID, DWORD) = nullptr;
    // True when every entry was found.
    bool complete() const;
};

struct CommonControlsTable {
    HMODULE module = nullptr;
    BOOL(WINAPI* InitCommonControlsEx)(const INITCOMMONCONTROLSEX*) = nullptr;
};

struct GdiPlusTable {
    HMODULE module = nullptr;
    int(WINAPI* GdiplusStartup)(ULONG_PTR*, const GdiplusStartupInput*, void*) = nullptr;
    int(WINAPI* GdipLoadImageFromStream)(IStream*, Gdiplus::GpImage**) = nullptr;
    int(WINAPI* GdipCreateFromHDC)(HDC, Gdiplus::GpGraphics**) = nullptr;
    int(WINAPI* GdipDeleteGraphics)(Gdiplus::GpGraphics*) = nullptr;
    int(WINAPI* GdipDrawImageRectI)(Gdiplus::GpGraphics*, Gdiplus::GpImage*, INT, INT, INT, INT) = nullptr;
};

struct BCryptTable {
    HMODULE module = nullptr;
    NTSTATUS(WINAPI* BCryptOpenAlgorithmProvider)(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG) = nullptr;
    NTSTATUS(WINAPI* BCryptCloseAlgorithmProvider)(BCRYPT_ALG_HANDLE, ULONG) = nullptr;
    NTSTATUS(WINAPI* BCryptCreateHash)(BCRYPT_ALG_HANDLE, BCRYPT_HASH_HANDLE*, PUCHAR, ULONG, PUCHAR, ULONG,
                                       ULONG) = nullptr;
    NTSTATUS(WINAPI* BCryptHashData)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG) = nullptr;
    NTSTATUS(WINAPI* BCryptFinishHash)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG) = nullptr;
    NTSTATUS(WINAPI* BCryptDestroyHash)(BCRYPT_HASH_HANDLE) = nullptr;
    NTSTATUS(WINAPI* BCryptImportKeyPair)(BCRYPT_ALG_HANDLE, BCRYPT_KEY_HANDLE, LPCWSTR, BCRYPT_KEY_HANDLE*, PUCHAR,
                                          ULONG, ULONG) = nullptr;
    NTSTATUS(WINAPI* BCryptDestroyKey)(BCRYPT_KEY_HANDLE) = nullptr;
    NTSTATUS(WINAPI* BCryptVerifySignature)(BCRYPT_KEY_HANDLE, VOID*, PUCHAR, ULONG, PUCHAR, ULONG, ULONG) = nullptr;
    bool complete() const;
};

struct ResourceFunctions {
    HMODULE module = nullptr;
    HRSRC(WINAPI* FindResourceW)(HMODULE, LPCWSTR, LPCWSTR) = nullptr;
    HGLOBAL(WINAPI* LoadResource)(HMODULE, HRSRC) = nullptr;
    DWORD(WINAPI* SizeofResource)(HMODULE, HRSRC) = nullptr;
    LPVOID(WINAPI* LockResource)(HGLOBAL) = nullptr;
    BOOL(WINAPI* FreeResource)(HGLOBAL) = nullptr;
};

// Filled on first use; never unloaded.
const GdiTable& gdiTable();
const CacheEntryDeleter& cacheEntryDeleter();
const WinInetTable& winInet();
const CommonControlsTable& commonControls();
const GdiPlusTable& gdiPlus();
const BCryptTable& bcrypt();
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

// The description of a system or WinINet (12001-12175, from wininet.dll's own table) code,
// unchanged (trailing line break included); empty when there is none.
std::wstring systemMessageText(std::int32_t code);
