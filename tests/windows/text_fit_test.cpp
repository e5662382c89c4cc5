// Every text of every page fits its control in every language: the window's own controls, with
// their own fonts, measured the way they draw (DrawTextW with DT_CALCRECT).
//
// Wine has no Segoe UI; the test prefixes substitute Liberation Sans and link Noto Sans CJK for
// CJK glyphs (tools/test-fonts.reg). Latin, Greek and Cyrillic widths of the substitute and of
// Segoe UI differ by a few percent either way, so those parts of a text get kWidthSlackPercent of
// slack; CJK glyphs are a full em in Noto, never narrower than in Windows' CJK UI fonts, and need
// none. A wrapped text is measured in a box narrower by the slack, and its lines are counted at
// Segoe UI's line height, which is taller than the substitute's.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "../unit/known_languages.h"
#include "common/product_config.h"
#include "localization/text_table.h"
#include "system/resources_win.h"
#include "window/controls_win.h"
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

class Window {
public:
    Window() {
        // As the installer does before its window: the common controls come from the System folder.
        startGdiPlus();
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"TextFitTestWindow";
        RegisterClassExW(&windowClass);
        // Message-only: the tests run without a display, and measuring needs no screen.
        window_ = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 490, 357, HWND_MESSAGE, nullptr,
                                  windowClass.hInstance, nullptr);
        smallFont_ = createAppFont(window_, 10);
        largeFont_ = createAppFont(window_, 12);
        createControls(controls_, window_, windowClass.hInstance, L"", L"");
        assignFontsAndCursors(controls_, smallFont_, largeFont_);
    }
    ~Window() {
        DestroyWindow(window_);
        DeleteObject(smallFont_);
        DeleteObject(largeFont_);
    }
    const WindowControls& controls() const { return controls_; }
    HFONT largeFont() const { return largeFont_; }

private:
    HWND window_ = nullptr;
    HFONT smallFont_ = nullptr;
    HFONT largeFont_ = nullptr;
    WindowControls controls_;
};

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

class TextFit : public ::testing::TestWithParam<std::tuple<std::wstring, Page>> {};

TEST_P(TextFit, EveryShownTextFitsItsControl) {
    const auto& [culture, view] = GetParam();
    loadTexts();
    textTable().setCulture(culture);
    ASSERT_EQ(textTable().getCulture(), culture);
    const Scenario scenario = scenarioOf(view);
    const Version installed = version(scenario.installed);
    const Version offered = version(scenario.offered);
    const std::wstring brand = makeProductConfig(L"", L"C:\\PF", L"").brandName;
    const PageTexts page = pageTexts(view, brand, installed, offered);
    ASSERT_FALSE(page.message.empty());

    const WindowControls& c = window().controls();
    SetWindowTextW(c.messageText, page.message.c_str());
    SetWindowTextW(c.actionButton, page.actionCaption.c_str());
    SetWindowTextW(c.cancelButton, text(L"IDS_CANCEL").c_str());
    SetWindowTextW(c.releaseNotesLink, text(L"IDS_VIEW_RELEASE_NOTES").c_str());
    SetWindowTextW(c.languageLabel, text(L"options_select_language").c_str());
    SetWindowTextW(c.versionLabel, versionLabelText(text(L"IDS_VERSION"), offered.versionText).c_str());
    SetWindowTextW(c.installerVersionLabel,
                   installerVersionLabelText(text(L"IDS_INSTALL"), text(L"IDS_VERSION"), installerVersion).c_str());

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
    if (!page.actionCaption.empty()) checked.push_back({"actionButton", c.actionButton, Wrap::SingleLine, kButtonInset});
    for (const Checked& control : checked) {
        const Measured result = measure(control.control, control.wrap, control.inset);
        EXPECT_TRUE(result.fits) << utf8(culture) << " " << utf8(pageName(view)) << " " << control.name << ": "
                                 << result.detail;
    }
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
