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
// Draws the logo and the separator line.
void paintLogoAndSeparator(HDC dc, Gdiplus::GpImage* logo);
// Colours of a static control: blue for the link, black otherwise, on the white brush.
HBRUSH colourStatic(HDC dc, HWND control, HWND link);
