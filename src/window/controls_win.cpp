#include "window/controls_win.h"

#include <commctrl.h>
#include <objidl.h>

#include <cstring>

#include "common/product_config.h"
#include "common/resource_ids.h"
#include "localization/text_table.h"
#include "system/handles_win.h"
#include "system/resources_win.h"
#include "system/system_functions_win.h"

namespace {
struct GraphicsTraits {
    static Gdiplus::GpGraphics* invalid() { return nullptr; }
    static void close(Gdiplus::GpGraphics* graphics) { gdiPlus().GdipDeleteGraphics(graphics); }
};
using Graphics = UniqueHandle<Gdiplus::GpGraphics*, GraphicsTraits>;

ULONG_PTR gdiplusToken = 0;
HBRUSH staticBackgroundBrush = nullptr;
constexpr COLORREF linkColour = RGB(0, 112, 187);
}  // namespace

WNDCLASSEXW windowClassOf(HINSTANCE instance, WNDPROC procedure, const wchar_t* name) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(PRODUCT_ICON_ID));
    windowClass.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(PRODUCT_ICON_ID));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = name;
    return windowClass;
}

void startGdiPlus() {
    // The progress bar's class comes from the common controls; make sure it is registered.
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    if (commonControls().InitCommonControlsEx) commonControls().InitCommonControlsEx(&classes);
    GdiplusStartupInput input;
    if (gdiPlus().GdiplusStartup) gdiPlus().GdiplusStartup(&gdiplusToken, &input, nullptr);
}

HFONT createAppFont(HWND window, int points) {
    const GdiTable& gdi = gdiTable();
    int pixelsPerInch = 96;
    {
        const WindowDc dc(window);
        if (gdi.GetDeviceCaps) pixelsPerInch = gdi.GetDeviceCaps(dc.get(), LOGPIXELSY);
    }
    LOGFONTW font{};
    font.lfHeight = -MulDiv(points, pixelsPerInch, 72);
    font.lfWeight = FW_NORMAL;
    wcscpy(font.lfFaceName, L"Segoe UI");
    return gdi.CreateFontIndirectW ? gdi.CreateFontIndirectW(&font) : nullptr;
}

HWND createButton(HWND parent, HINSTANCE instance, const std::wstring& text, DWORD style, int x, int y) {
    return CreateWindowExW(0, L"Button", text.c_str(), style, x, y, 105, 29, parent, nullptr, instance, nullptr);
}

HWND createLanguageList(HWND parent, HINSTANCE instance, int x, int y, int width) {
    HWND list = CreateWindowExW(0, L"ComboBox", L"", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_HASSTRINGS, x, y,
                                width, 450, parent, nullptr, instance, nullptr);
    fillLanguageList(list);
    return list;
}

void fillLanguageList(HWND list) {
    const TextTable& table = textTable();
    const std::wstring current = table.getCulture();
    LRESULT selected = CB_ERR;
    LRESULT index = 0;
    for (const std::wstring& name : table.languageNames()) {
        if (table.cultureForName(name) == current) selected = index;
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        ++index;
    }
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

HWND createProgressBar(HWND parent, HINSTANCE instance, int x, int y, int width, int height) {
    HWND bar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | PBS_SMOOTH, x, y, width, height, parent, nullptr,
                               instance, nullptr);
    SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendMessageW(bar, PBM_SETSTEP, 1, 0);
    return bar;
}

void setProgress(HWND progressBar, unsigned position) { SendMessageW(progressBar, PBM_SETPOS, position, 0); }

HWND createLabel(HWND parent, HINSTANCE instance, const std::wstring& text, int x, int y, int width, int height,
                 bool rightAlign, bool notify) {
    DWORD style = WS_CHILD | WS_VISIBLE;
    if (rightAlign) style |= SS_RIGHT;
    if (notify) style |= SS_NOTIFY;
    return CreateWindowExW(0, L"STATIC", text.c_str(), style, x, y, width, height, parent, nullptr, instance, nullptr);
}

void createControls(WindowControls& c, HWND parent, HINSTANCE instance, const std::wstring& versionLabel,
                    const std::wstring& installerVersionLabel) {
    c.actionButton = createButton(parent, instance, text(L"IDS_INSTALL"),
                                  WS_CHILD | WS_VISIBLE | BS_FLAT | BS_DEFPUSHBUTTON, 354, 262);
    c.cancelButton = createButton(parent, instance, text(L"IDS_CANCEL"), WS_CHILD | WS_VISIBLE | BS_FLAT, 245, 262);
    c.languageList = createLanguageList(parent, instance, 15, 167, 244);
    c.progressBar = createProgressBar(parent, instance, 15, 167, 445, 25);
    c.releaseNotesLink = createLabel(parent, instance, text(L"IDS_VIEW_RELEASE_NOTES"), 200, 220, 260, 20, true, true);
    c.messageText = createLabel(parent, instance, L"", 15, 40, 444, 90, false, false);
    c.languageLabel = createLabel(parent, instance, text(L"options_select_language"), 15, 145, 250, 20, false, false);
    c.versionLabel = createLabel(parent, instance, versionLabel, 15, 220, 200, 20, false, false);
    c.installerVersionLabel = createLabel(parent, instance, installerVersionLabel, 10, 300, 200, 20, false, false);
}

void assignFontsAndCursors(const WindowControls& c, HFONT smallFont, HFONT largeFont) {
    auto setFont = [](HWND control, HFONT font) { SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE); };
    HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
    setFont(c.actionButton, largeFont);
    setFont(c.cancelButton, largeFont);
    setFont(c.languageList, smallFont);
    SetClassLongPtrW(c.actionButton, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(hand));
    setFont(c.messageText, largeFont);
    setFont(c.languageLabel, smallFont);
    setFont(c.versionLabel, largeFont);
    setFont(c.installerVersionLabel, smallFont);
    setFont(c.releaseNotesLink, smallFont);
    SetClassLongPtrW(c.releaseNotesLink, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(hand));
}

Gdiplus::GpImage* loadPngResource(int id) {
    const void* bytes = nullptr;
    DWORD size = 0;
    if (!readResourceBytes(id, IMAGE_TYPE, &bytes, &size) || size == 0) return nullptr;
    GlobalMemory block(GlobalAlloc(GMEM_FIXED, size));
    if (!block) return nullptr;
    std::memcpy(block.get(), bytes, size);
    ComPointer<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(block.get(), TRUE, stream.out()))) return nullptr;
    // The stream frees the block when it is released.
    block.release();
    Gdiplus::GpImage* image = nullptr;
    if (gdiPlus().GdipLoadImageFromStream) gdiPlus().GdipLoadImageFromStream(stream.get(), &image);
    return image;
}

void paintLogoAndSeparator(HDC dc, Gdiplus::GpImage* logo) {
    const ProductConfig& config = productConfig();
    const GdiPlusTable& gdip = gdiPlus();
    Graphics graphics;
    if (gdip.GdipCreateFromHDC && gdip.GdipDeleteGraphics) gdip.GdipCreateFromHDC(dc, graphics.out());
    if (graphics && logo && gdip.GdipDrawImageRectI) {
        gdip.GdipDrawImageRectI(graphics.get(), logo, config.logoLeft, config.logoTop, config.logoWidth,
                                config.logoHeight);
    }
    const GdiTable& gdi = gdiTable();
    if (gdi.MoveToEx && gdi.LineTo) {
        gdi.MoveToEx(dc, 0, 240, nullptr);
        gdi.LineTo(dc, 475, 240);
    }
}

HBRUSH colourStatic(HDC dc, HWND control, HWND link) {
    const GdiTable& gdi = gdiTable();
    if (gdi.SetTextColor) gdi.SetTextColor(dc, control == link ? linkColour : RGB(0, 0, 0));
    if (!staticBackgroundBrush && gdi.CreateSolidBrush) staticBackgroundBrush = gdi.CreateSolidBrush(RGB(255, 255, 255));
    return staticBackgroundBrush;
}
