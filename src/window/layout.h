// Where the window's controls and drawings go: designed at 96 DPI, scaled to the window's DPI.
#pragma once

struct Box {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

inline constexpr int designDpi = 96;

// value * dpi / 96, rounded to the nearest pixel; a non-zero length never shrinks to nothing.
int scaleToDpi(int value, int dpi);
Box scaleToDpi(const Box& box, int dpi);

// The 96-DPI places, in client pixels.
namespace layout96 {
inline constexpr Box actionButton{354, 262, 105, 29};
inline constexpr Box cancelButton{245, 262, 105, 29};
// The height includes the dropped-down list.
inline constexpr Box languageList{15, 167, 244, 450};
inline constexpr Box progressBar{15, 167, 445, 25};
// The version label and the link share a row without overlapping: the label's one format text
// needs up to 230 pixels in some languages, the link's right-aligned text fits in the rest.
inline constexpr Box releaseNotesLink{245, 220, 215, 20};
inline constexpr Box messageText{15, 40, 444, 90};
inline constexpr Box languageLabel{15, 145, 250, 20};
inline constexpr Box versionLabel{15, 220, 230, 20};
inline constexpr Box installerVersionLabel{10, 300, 200, 20};
// The separator line across the window, one pixel high at 96 DPI.
inline constexpr Box separator{0, 240, 475, 1};
}  // namespace layout96
