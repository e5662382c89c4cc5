#include "system/system_functions_win.h"

#include "common/resource_ids.h"
#include "localization/text_table.h"
#include "system/handles_win.h"
#include "system/paths_win.h"
#include "system/winapi_signature_win.h"

namespace {
HMODULE loadSystemLibrary(const wchar_t* name) {
    const std::wstring path = systemFolder() + name;
    return LoadLibraryW(path.c_str());
}

template <typename Function>
void lookUp(HMODULE module, const char* name, Function& entry) {
    static_assert(isWinapiFunction<Function>, "an entry point looked up by name must be declared WINAPI");
    entry = module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

CacheEntryDeleter loadCacheEntryDeleter() {
    CacheEntryDeleter table;
    table.module = loadSystemLibrary(L"\\wininet.dll");
    // The wide export: the undecorated name is the ANSI one, which would read the URL as bytes.
    lookUp(table.module, "DeleteUrlCacheEntryW", table.DeleteUrlCacheEntry);
    return table;
}

GdiTable loadGdiTable() {
    GdiTable table;
    table.module = loadSystemLibrary(L"\\gdi32.dll");
    lookUp(table.module, "SetTextColor", table.SetTextColor);
    lookUp(table.module, "SetBkMode", table.SetBkMode);
    lookUp(table.module, "SelectObject", table.SelectObject);
    lookUp(table.module, "MoveToEx", table.MoveToEx);
    lookUp(table.module, "LineTo", table.LineTo);
    lookUp(table.module, "GetStockObject", table.GetStockObject);
    lookUp(table.module, "GetDeviceCaps", table.GetDeviceCaps);
    lookUp(table.module, "CreateSolidBrush", table.CreateSolidBrush);
    lookUp(table.module, "CreateFontIndirectW", table.CreateFontIndirectW);
    return table;
}

WinInetTable loadWinInet() {
    WinInetTable table;
    table.module = loadSystemLibrary(L"\\wininet.dll");
    lookUp(table.module, "InternetGetConnectedState", table.InternetGetConnectedState);
    lookUp(table.module, "InternetOpenW", table.InternetOpenW);
    lookUp(table.module, "InternetOpenUrlW", table.InternetOpenUrlW);
    lookUp(table.module, "HttpQueryInfoW", table.HttpQueryInfoW);
    lookUp(table.module, "InternetReadFile", table.InternetReadFile);
    lookUp(table.module, "InternetCloseHandle", table.InternetCloseHandle);
    lookUp(table.module, "InternetSetOptionW", table.InternetSetOptionW);
    return table;
}

CommonControlsTable loadCommonControls() {
    CommonControlsTable table;
    table.module = loadSystemLibrary(L"\\comctl32.dll");
    lookUp(table.module, "InitCommonControlsEx", table.InitCommonControlsEx);
    return table;
}

BCryptTable loadBCrypt() {
    BCryptTable table;
    table.module = loadSystemLibrary(L"\\bcrypt.dll");
    lookUp(table.module, "BCryptOpenAlgorithmProvider", table.BCryptOpenAlgorithmProvider);
    lookUp(table.module, "BCryptCloseAlgorithmProvider", table.BCryptCloseAlgorithmProvider);
    lookUp(table.module, "BCryptCreateHash", table.BCryptCreateHash);
    lookUp(table.module, "BCryptHashData", table.BCryptHashData);
    lookUp(table.module, "BCryptFinishHash", table.BCryptFinishHash);
    lookUp(table.module, "BCryptDestroyHash", table.BCryptDestroyHash);
    lookUp(table.module, "BCryptImportKeyPair", table.BCryptImportKeyPair);
    lookUp(table.module, "BCryptDestroyKey", table.BCryptDestroyKey);
    lookUp(table.module, "BCryptVerifySignature", table.BCryptVerifySignature);
    return table;
}

GdiPlusTable loadGdiPlus() {
    GdiPlusTable table;
    table.module = loadSystemLibrary(L"\\gdiplus.dll");
    lookUp(table.module, "GdiplusStartup", table.GdiplusStartup);
    lookUp(table.module, "GdipLoadImageFromStream", table.GdipLoadImageFromStream);
    lookUp(table.module, "GdipCreateFromHDC", table.GdipCreateFromHDC);
    lookUp(table.module, "GdipDeleteGraphics", table.GdipDeleteGraphics);
    lookUp(table.module, "GdipDrawImageRectI", table.GdipDrawImageRectI);
    return table;
}

ResourceFunctions theResourceFunctions;
int resourceLoads = 0;

void loadResourceFunctions() {
    ++resourceLoads;
    ResourceFunctions& table = theResourceFunctions;
    table.module = loadSystemLibrary(L"\\kernel32.dll");
    lookUp(table.module, "FindResourceW", table.FindResourceW);
    lookUp(table.module, "LoadResource", table.LoadResource);
    lookUp(table.module, "SizeofResource", table.SizeofResource);
    lookUp(table.module, "LockResource", table.LockResource);
    lookUp(table.module, "FreeResource", table.FreeResource);
}

template <typename Function>
Function resourceEntry(Function ResourceFunctions::*entry) {
    if (!(theResourceFunctions.*entry)) loadResourceFunctions();
    return theResourceFunctions.*entry;
}
}  // namespace

// Function-local statics: each table is filled on its first use, after the entry has narrowed
// the DLL search order, never during static initialisation.
const GdiTable& gdiTable() {
    static const GdiTable table = loadGdiTable();
    return table;
}
const CacheEntryDeleter& cacheEntryDeleter() {
    static const CacheEntryDeleter table = loadCacheEntryDeleter();
    return table;
}
const WinInetTable& winInet() {
    static const WinInetTable table = loadWinInet();
    return table;
}
const CommonControlsTable& commonControls() {
    static const CommonControlsTable table = loadCommonControls();
    return table;
}
const GdiPlusTable& gdiPlus() {
    static const GdiPlusTable table = loadGdiPlus();
    return table;
}

const BCryptTable& bcrypt() {
    static const BCryptTable table = loadBCrypt();
    return table;
}

bool BCryptTable::complete() const {
    return BCryptOpenAlgorithmProvider && BCryptCloseAlgorithmProvider && BCryptCreateHash && BCryptHashData &&
           BCryptFinishHash && BCryptDestroyHash && BCryptImportKeyPair && BCryptDestroyKey && BCryptVerifySignature;
}

void closeInternetHandle(HINTERNET handle) {
    if (winInet().InternetCloseHandle) winInet().InternetCloseHandle(handle);
}

bool WinInetTable::complete() const {
    return InternetGetConnectedState && InternetOpenW && InternetOpenUrlW && HttpQueryInfoW && InternetReadFile &&
           InternetCloseHandle && InternetSetOptionW;
}
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

void deleteUrlCacheEntry(const wchar_t* url) {
    const CacheEntryDeleter& deleter = cacheEntryDeleter();
    if (deleter.DeleteUrlCacheEntry) deleter.DeleteUrlCacheEntry(url);
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

std::wstring systemMessageText(std::int32_t code) {
    // WinINet's codes are described by its own message table, not the system's: without it a
    // refused connection would read "unknown error".
    const bool winInetCode = code >= INTERNET_ERROR_BASE + 1 && code <= INTERNET_ERROR_BASE + 175;
    const HMODULE source = winInetCode ? winInet().module : nullptr;
    LocalText buffer;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                            (source ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM),
                                        source, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(buffer.out()),
                                        0, nullptr);
    // Kept exactly as the table gives it, trailing line break included.
    return (length != 0 && buffer) ? std::wstring(buffer.get(), length) : std::wstring();
}
