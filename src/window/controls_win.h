// The window's controls, fonts, colours and logo.
#pragma once
#include <windows.h>

#include <string>

namespace Gdiplus {
class GpImage;
}

// The window's outer size and style: a fixed frame with caption, system menu and minimize box.
inline constexpr int windowWidth = 490;
inline constexpr int windowHeight = 357;
inline constexpr DWORD windowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// The window class: the product icon, the arrow cursor and a white background.
WNDCLASSEXW windowClassOf(HINSTANCE instance, WNDPROC procedure, const wchar_t* name);

// Control identifiers, in creation order: the dialog manager finds the default button (IDOK) and
// Escape's button (IDCANCEL) by them.
enum ControlId : int {
    actionButtonId = IDOK,
    cancelButtonId = IDCANCEL,
    languageListId,
    progressBarId,
    releaseNotesLinkId,
    messageTextId,
    languageLabelId,
    versionLabelId,
    installerVersionLabelId,
};

struct WindowControls {
    HWND actionButton = nullptr;
    HWND cancelButton = nullptr;
    HWND languageList = nullptr;
    HWND progressBar = nullptr;
    HWND releaseNotesLink = nullptr;
    HWND messageText = nullptr;
    HWND languageLabel = nullptr;
    HWND versionLabel = nullptr;
    HWND installerVersionLabel = nullptr;
};

// Creates the nine controls in their fixed places and order, with the texts every page starts with.
void createControls(WindowControls& controls, HWND parent, HINSTANCE instance, const std::wstring& versionLabel,
                    const std::wstring& installerVersionLabel);
void assignFontsAndCursors(const WindowControls& controls, HFONT smallFont, HFONT largeFont);

void startGdiPlus();
HFONT createAppFont(HWND window, int points);
HFONT createAppFontAt(int dpi, int points);
HWND createButton(HWND parent, HINSTANCE instance, const std::wstring& text, DWORD style, int x, int y);
HWND createLanguageList(HWND parent, HINSTANCE instance, int x, int y, int width);
HWND createProgressBar(HWND parent, HINSTANCE instance, int x, int y, int width, int height);
HWND createLabel(HWND parent, HINSTANCE instance, const std::wstring& text, int x, int y, int width, int height,
                 bool rightAlign, bool notify);
// Fills the list with the display names in culture-code order and selects the current culture.
void fillLanguageList(HWND list);
void setProgress(HWND progressBar, unsigned position);

// The logo PNG of the resources as a GDI+ image, or null.
Gdiplus::GpImage* loadPngResource(int id);
// Draws the logo and the separator line at their places for the DPI.
void paintLogoAndSeparator(HDC dc, Gdiplus::GpImage* logo, int dpi);

// The window's DPI: the monitor's where the system says (a per-monitor aware window), else the
// system's.
int windowDpi(HWND window);
// The window's outer size at a DPI: the 96-DPI client area scaled, in the frame of that DPI.
SIZE windowSizeFor(int dpi);
// Every control to its 96-DPI place scaled to the DPI.
void layoutControls(const WindowControls& controls, int dpi);

// The colours the window draws with: fixed ones, or the system's under a high-contrast theme.
struct WindowColours {
    COLORREF text;
    COLORREF link;
    COLORREF disabled;
    HBRUSH background;
    HBRUSH line;
    bool highContrast;
};
WindowColours windowColours();
// Reads the high-contrast setting again, after the system's colours or settings changed.
void refreshColours();
// Colours of a static control: the text colour (the link's for the link) on the background brush.
HBRUSH colourStatic(HDC dc, HWND control, HWND link);
// The release-notes link, an owner-drawn button: its right-aligned text in the link colour on the
// window background, with the focus rectangle around the text while it has the keyboard focus.
void drawLink(const DRAWITEMSTRUCT& item);
// The link presses itself on Enter (a push button would, but the dialog manager sends Enter on an
// owner-drawn button to the default button).
void makeLinkTakeEnter(HWND link);
