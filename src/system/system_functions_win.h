// System functions reached by name in libraries loaded by full path from the System folder.
//
// Only DLLs that Windows always takes from the System folder (KnownDLLs) are in the import table;
// every other library is loaded here by its full path, and only when first used, which is after
// the entry has narrowed the DLL search order. Nothing is loaded during static initialisation.
#pragma once
#include <windows.h>
#include <bcrypt.h>
#include <commctrl.h>
#include <objidl.h>
#include <oleacc.h>
#include <wininet.h>

#include <string>

#include "system/winapi_signature_win.h"

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

// Each entry point is named once, in the list of its library; its type is that of the SDK's own
// declaration. The list builds the table's members, the lookup and the completeness check.
#define FLASHDECK_DECLARE_ENTRY(name) decltype(&::name) name = nullptr;

#define FLASHDECK_GDI_FUNCTIONS(X)                                                                                  \
    X(SetTextColor) X(SetBkMode) X(SelectObject) X(MoveToEx) X(LineTo) X(GetStockObject) X(GetDeviceCaps)           \
    X(CreateSolidBrush) X(CreateFontIndirectW) X(DeleteObject)

struct GdiTable {
    HMODULE module = nullptr;
    FLASHDECK_GDI_FUNCTIONS(FLASHDECK_DECLARE_ENTRY)
};

// The wide export: the undecorated name is the ANSI one, which would read the URL as bytes.
#define FLASHDECK_CACHE_ENTRY_FUNCTIONS(X) X(DeleteUrlCacheEntryW)
#define FLASHDECK_WININET_FUNCTIONS(X)                                                                              \
    X(InternetGetConnectedState) X(InternetOpenW) X(InternetOpenUrlW) X(HttpQueryInfoW) X(InternetReadFile)         \
    X(InternetCloseHandle) X(InternetSetOptionW) X(InternetQueryOptionW) X(InternetCrackUrlW) X(InternetConnectW)     \
    X(HttpOpenRequestW) X(HttpSendRequestW) X(InternetErrorDlg)
#define FLASHDECK_COMMON_CONTROLS_FUNCTIONS(X) X(InitCommonControlsEx)
#define FLASHDECK_BCRYPT_FUNCTIONS(X)                                                                               \
    X(BCryptOpenAlgorithmProvider) X(BCryptCloseAlgorithmProvider) X(BCryptCreateHash) X(BCryptHashData)            \
    X(BCryptFinishHash) X(BCryptDestroyHash) X(BCryptImportKeyPair) X(BCryptDestroyKey) X(BCryptVerifySignature)

struct CacheEntryDeleter {
    HMODULE module = nullptr;
    FLASHDECK_CACHE_ENTRY_FUNCTIONS(FLASHDECK_DECLARE_ENTRY)
};

struct WinInetTable {
    HMODULE module = nullptr;
    FLASHDECK_WININET_FUNCTIONS(FLASHDECK_DECLARE_ENTRY)
    // True when every entry was found.
    bool complete() const;
};

struct CommonControlsTable {
    HMODULE module = nullptr;
    FLASHDECK_COMMON_CONTROLS_FUNCTIONS(FLASHDECK_DECLARE_ENTRY)
};

struct GdiPlusTable {
    HMODULE module = nullptr;
    int(WINAPI* GdiplusStartup)(ULONG_PTR*, const GdiplusStartupInput*, void*) = nullptr;
    int(WINAPI* GdipLoadImageFromStream)(IStream*, Gdiplus::GpImage**) = nullptr;
    int(WINAPI* GdipCreateFromHDC)(HDC, Gdiplus::GpGraphics**) = nullptr;
    int(WINAPI* GdipDeleteGraphics)(Gdiplus::GpGraphics*) = nullptr;
    int(WINAPI* GdipDrawImageRectI)(Gdiplus::GpGraphics*, Gdiplus::GpImage*, INT, INT, INT, INT) = nullptr;
    int(WINAPI* GdipSetInterpolationMode)(Gdiplus::GpGraphics*, int) = nullptr;
    int(WINAPI* GdipSetPixelOffsetMode)(Gdiplus::GpGraphics*, int) = nullptr;
};

// Newer than the oldest Windows the installer runs on: each may be missing, and the caller then
// falls back to the system DPI.
#define FLASHDECK_USER_DPI_FUNCTIONS(X) X(GetDpiForWindow) X(AdjustWindowRectExForDpi)
struct UserDpiTable {
    HMODULE module = nullptr;
    FLASHDECK_USER_DPI_FUNCTIONS(FLASHDECK_DECLARE_ENTRY)
};

// What a control needs to hand screen readers its own name over the standard object.
#define FLASHDECK_OLEACC_FUNCTIONS(X) X(CreateStdAccessibleObject) X(LresultFromObject)
struct AccessibilityTable {
    HMODULE module = nullptr;
    FLASHDECK_OLEACC_FUNCTIONS(FLASHDECK_DECLARE_ENTRY)
    bool complete() const;
};

// The automation strings and variants that accessible names and the desktop's shell take.
#define FLASHDECK_OLEAUT_FUNCTIONS(X) X(SysAllocString) X(SysFreeString) X(VariantInit)
struct AutomationTable {
    HMODULE module = nullptr;
    FLASHDECK_OLEAUT_FUNCTIONS(FLASHDECK_DECLARE_ENTRY)
    bool complete() const;
};

struct BCryptTable {
    HMODULE module = nullptr;
    FLASHDECK_BCRYPT_FUNCTIONS(FLASHDECK_DECLARE_ENTRY)
    bool complete() const;
};

// Filled on first use; never unloaded.
const GdiTable& gdiTable();
const CacheEntryDeleter& cacheEntryDeleter();
const WinInetTable& winInet();
const CommonControlsTable& commonControls();
const GdiPlusTable& gdiPlus();
const BCryptTable& bcrypt();
const UserDpiTable& userDpi();
const AccessibilityTable& accessibility();
const AutomationTable& automation();
// Calls that skip themselves when the entry is missing.
void deleteUrlCacheEntry(const wchar_t* url);

// A library of the System folder (name with its leading backslash), loaded by its full path.
HMODULE loadSystemLibrary(const wchar_t* name);

// The entry of that name in the module, typed as the entry it fills; null when either is missing.
template <typename Function>
void lookUp(HMODULE module, const char* name, Function& entry) {
    static_assert(isWinapiFunction<Function>, "an entry point looked up by name must be declared WINAPI");
    entry = module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}
