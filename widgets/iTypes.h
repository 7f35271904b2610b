#pragma once
// Colour values as the window layout and the widgets hold them: 32 bits, red in the low byte, green
// in the next, blue in the third. A value whose top byte is 0xFF names a system colour by the index in
// its low byte. This is the one place where such values become QColor; windows and widgets both use it.

#include <QColor>
#include <cstdint>

using TColor = std::uint32_t;

// System colour indices (low byte of a system colour value).
enum TSysColorIndex : int {
    COLOR_SCROLLBAR = 0,
    COLOR_BACKGROUND = 1,
    COLOR_ACTIVECAPTION = 2,
    COLOR_INACTIVECAPTION = 3,
    COLOR_MENU = 4,
    COLOR_WINDOW = 5,
    COLOR_WINDOWFRAME = 6,
    COLOR_MENUTEXT = 7,
    COLOR_WINDOWTEXT = 8,
    COLOR_CAPTIONTEXT = 9,
    COLOR_ACTIVEBORDER = 10,
    COLOR_INACTIVEBORDER = 11,
    COLOR_APPWORKSPACE = 12,
    COLOR_HIGHLIGHT = 13,
    COLOR_HIGHLIGHTTEXT = 14,
    COLOR_BTNFACE = 15,
    COLOR_BTNSHADOW = 16,
    COLOR_GRAYTEXT = 17,
    COLOR_BTNTEXT = 18,
    COLOR_INACTIVECAPTIONTEXT = 19,
    COLOR_BTNHIGHLIGHT = 20,
    COLOR_3DDKSHADOW = 21,
    COLOR_3DLIGHT = 22,
    COLOR_INFOTEXT = 23,
    COLOR_INFOBK = 24,
    COLOR_HOTLIGHT = 26,
    COLOR_GRADIENTACTIVECAPTION = 27,
    COLOR_GRADIENTINACTIVECAPTION = 28,
};

constexpr TColor SysColorValue(int index) {
    return 0xFF000000u | static_cast<TColor>(index & 0xFF);
}
constexpr TColor RGBValue(int r, int g, int b) {
    return static_cast<TColor>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

// Named colours of the layout.
constexpr TColor clBlack = RGBValue(0, 0, 0);
constexpr TColor clMaroon = RGBValue(128, 0, 0);
constexpr TColor clGreen = RGBValue(0, 128, 0);
constexpr TColor clOlive = RGBValue(128, 128, 0);
constexpr TColor clNavy = RGBValue(0, 0, 128);
constexpr TColor clPurple = RGBValue(128, 0, 128);
constexpr TColor clTeal = RGBValue(0, 128, 128);
constexpr TColor clGray = RGBValue(128, 128, 128);
constexpr TColor clSilver = RGBValue(192, 192, 192);
constexpr TColor clRed = RGBValue(255, 0, 0);
constexpr TColor clLime = RGBValue(0, 255, 0);
constexpr TColor clYellow = RGBValue(255, 255, 0);
constexpr TColor clBlue = RGBValue(0, 0, 255);
constexpr TColor clFuchsia = RGBValue(255, 0, 255);
constexpr TColor clAqua = RGBValue(0, 255, 255);
constexpr TColor clWhite = RGBValue(255, 255, 255);
constexpr TColor clSkyBlue = RGBValue(166, 202, 240);

constexpr TColor clScrollBar = SysColorValue(COLOR_SCROLLBAR);
constexpr TColor clBackground = SysColorValue(COLOR_BACKGROUND);
constexpr TColor clActiveCaption = SysColorValue(COLOR_ACTIVECAPTION);
constexpr TColor clInactiveCaption = SysColorValue(COLOR_INACTIVECAPTION);
constexpr TColor clMenu = SysColorValue(COLOR_MENU);
constexpr TColor clWindow = SysColorValue(COLOR_WINDOW);
constexpr TColor clWindowFrame = SysColorValue(COLOR_WINDOWFRAME);
constexpr TColor clMenuText = SysColorValue(COLOR_MENUTEXT);
constexpr TColor clWindowText = SysColorValue(COLOR_WINDOWTEXT);
constexpr TColor clCaptionText = SysColorValue(COLOR_CAPTIONTEXT);
constexpr TColor clActiveBorder = SysColorValue(COLOR_ACTIVEBORDER);
constexpr TColor clInactiveBorder = SysColorValue(COLOR_INACTIVEBORDER);
constexpr TColor clAppWorkSpace = SysColorValue(COLOR_APPWORKSPACE);
constexpr TColor clHighlight = SysColorValue(COLOR_HIGHLIGHT);
constexpr TColor clHighlightText = SysColorValue(COLOR_HIGHLIGHTTEXT);
constexpr TColor clBtnFace = SysColorValue(COLOR_BTNFACE);
constexpr TColor clBtnShadow = SysColorValue(COLOR_BTNSHADOW);
constexpr TColor clGrayText = SysColorValue(COLOR_GRAYTEXT);
constexpr TColor clBtnText = SysColorValue(COLOR_BTNTEXT);
constexpr TColor clInactiveCaptionText = SysColorValue(COLOR_INACTIVECAPTIONTEXT);
constexpr TColor clBtnHighlight = SysColorValue(COLOR_BTNHIGHLIGHT);
constexpr TColor cl3DDkShadow = SysColorValue(COLOR_3DDKSHADOW);
constexpr TColor cl3DLight = SysColorValue(COLOR_3DLIGHT);
constexpr TColor clInfoText = SysColorValue(COLOR_INFOTEXT);
constexpr TColor clInfoBk = SysColorValue(COLOR_INFOBK);
constexpr TColor clHotLight = SysColorValue(COLOR_HOTLIGHT);

constexpr bool IsSysColor(TColor c) {
    return (c & 0xFF000000u) == 0xFF000000u;
}

// The RGB value of a colour, system colours resolved to the classic desktop scheme.
TColor ColorToRGB(TColor c);

// The colour as QColor (opaque), system colours resolved.
QColor ColorToQColor(TColor c);

// The layout's colour value of an opaque QColor (never a system colour).
TColor QColorToColor(const QColor& c);

// Shading steps of the widgets, system colours resolved first: add (lighten) or subtract (darken) n to
// each of red, green and blue, clamped to 0..255.
TColor ColorLighten(TColor c, int n);
TColor ColorDarken(TColor c, int n);
// Each channel of the raw colour value divided by n (the dimmed look of an unlit LED).
TColor ColorDim(TColor c, int n);
