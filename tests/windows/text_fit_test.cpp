// Every text of every page fits its control in every language: the window's own controls, with
// their own fonts, measured the way they draw (DrawTextW with DT_CALCRECT).
//
// Wine has no Segoe UI; the test prefixes substitute Liberation Sans and link Noto Sans CJK for
// CJK glyphs (tools/test-fonts.reg). Latin, Greek and Cyrillic widths of the substitute and of
// Segoe UI differ by a few percent either way, so those parts of a text get kWidthSlackPercent of
// slack; CJK glyphs are a full em in Noto, never narrower than in Windows' CJK UI fonts, and need
// none. A wrapped text is measured in a box narrower by the slack, and its lines are counted at
// Segoe UI's line height, which is taller than the substitute's.
//
// Each page is also drawn as the screen shows it, checked pixel by pixel, and kept as a tile of the
// gallery's contact sheets (tools/compose_gallery.py).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "../unit/known_languages.h"
#include "common/product_config.h"
#include "localization/text_table.h"
#include "system/resources_win.h"
#include "window/controls_win.h"
#include "window/layout.h"
#include "window/page_logic.h"
#include "../support/versions.h"

namespace {
constexpr int kWidthSlackPercent = 5;
// A push button draws its caption inside its 2-pixel edge and the focus rectangle's gap.
constexpr int kButtonInset = 4;
// Segoe UI's Windows ascent plus descent per em (2210 + 514 of 2048 units).
constexpr int kSegoeLineUnits = 2724;
constexpr int kUnitsPerEm = 2048;

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

enum class Wrap { SingleLine, WordWrapped };

struct Measured {
    bool fits = false;
    std::string detail;
};

// CJK ideographs, kana, Hangul and full-width forms.
bool isFullWidth(wchar_t c) {
    return (c >= 0x1100 && c <= 0x11FF) || (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF);
}

int singleLineWidth(HDC dc, const std::wstring& text) {
    RECT box{0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, DT_CALCRECT | DT_EXPANDTABS | DT_SINGLELINE);
    return box.right;
}

// Measures the control's current text with its own font and client rectangle.
Measured measure(HWND control, Wrap wrap, int inset) {
    const int length = GetWindowTextLengthW(control);
    std::wstring caption(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(control, caption.data(), length + 1);
    caption.resize(static_cast<std::size_t>(length));
    const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    RECT client{};
    GetClientRect(control, &client);
    const int available = client.right - 2 * inset;
    const int budget = available * (100 - kWidthSlackPercent) / 100;

    HDC dc = GetDC(control);
    const HGDIOBJ previous = SelectObject(dc, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    LOGFONTW logFont{};
    GetObjectW(font, sizeof logFont, &logFont);
    std::ostringstream detail;
    bool fits = length > 0;
    if (wrap == Wrap::SingleLine) {
        std::wstring slackPart = caption;
        slackPart.erase(std::remove_if(slackPart.begin(), slackPart.end(), isFullWidth), slackPart.end());
        const int width = singleLineWidth(dc, caption);
        const int slack = (singleLineWidth(dc, slackPart) * kWidthSlackPercent + 99) / 100;
        detail << '"' << utf8(caption) << "\": " << width << " + " << slack << " px slack of " << available << " px";
        fits = fits && width + slack <= available;
    } else {
        RECT box{0, 0, budget, 0};
        DrawTextW(dc, caption.c_str(), length, &box, DT_CALCRECT | DT_EXPANDTABS | DT_WORDBREAK);
        const int lines = metrics.tmHeight > 0 ? (box.bottom + metrics.tmHeight - 1) / metrics.tmHeight : 0;
        const int em = std::abs(static_cast<int>(logFont.lfHeight));
        const int lineHeight = std::max<int>(metrics.tmHeight, (em * kSegoeLineUnits + kUnitsPerEm - 1) / kUnitsPerEm);
        detail << '"' << utf8(caption) << "\": " << box.right << " of " << budget << " px wide, " << lines
               << " lines of " << lineHeight << " px in " << client.bottom << " px";
        fits = fits && box.right <= budget && lines * lineHeight <= client.bottom;
    }
    SelectObject(dc, previous);
    ReleaseDC(control, dc);
    return {fits, detail.str()};
}

// The window's own controls on a top-level window of the installer's class settings, style, size
// and caption, painted by the installer's own logo and colour code. It is shown: under Wine's
// display-less driver (the test prefixes') a shown window draws into a surface of its own, from
// which the gallery copies it, frame and all.
class Window {
public:
    Window() {
        // As the installer does before its window: the common controls come from the System folder.
        startGdiPlus();
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        const WNDCLASSEXW windowClass = windowClassOf(instance, procedure, L"TextFitTestWindow");
        RegisterClassExW(&windowClass);
        const ProductConfig config = makeProductConfig(L"", L"C:\\PF", L"");
        window_ = CreateWindowExW(0, windowClass.lpszClassName, config.installerTitle.c_str(), windowStyle, 0, 0,
                                  windowWidth, windowHeight, nullptr, nullptr, instance, nullptr);
        smallFont_ = createAppFont(window_, 10);
        largeFont_ = createAppFont(window_, 12);
        createControls(controls_, window_, instance, L"", L"");
        // Sized and laid out for the prefix's display scale (LogPixels), as the installer does.
        dpi_ = windowDpi(window_);
        const SIZE size = windowSizeFor(dpi_);
        SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy, SWP_NOZORDER | SWP_NOMOVE);
        layoutControls(controls_, dpi_);
        assignFontsAndCursors(controls_, smallFont_, largeFont_);
        logo_ = loadPngResource(config.logoImageId);
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        ShowWindow(window_, SW_SHOW);
    }
    ~Window() {
        DestroyWindow(window_);
        DeleteObject(smallFont_);
        DeleteObject(largeFont_);
    }
    HWND handle() const { return window_; }
    const WindowControls& controls() const { return controls_; }
    HFONT largeFont() const { return largeFont_; }
    int dpi() const { return dpi_; }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    HFONT smallFont_ = nullptr;
    HFONT largeFont_ = nullptr;
    int dpi_ = designDpi;
    // Kept for the process's life, as the installer keeps it.
    Gdiplus::GpImage* logo_ = nullptr;
    WindowControls controls_;
};

// The installer's painting: the logo and separator on the white class background, and the
// statics' colours.
LRESULT CALLBACK Window::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto* self = reinterpret_cast<const Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            if (self) paintLogoAndSeparator(dc, self->logo_, self->dpi_);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_DRAWITEM:
            drawLink(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_CTLCOLORSTATIC:
            if (!self) break;
            return reinterpret_cast<LRESULT>(colourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam),
                                                          self->controls_.releaseNotesLink));
        default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

Window& window() {
    static Window w;
    return w;
}

void loadTexts() {
    static const bool loaded = [] {
        loadFromResource(textTable());
        return true;
    }();
    (void)loaded;
}

// The family GDI realised for a font: the substitute under Wine, Segoe UI on Windows.
std::wstring realisedFamily(HFONT font) {
    HDC dc = GetDC(nullptr);
    const HGDIOBJ previous = SelectObject(dc, font);
    std::wstring family;
    const UINT size = GetOutlineTextMetricsW(dc, 0, nullptr);
    if (size > 0) {
        std::vector<char> buffer(size);
        auto* metrics = reinterpret_cast<OUTLINETEXTMETRICW*>(buffer.data());
        if (GetOutlineTextMetricsW(dc, size, metrics)) {
            family = reinterpret_cast<const wchar_t*>(buffer.data() + reinterpret_cast<std::uintptr_t>(metrics->otmpFamilyName));
        }
    }
    SelectObject(dc, previous);
    ReleaseDC(nullptr, dc);
    return family;
}

TEST(TextFit, MeasuresWithTheFontsTheReadmeNames) {
    // Measuring with Wine's default fallback would prove nothing about Windows.
    const HFONT font = window().largeFont();
    const std::wstring family = realisedFamily(font);
    EXPECT_TRUE(family == L"Segoe UI" || family == L"Liberation Sans") << utf8(family);
    // CJK glyphs come from the linked CJK font, a full em wide, not from missing-glyph boxes.
    LOGFONTW logFont{};
    GetObjectW(font, sizeof logFont, &logFont);
    HDC dc = GetDC(nullptr);
    const HGDIOBJ previous = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, L"\u65E5\u672C\u8A9E", 3, &size);
    SelectObject(dc, previous);
    ReleaseDC(nullptr, dc);
    EXPECT_EQ(size.cx, 3 * std::abs(static_cast<int>(logFont.lfHeight)));
}

// The versions of the gallery's scenarios: an older one installed for the upgrade offer, a newer
// one for the notice, the demo release offered.
struct Scenario {
    const wchar_t* installed;
    const wchar_t* offered;
};
Scenario scenarioOf(Page view) {
    if (view == Page::UpgradeOffer) return {L"2.7.0.0", L"3.0.3.0"};
    if (view == Page::NewerInstalled) return {L"9.0.0.0", L"3.0.3.0"};
    return {L"3.0.3.0", L"3.0.3.0"};
}

// Which controls a page shows, as the window's page changes leave them (the end-to-end tests
// follow the real window through these pages), and where a shown progress bar stands.
struct Layout {
    bool action = false;
    bool cancel = false;
    bool language = false;
    bool progress = false;
    bool link = false;
    unsigned progressPosition = 0;
};
Layout layoutOf(Page view) {
    switch (view) {
        case Page::InstallOffer:
        case Page::UninstallOffer:
        case Page::UpgradeOffer: return {true, true, true, false, true, 0};
        case Page::NewerInstalled: return {true, false, true, false, true, 0};
        case Page::Installing: return {false, true, false, true, true, 40};
        case Page::Uninstalling: return {false, false, false, true, false, 60};
        case Page::InstalledFinal:
        case Page::InstalledRestartFinal: return {true, true, false, false, true, 0};
        // Reached through the removal, which hides Cancel and the link.
        case Page::UninstalledFinal:
        case Page::CancelledFinal:
        case Page::FailedFinal: return {true, false, false, false, false, 0};
    }
    return {};
}

// Puts the page's texts, in the current language, and its layout into the window.
void showPage(Page view) {
    const Scenario scenario = scenarioOf(view);
    const Version installed = version(scenario.installed);
    const Version offered = version(scenario.offered);
    const std::wstring brand = makeProductConfig(L"", L"C:\\PF", L"").brandName;
    const PageTexts page = pageTexts(view, brand, installed, offered);

    const WindowControls& c = window().controls();
    SetWindowTextW(c.messageText, page.message.c_str());
    SetWindowTextW(c.actionButton, page.actionCaption.c_str());
    SetWindowTextW(c.cancelButton, text(L"IDS_CANCEL").c_str());
    SetWindowTextW(c.releaseNotesLink, text(L"IDS_VIEW_RELEASE_NOTES").c_str());
    SetWindowTextW(c.languageLabel, text(L"options_select_language").c_str());
    SetWindowTextW(c.versionLabel, versionLabelText(offered.versionText).c_str());
    SetWindowTextW(c.installerVersionLabel, installerVersionLabelText(installerVersion).c_str());
    // The list holds every language's name and selects the current one, as at the start.
    SendMessageW(c.languageList, CB_RESETCONTENT, 0, 0);
    fillLanguageList(c.languageList);

    const Layout layout = layoutOf(view);
    auto show = [](HWND control, bool visible) { ShowWindow(control, visible ? SW_SHOWNA : SW_HIDE); };
    show(c.actionButton, layout.action);
    show(c.cancelButton, layout.cancel);
    show(c.languageLabel, layout.language);
    show(c.languageList, layout.language);
    show(c.progressBar, layout.progress);
    show(c.releaseNotesLink, layout.link);
    setProgress(c.progressBar, layout.progressPosition);
}

class TextFit : public ::testing::TestWithParam<std::tuple<std::wstring, Page>> {
protected:
    void SetUp() override {
        const auto& [culture, view] = GetParam();
        loadTexts();
        textTable().setCulture(culture);
        ASSERT_EQ(textTable().getCulture(), culture);
        showPage(view);
        ASSERT_GT(GetWindowTextLengthW(window().controls().messageText), 0);
    }
};

TEST_P(TextFit, EveryShownTextFitsItsControl) {
    const auto& [culture, view] = GetParam();
    const WindowControls& c = window().controls();
    struct Checked {
        const char* name;
        HWND control;
        Wrap wrap;
        int inset;
    };
    std::vector<Checked> checked = {
        {"messageText", c.messageText, Wrap::WordWrapped, 0},
        {"cancelButton", c.cancelButton, Wrap::SingleLine, kButtonInset},
        {"releaseNotesLink", c.releaseNotesLink, Wrap::SingleLine, 0},
        {"languageLabel", c.languageLabel, Wrap::SingleLine, 0},
        {"versionLabel", c.versionLabel, Wrap::SingleLine, 0},
        {"installerVersionLabel", c.installerVersionLabel, Wrap::SingleLine, 0},
    };
    if (GetWindowTextLengthW(c.actionButton) > 0) {
        checked.push_back({"actionButton", c.actionButton, Wrap::SingleLine, kButtonInset});
    }
    for (const Checked& control : checked) {
        const Measured result = measure(control.control, control.wrap, control.inset);
        EXPECT_TRUE(result.fits) << utf8(culture) << " " << utf8(pageName(view)) << " " << control.name << ": "
                                 << result.detail;
    }
    // A release without notes says so in the link's place.
    SetWindowTextW(c.releaseNotesLink, text(L"IDS_NO_RELEASE_NOTES").c_str());
    const Measured none = measure(c.releaseNotesLink, Wrap::SingleLine, 0);
    EXPECT_TRUE(none.fits) << utf8(culture) << " " << utf8(pageName(view)) << " no release notes: " << none.detail;
    SetWindowTextW(c.releaseNotesLink, text(L"IDS_VIEW_RELEASE_NOTES").c_str());
}

// ---------------------------------------------------------------- the drawn page, for the gallery

// A 32-bit top-down DIB section selected into a memory DC.
class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        bits_ = static_cast<std::uint32_t*>(bits);
        if (dc_ && bitmap_) previous_ = SelectObject(dc_, bitmap_);
    }
    ~Canvas() {
        if (previous_) SelectObject(dc_, previous_);
        if (bitmap_) DeleteObject(bitmap_);
        if (dc_) DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool valid() const { return bits_ != nullptr && previous_ != nullptr; }
    HDC dc() const { return dc_; }
    int width() const { return width_; }
    int height() const { return height_; }
    void fill(std::uint32_t pixel) { std::fill(bits_, bits_ + width_ * height_, pixel); }
    // 0xRRGGBB, as a DIB section holds it.
    std::uint32_t at(int x, int y) const { return bits_[y * width_ + x] & 0xFFFFFF; }

private:
    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    std::uint32_t* bits_ = nullptr;
};

// The installer's configuration while it lives: the painting takes the logo's place from it.
class InstallerConfig {
public:
    InstallerConfig() { setProductConfig(makeProductConfig(L"", L"C:\\PF", L"")); }
    ~InstallerConfig() { setProductConfig(saved_); }
    InstallerConfig(const InstallerConfig&) = delete;
    InstallerConfig& operator=(const InstallerConfig&) = delete;

private:
    ProductConfig saved_ = productConfig();
};

// Repaints the whole window now, frame and children included, and copies it from its window DC
// as the screen would show it. (WM_PRINT would not do: Wine's draws neither the frame nor the
// children.)
void render(HWND window, Canvas& canvas) {
    const InstallerConfig config;
    RedrawWindow(window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    HDC windowDc = GetWindowDC(window);
    BitBlt(canvas.dc(), 0, 0, canvas.width(), canvas.height(), windowDc, 0, 0, SRCCOPY);
    ReleaseDC(window, windowDc);
    GdiFlush();
}

constexpr std::uint32_t kUnpainted = 0xFF00FF;  // magenta: what the canvas holds before the copy
constexpr std::uint32_t kWhite = 0xFFFFFF;

bool isBlack(std::uint32_t p) { return p == 0; }
bool isDarkGrey(std::uint32_t p) {
    const int r = p >> 16, g = (p >> 8) & 0xFF, b = p & 0xFF;
    return std::max({r, g, b}) < 110 && std::max({r, g, b}) - std::min({r, g, b}) < 30;
}
bool isLinkBlue(std::uint32_t p) {
    const int r = p >> 16, b = p & 0xFF;
    return b >= 140 && b - r >= 90 && r <= 90;
}
bool isNotWhite(std::uint32_t p) { return p != kWhite; }

// The pixels of a rendered window, addressed in its client coordinates.
struct Drawn {
    const Canvas& canvas;
    POINT client;  // the client area's top left in the canvas

    template <typename Test>
    int count(int left, int top, int right, int bottom, Test test) const {
        int n = 0;
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < right; ++x) n += test(canvas.at(client.x + x, client.y + y)) ? 1 : 0;
        }
        return n;
    }
    int count(const RECT& r, bool (*test)(std::uint32_t)) const { return count(r.left, r.top, r.right, r.bottom, test); }
};

// A control's rectangle in its parent's client coordinates.
RECT placeOf(HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// What a picture of the page must show, else it is no picture of the page: the whole window
// copied, a caption in the frame, the logo and separator, every control the page shows drawn in
// its colours on the white background, and none that it hides. Returns what is wrong.
std::vector<std::string> checkDrawing(HWND window, const WindowControls& c, const Canvas& canvas, const Layout& layout,
                                      int dpi) {
    std::vector<std::string> wrong;
    // The 96-DPI places below, scaled as the window scales its drawing.
    auto s = [dpi](int value) { return scaleToDpi(value, dpi); };
    auto expect = [&wrong](bool ok, const std::string& what) {
        if (!ok) wrong.push_back(what);
    };
    RECT frame{};
    GetWindowRect(window, &frame);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    const Drawn d{canvas, {origin.x - frame.left, origin.y - frame.top}};

    int unpainted = 0;
    for (int y = 0; y < canvas.height(); ++y) {
        for (int x = 0; x < canvas.width(); ++x) unpainted += canvas.at(x, y) == kUnpainted ? 1 : 0;
    }
    expect(unpainted == 0, std::to_string(unpainted) + " pixels of the window were never drawn");

    // The caption bar: its own colour, and the icon's and the title's pixels on it.
    std::map<std::uint32_t, int> captionColours;
    for (int y = d.client.y / 3; y < d.client.y - 1; ++y) {
        for (int x = d.client.x; x < canvas.width() - d.client.x; ++x) ++captionColours[canvas.at(x, y)];
    }
    int barColour = 0, caption = 0;
    for (const auto& [colour, n] : captionColours) {
        barColour = std::max(barColour, n);
        caption += n;
    }
    expect(d.client.x >= 1 && d.client.y >= 18 && caption - barColour > 200,
           "no framed caption with icon and title (" + std::to_string(caption - barColour) +
               " pixels besides the bar's colour)");

    const int line = s(241) - s(240);
    expect(d.count(0, s(240), s(475), s(241), isBlack) == s(475) * line, "the separator line at y 240 is not solid black");
    expect(d.count(0, s(241) + 1, s(475), s(241) + 2, isBlack) < 10, "the separator is thicker than 1 px scaled");
    expect(d.count(s(15), s(260), s(145), s(294), isNotWhite) > s(25) * s(20), "no logo in its rectangle");
    // Drawn at its stored size the logo would reach far right and below its place.
    expect(d.count(s(147), s(258), s(240), s(300), isNotWhite) == 0, "the logo is wider than 130 px scaled");
    expect(d.count(s(15), s(296), s(145), s(300), isNotWhite) == 0, "the logo is taller than 34 px scaled");

    // Statics paint black text on white, the link blue.
    const RECT message = placeOf(c.messageText);
    expect(d.count(message, isDarkGrey) > 50, "the message text is not drawn in black");
    expect(d.count(message, isLinkBlue) == 0, "blue in the message");
    // Its last rows hold no text (four lines fit, with room to spare).
    expect(d.count(message.left, message.bottom - 2, message.right, message.bottom, isNotWhite) == 0,
           "the message's background is not white");
    // The version label and the link share their row side by side.
    expect(d.count(s(15), s(220), s(245), s(240), isDarkGrey) > 20 &&
               d.count(s(15), s(220), s(245), s(240), isLinkBlue) == 0,
           "the version label is not drawn in black");
    expect(d.count(placeOf(c.installerVersionLabel), isDarkGrey) > 20, "the installer's version label is not drawn");
    const int linkBlue = d.count(s(245), s(220), s(460), s(240), isLinkBlue);
    expect(layout.link ? linkBlue > 15 : linkBlue == 0,
           layout.link ? "the release-notes link is not drawn in blue" : "a hidden release-notes link is drawn");

    // A shown control has ink in its rectangle; where a hidden one was, only the white background.
    auto shownOrBlank = [&](const char* name, const RECT& place, bool shown, bool (*ink)(std::uint32_t), int least) {
        if (shown) {
            expect(d.count(place, ink) >= least, std::string(name) + " is not drawn");
        } else {
            expect(d.count(place, isNotWhite) == 0, std::string("the hidden ") + name + " is drawn");
        }
    };
    shownOrBlank("action button", placeOf(c.actionButton), layout.action, isDarkGrey, 20);
    shownOrBlank("Cancel button", placeOf(c.cancelButton), layout.cancel, isDarkGrey, 20);
    shownOrBlank("language label", placeOf(c.languageLabel), layout.language, isDarkGrey, 20);
    // The list and the progress bar take the same place; the closed list is as high as its edit field.
    RECT list = placeOf(c.languageList);
    RECT field{};
    GetClientRect(c.languageList, &field);
    list.bottom = list.top + field.bottom;
    const RECT bar = placeOf(c.progressBar);
    if (layout.language) shownOrBlank("language list", list, true, isDarkGrey, 20);
    if (layout.progress) {
        const int filled = (bar.right - bar.left) * static_cast<int>(layout.progressPosition) / 100;
        shownOrBlank("progress bar", RECT{bar.left, bar.top, bar.left + filled, bar.bottom}, true, isNotWhite,
                     filled * (bar.bottom - bar.top) / 2);
    }
    if (!layout.language && !layout.progress) shownOrBlank("language list or progress bar", bar, false, isNotWhite, 0);
    return wrong;
}

// The window, its controls and its fonts at the prefix's display scale. FLASHDECK_EXPECT_DPI (set
// by the runs at other scales) makes a LogPixels that did not take effect a failure, not a second
// run at 96 DPI.
TEST(TextFit, WindowAndControlsFollowTheDisplayScale) {
    const int dpi = window().dpi();
    char expected[16] = {};
    if (GetEnvironmentVariableA("FLASHDECK_EXPECT_DPI", expected, sizeof expected) > 0) {
        EXPECT_EQ(dpi, std::atoi(expected));
    }
    RECT outer{};
    GetWindowRect(window().handle(), &outer);
    const SIZE size = windowSizeFor(dpi);
    EXPECT_EQ(outer.right - outer.left, size.cx);
    EXPECT_EQ(outer.bottom - outer.top, size.cy);
    if (dpi == designDpi) {
        EXPECT_EQ(size.cx, windowWidth);
        EXPECT_EQ(size.cy, windowHeight);
    }
    const WindowControls& c = window().controls();
    for (const auto& [control, at96] : {std::pair{c.messageText, layout96::messageText},
                                        std::pair{c.actionButton, layout96::actionButton},
                                        std::pair{c.releaseNotesLink, layout96::releaseNotesLink},
                                        std::pair{c.installerVersionLabel, layout96::installerVersionLabel}}) {
        const RECT place = placeOf(control);
        const Box want = scaleToDpi(at96, dpi);
        EXPECT_EQ(place.left, want.x);
        EXPECT_EQ(place.top, want.y);
        EXPECT_EQ(place.right - place.left, want.width);
        EXPECT_EQ(place.bottom - place.top, want.height);
    }
    LOGFONTW font{};
    GetObjectW(window().largeFont(), sizeof font, &font);
    EXPECT_EQ(font.lfHeight, -MulDiv(12, dpi, 72));
    RECT client{};
    GetClientRect(window().handle(), &client);
    std::printf("display scale %d DPI (%d %%): window %ldx%ld, client %ldx%ld, large font %ld px\n", dpi,
                dpi * 100 / designDpi, outer.right - outer.left, outer.bottom - outer.top, client.right, client.bottom,
                -font.lfHeight);
}

// Writes the canvas as a 24-bit BMP file; false when it could not be written whole.
bool writeBmp(const Canvas& canvas, const std::filesystem::path& file) {
    const int rowBytes = (canvas.width() * 3 + 3) & ~3;
    const DWORD imageBytes = static_cast<DWORD>(rowBytes * canvas.height());
    BITMAPFILEHEADER head{};
    head.bfType = 0x4D42;  // "BM"
    head.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    head.bfSize = head.bfOffBits + imageBytes;
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = canvas.width();
    info.biHeight = canvas.height();  // rows bottom-up
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = imageBytes;
    std::string rows(imageBytes, '\0');
    for (int y = 0; y < canvas.height(); ++y) {
        char* row = rows.data() + static_cast<std::size_t>(canvas.height() - 1 - y) * rowBytes;
        for (int x = 0; x < canvas.width(); ++x) {
            const std::uint32_t pixel = canvas.at(x, y);
            row[3 * x] = static_cast<char>(pixel & 0xFF);
            row[3 * x + 1] = static_cast<char>((pixel >> 8) & 0xFF);
            row[3 * x + 2] = static_cast<char>((pixel >> 16) & 0xFF);
        }
    }
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(&head), sizeof head);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(rows.data(), static_cast<std::streamsize>(rows.size()));
    return static_cast<bool>(out.flush());
}

// Where the gallery's tiles go: FLASHDECK_GALLERY_TILES, else gallery\tiles beside the test program.
std::filesystem::path tilesFolder() {
    std::wstring named(32768, L'\0');
    DWORD length = GetEnvironmentVariableW(L"FLASHDECK_GALLERY_TILES", named.data(), static_cast<DWORD>(named.size()));
    if (length > 0 && length < named.size()) return named.substr(0, length);
    length = GetModuleFileNameW(nullptr, named.data(), static_cast<DWORD>(named.size()));
    return std::filesystem::path(named.substr(0, length)).parent_path() / L"gallery" / L"tiles";
}

// The page as the screen shows it, checked, and kept as <tiles>\<page>\<culture>.bmp for the
// contact sheets (tools/compose_gallery.py).
TEST_P(TextFit, PageIsDrawnForTheGallery) {
    const auto& [culture, view] = GetParam();
    const HWND handle = window().handle();
    RECT frame{};
    GetWindowRect(handle, &frame);
    Canvas canvas(frame.right - frame.left, frame.bottom - frame.top);
    ASSERT_TRUE(canvas.valid());
    canvas.fill(kUnpainted);
    render(handle, canvas);
    for (const std::string& what : checkDrawing(handle, window().controls(), canvas, layoutOf(view), window().dpi())) {
        ADD_FAILURE() << utf8(culture) << " " << utf8(pageName(view)) << ": " << what;
    }

    const std::filesystem::path folder = tilesFolder() / pageName(view);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    ASSERT_FALSE(error) << folder.string() << ": " << error.message();
    const std::filesystem::path tile = folder / (culture + L".bmp");
    EXPECT_TRUE(writeBmp(canvas, tile)) << tile.string();
}

std::vector<std::wstring> cultures() {
    std::vector<std::wstring> codes;
    for (const auto& [code, name] : knownLanguages) codes.push_back(code);
    return codes;
}

INSTANTIATE_TEST_SUITE_P(AllLanguagesAllPages, TextFit,
                         ::testing::Combine(::testing::ValuesIn(cultures()), ::testing::ValuesIn(drawnPages)),
                         [](const ::testing::TestParamInfo<TextFit::ParamType>& info) {
                             std::string name = utf8(std::get<0>(info.param) + L"_" + pageName(std::get<1>(info.param)));
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });
}  // namespace
