#include "system/system_functions_win.h"

#include "system/handles_win.h"
#include "system/paths_win.h"

HMODULE loadSystemLibrary(const wchar_t* name) {
    const std::wstring path = systemFolder() + name;
    return LoadLibraryW(path.c_str());
}

namespace {
#define FLASHDECK_LOOK_UP(name) lookUp(table.module, #name, table.name);
#define FLASHDECK_AND_FOUND(name) &&name

template <typename Table, typename LookUpAll>
Table loadTable(const wchar_t* library, LookUpAll lookUpAll) {
    Table table;
    table.module = loadSystemLibrary(library);
    lookUpAll(table);
    return table;
}

CacheEntryDeleter loadCacheEntryDeleter() {
    return loadTable<CacheEntryDeleter>(L"\\wininet.dll", [](CacheEntryDeleter& table) {
        FLASHDECK_CACHE_ENTRY_FUNCTIONS(FLASHDECK_LOOK_UP)
    });
}

GdiTable loadGdiTable() {
    return loadTable<GdiTable>(L"\\gdi32.dll", [](GdiTable& table) { FLASHDECK_GDI_FUNCTIONS(FLASHDECK_LOOK_UP) });
}

WinInetTable loadWinInet() {
    return loadTable<WinInetTable>(L"\\wininet.dll",
                                   [](WinInetTable& table) { FLASHDECK_WININET_FUNCTIONS(FLASHDECK_LOOK_UP) });
}

CommonControlsTable loadCommonControls() {
    return loadTable<CommonControlsTable>(L"\\comctl32.dll", [](CommonControlsTable& table) {
        FLASHDECK_COMMON_CONTROLS_FUNCTIONS(FLASHDECK_LOOK_UP)
    });
}

BCryptTable loadBCrypt() {
    return loadTable<BCryptTable>(L"\\bcrypt.dll",
                                  [](BCryptTable& table) { FLASHDECK_BCRYPT_FUNCTIONS(FLASHDECK_LOOK_UP) });
}

UserDpiTable loadUserDpi() {
    return loadTable<UserDpiTable>(L"\\user32.dll",
                                   [](UserDpiTable& table) { FLASHDECK_USER_DPI_FUNCTIONS(FLASHDECK_LOOK_UP) });
}

AccessibilityTable loadAccessibility() {
    return loadTable<AccessibilityTable>(
        L"\\oleacc.dll", [](AccessibilityTable& table) { FLASHDECK_OLEACC_FUNCTIONS(FLASHDECK_LOOK_UP) });
}

AutomationTable loadAutomation() {
    return loadTable<AutomationTable>(L"\\oleaut32.dll",
                                      [](AutomationTable& table) { FLASHDECK_OLEAUT_FUNCTIONS(FLASHDECK_LOOK_UP) });
}

GdiPlusTable loadGdiPlus() {
    GdiPlusTable table;
    table.module = loadSystemLibrary(L"\\gdiplus.dll");
    lookUp(table.module, "GdiplusStartup", table.GdiplusStartup);
    lookUp(table.module, "GdipLoadImageFromStream", table.GdipLoadImageFromStream);
    lookUp(table.module, "GdipCreateFromHDC", table.GdipCreateFromHDC);
    lookUp(table.module, "GdipDeleteGraphics", table.GdipDeleteGraphics);
    lookUp(table.module, "GdipDrawImageRectI", table.GdipDrawImageRectI);
    lookUp(table.module, "GdipSetInterpolationMode", table.GdipSetInterpolationMode);
    lookUp(table.module, "GdipSetPixelOffsetMode", table.GdipSetPixelOffsetMode);
    return table;
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

const UserDpiTable& userDpi() {
    static const UserDpiTable table = loadUserDpi();
    return table;
}

const AccessibilityTable& accessibility() {
    static const AccessibilityTable table = loadAccessibility();
    return table;
}

bool AccessibilityTable::complete() const { return true FLASHDECK_OLEACC_FUNCTIONS(FLASHDECK_AND_FOUND); }

const AutomationTable& automation() {
    static const AutomationTable table = loadAutomation();
    return table;
}

bool AutomationTable::complete() const { return true FLASHDECK_OLEAUT_FUNCTIONS(FLASHDECK_AND_FOUND); }

bool BCryptTable::complete() const { return true FLASHDECK_BCRYPT_FUNCTIONS(FLASHDECK_AND_FOUND); }

void closeInternetHandle(HINTERNET handle) {
    if (winInet().InternetCloseHandle) winInet().InternetCloseHandle(handle);
}

bool WinInetTable::complete() const { return true FLASHDECK_WININET_FUNCTIONS(FLASHDECK_AND_FOUND); }
void deleteUrlCacheEntry(const wchar_t* url) {
    const CacheEntryDeleter& deleter = cacheEntryDeleter();
    if (deleter.DeleteUrlCacheEntryW) deleter.DeleteUrlCacheEntryW(url);
}
