#include "window/controls_win.h"

#include <commctrl.h>
#include <objidl.h>

#include <algorithm>
#include <cstring>

#include "common/product_config.h"
#include "common/resource_ids.h"
#include "localization/text_table.h"
#include "system/handles_win.h"
#include "system/resources_win.h"
#include "system/system_functions_win.h"
#include "window/layout.h"

namespace {
struct GraphicsTraits {
    static Gdiplus::GpGraphics* invalid() { return nullptr; }
    static void close(Gdiplus::GpGraphics* graphics) { gdiPlus().GdipDeleteGraphics(graphics); }
};
using Graphics = UniqueHandle<Gdiplus::GpGraphics*, GraphicsTraits>;

ULONG_PTR gdiplusToken = 0;
HBRUSH staticBackgroundBrush = nullptr;
constexpr COLORREF linkColour = RGB(0, 112, 187);
// GDI+'s InterpolationModeHighQualityBicubic and PixelOffsetModeHighQuality.
constexpr int highQualityBicubic = 7;
constexpr int highQualityPixelOffset = 2;

bool readHighContrast() {
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof contrast;
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON);
}
bool highContrast = readHighContrast();

HBRUSH whiteBrush() {
    const GdiTable& gdi = gdiTable();
    if (!staticBackgroundBrush && gdi.CreateSolidBrush) staticBackgroundBrush = gdi.CreateSolidBrush(RGB(255, 255, 255));
    return staticBackgroundBrush;
}

void adjustForDpi(RECT& rect, int dpi) {
    if (userDpi().AdjustWindowRectExForDpi) {
        userDpi().AdjustWindowRectExForDpi(&rect, windowStyle, FALSE, 0, static_cast<UINT>(dpi));
    } else {
        AdjustWindowRectEx(&rect, windowStyle, FALSE, 0);
    }
}

void place(HWND control, const Box& at96, int dpi) {
    const Box box = scaleToDpi(at96, dpi);
    SetWindowPos(control, nullptr, box.x, box.y, box.width, box.height, SWP_NOZORDER | SWP_NOACTIVATE);
}
}  // namespace

void refreshColours() { highContrast = readHighContrast(); }

WindowColours windowColours() {
    if (highContrast) {
        return {GetSysColor(COLOR_WINDOWTEXT), GetSysColor(COLOR_HOTLIGHT), GetSysColor(COLOR_GRAYTEXT),
                GetSysColorBrush(COLOR_WINDOW), GetSysColorBrush(COLOR_WINDOWTEXT), true};
    }
    const HGDIOBJ black = gdiTable().GetStockObject ? gdiTable().GetStockObject(BLACK_BRUSH) : nullptr;
    return {RGB(0, 0, 0), linkColour, GetSysColor(COLOR_GRAYTEXT), whiteBrush(), static_cast<HBRUSH>(black), false};
}

int windowDpi(HWND window) {
    if (userDpi().GetDpiForWindow && window) {
        const UINT dpi = userDpi().GetDpiForWindow(window);
        if (dpi > 0) return static_cast<int>(dpi);
    }
    int dpi = designDpi;
    const GdiTable& gdi = gdiTable();
    const WindowDc dc(window);
    if (gdi.GetDeviceCaps) dpi = gdi.GetDeviceCaps(dc.get(), LOGPIXELSY);
    return dpi > 0 ? dpi : designDpi;
}

SIZE windowSizeFor(int dpi) {
    RECT frame96{0, 0, 0, 0};
    RECT frame{0, 0, 0, 0};
    adjustForDpi(frame96, designDpi);
    adjustForDpi(frame, dpi);
    // The 96-DPI client area is what the designed outer size leaves inside the 96-DPI frame.
    const int clientWidth = windowWidth - (frame96.right - frame96.left);
    const int clientHeight = windowHeight - (frame96.bottom - frame96.top);
    return {scaleToDpi(clientWidth, dpi) + (frame.right - frame.left),
            scaleToDpi(clientHeight, dpi) + (frame.bottom - frame.top)};
}

void layoutControls(const WindowControls& c, int dpi) {
    place(c.actionButton, layout96::actionButton, dpi);
    place(c.cancelButton, layout96::cancelButton, dpi);
    place(c.languageList, layout96::languageList, dpi);
    place(c.progressBar, layout96::progressBar, dpi);
    place(c.releaseNotesLink, layout96::releaseNotesLink, dpi);
    place(c.messageText, layout96::messageText, dpi);
    place(c.languageLabel, layout96::languageLabel, dpi);
    place(c.versionLabel, layout96::versionLabel, dpi);
    place(c.installerVersionLabel, layout96::installerVersionLabel, dpi);
}

WNDCLASSEXW windowClassOf(HINSTANCE instance, WNDPROC procedure, const wchar_t* name) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = procedure;
    // A private dialog class: the dialog manager keeps its focus and default button in these bytes.
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
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

HFONT createAppFont(HWND window, int points) { return createAppFontAt(windowDpi(window), points); }

HFONT createAppFontAt(int pixelsPerInch, int points) {
    const GdiTable& gdi = gdiTable();
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
    HWND list = CreateWindowExW(0, L"ComboBox", L"",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP | CBS_DROPDOWNLIST | CBS_HASSTRINGS, x, y,
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
    constexpr DWORD tabStop = WS_TABSTOP | WS_GROUP;
    namespace at = layout96;
    c.actionButton = createButton(parent, instance, text(L"IDS_INSTALL"),
                                  WS_CHILD | WS_VISIBLE | tabStop | BS_FLAT | BS_DEFPUSHBUTTON, at::actionButton.x,
                                  at::actionButton.y);
    c.cancelButton = createButton(parent, instance, text(L"IDS_CANCEL"), WS_CHILD | WS_VISIBLE | tabStop | BS_FLAT,
                                  at::cancelButton.x, at::cancelButton.y);
    c.languageList = createLanguageList(parent, instance, at::languageList.x, at::languageList.y, at::languageList.width);
    c.progressBar = createProgressBar(parent, instance, at::progressBar.x, at::progressBar.y, at::progressBar.width,
                                      at::progressBar.height);
    const Box& link = at::releaseNotesLink;
    c.releaseNotesLink = CreateWindowExW(0, L"Button", text(L"IDS_VIEW_RELEASE_NOTES").c_str(),
                                         WS_CHILD | WS_VISIBLE | tabStop | BS_OWNERDRAW, link.x, link.y, link.width,
                                         link.height, parent, nullptr, instance, nullptr);
    auto label = [&](const std::wstring& caption, const Box& box) {
        return createLabel(parent, instance, caption, box.x, box.y, box.width, box.height, false, false);
    };
    c.messageText = label(L"", at::messageText);
    c.languageLabel = label(text(L"options_select_language"), at::languageLabel);
    c.versionLabel = label(versionLabel, at::versionLabel);
    c.installerVersionLabel = label(installerVersionLabel, at::installerVersionLabel);

    const HWND inCreationOrder[] = {c.actionButton,  c.cancelButton, c.languageList,
                                    c.progressBar,   c.releaseNotesLink, c.messageText,
                                    c.languageLabel, c.versionLabel, c.installerVersionLabel};
    int id = actionButtonId;
    for (HWND control : inCreationOrder) SetWindowLongPtrW(control, GWLP_ID, id++);
    // Tab follows the order a reader sees: the list, the link, then the buttons left to right.
    HWND after = HWND_TOP;
    for (HWND control : {c.languageList, c.releaseNotesLink, c.cancelButton, c.actionButton}) {
        SetWindowPos(control, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = control;
    }
    makeLinkTakeEnter(c.releaseNotesLink);
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

void paintLogoAndSeparator(HDC dc, Gdiplus::GpImage* logo, int dpi) {
    const ProductConfig& config = productConfig();
    const GdiPlusTable& gdip = gdiPlus();
    Graphics graphics;
    if (gdip.GdipCreateFromHDC && gdip.GdipDeleteGraphics) gdip.GdipCreateFromHDC(dc, graphics.out());
    if (graphics && logo && gdip.GdipDrawImageRectI) {
        // The stored image is larger than any place it is drawn at: it is only ever scaled down.
        if (gdip.GdipSetInterpolationMode) gdip.GdipSetInterpolationMode(graphics.get(), highQualityBicubic);
        if (gdip.GdipSetPixelOffsetMode) gdip.GdipSetPixelOffsetMode(graphics.get(), highQualityPixelOffset);
        const Box place = scaleToDpi(Box{config.logoLeft, config.logoTop, config.logoWidth, config.logoHeight}, dpi);
        gdip.GdipDrawImageRectI(graphics.get(), logo, place.x, place.y, place.width, place.height);
    }
    const Box line = scaleToDpi(layout96::separator, dpi);
    const RECT separator{line.x, line.y, line.x + line.width, line.y + line.height};
    FillRect(dc, &separator, windowColours().line);
}

HBRUSH colourStatic(HDC dc, HWND control, HWND link) {
    const GdiTable& gdi = gdiTable();
    const WindowColours colours = windowColours();
    if (gdi.SetTextColor) gdi.SetTextColor(dc, control == link ? colours.link : colours.text);
    // The default opaque white behind the text would stand out on a dark theme's background.
    if (colours.highContrast && gdi.SetBkMode) gdi.SetBkMode(dc, TRANSPARENT);
    return colours.background;
}

void drawLink(const DRAWITEMSTRUCT& item) {
    const GdiTable& gdi = gdiTable();
    HDC dc = item.hDC;
    RECT box = item.rcItem;
    const WindowColours colours = windowColours();
    FillRect(dc, &box, colours.background);
    const int length = GetWindowTextLengthW(item.hwndItem);
    std::wstring caption(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(item.hwndItem, caption.data(), length + 1);
    caption.resize(static_cast<std::size_t>(length));
    const auto font = reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0));
    const HGDIOBJ previous = font && gdi.SelectObject ? gdi.SelectObject(dc, font) : nullptr;
    if (gdi.SetTextColor) gdi.SetTextColor(dc, (item.itemState & ODS_DISABLED) ? colours.disabled : colours.link);
    if (gdi.SetBkMode) gdi.SetBkMode(dc, TRANSPARENT);
    constexpr UINT format = DT_RIGHT | DT_SINGLELINE | DT_NOPREFIX;
    DrawTextW(dc, caption.c_str(), length, &box, format);
    if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) {
        RECT text = box;
        DrawTextW(dc, caption.c_str(), length, &text, format | DT_CALCRECT);
        // DT_CALCRECT keeps the left edge; the text ends at the box's right edge.
        const int width = text.right - text.left;
        RECT focus{std::max(box.left, box.right - width - 2), box.top, box.right, std::min(box.bottom, text.bottom + 1)};
        DrawFocusRect(dc, &focus);
    }
    if (previous) gdi.SelectObject(dc, previous);
}

namespace {
WNDPROC buttonProcedure = nullptr;

LRESULT CALLBACK linkProcedure(HWND link, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_GETDLGCODE && wParam == VK_RETURN) {
        return CallWindowProcW(buttonProcedure, link, message, wParam, lParam) | DLGC_WANTMESSAGE;
    }
    if (message == WM_KEYDOWN && wParam == VK_RETURN) {
        SendMessageW(GetParent(link), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(link), BN_CLICKED),
                     reinterpret_cast<LPARAM>(link));
        return 0;
    }
    return CallWindowProcW(buttonProcedure, link, message, wParam, lParam);
}
}  // namespace

void makeLinkTakeEnter(HWND link) {
    if (!link) return;
    const auto previous =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(link, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(linkProcedure)));
    if (!buttonProcedure) buttonProcedure = previous;
}
