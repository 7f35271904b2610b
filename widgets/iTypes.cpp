#include "iTypes.h"

#include <algorithm>
#include <array>

namespace {

// The classic desktop scheme, so the window renders the same on every Linux desktop theme.
constexpr std::array<TColor, 29> kSysColors = {
    RGBValue(212, 208, 200), // 0 scroll bar
    RGBValue(58, 110, 165),  // 1 desktop
    RGBValue(10, 36, 106),   // 2 active caption
    RGBValue(128, 128, 128), // 3 inactive caption
    RGBValue(212, 208, 200), // 4 menu
    RGBValue(255, 255, 255), // 5 window
    RGBValue(0, 0, 0),       // 6 window frame
    RGBValue(0, 0, 0),       // 7 menu text
    RGBValue(0, 0, 0),       // 8 window text
    RGBValue(255, 255, 255), // 9 caption text
    RGBValue(212, 208, 200), // 10 active border
    RGBValue(212, 208, 200), // 11 inactive border
    RGBValue(128, 128, 128), // 12 application workspace
    RGBValue(10, 36, 106),   // 13 highlight
    RGBValue(255, 255, 255), // 14 highlight text
    RGBValue(212, 208, 200), // 15 button face
    RGBValue(128, 128, 128), // 16 button shadow
    RGBValue(128, 128, 128), // 17 grey text
    RGBValue(0, 0, 0),       // 18 button text
    RGBValue(212, 208, 200), // 19 inactive caption text
    RGBValue(255, 255, 255), // 20 button highlight
    RGBValue(64, 64, 64),    // 21 3D dark shadow
    RGBValue(212, 208, 200), // 22 3D light
    RGBValue(0, 0, 0),       // 23 tool-tip text
    RGBValue(255, 255, 225), // 24 tool-tip background
    RGBValue(181, 181, 181), // 25 (unused index)
    RGBValue(0, 0, 128),     // 26 hot light
    RGBValue(166, 202, 240), // 27 gradient active caption
    RGBValue(192, 192, 192), // 28 gradient inactive caption
};

} // namespace

TColor ColorToRGB(TColor c) {
    if (IsSysColor(c)) {
        const unsigned index = c & 0xFFu;
        return index < kSysColors.size() ? kSysColors[index] : clBlack;
    }
    return c & 0x00FFFFFFu;
}

QColor ColorToQColor(TColor c) {
    const TColor rgb = ColorToRGB(c);
    return QColor(int(rgb & 0xFF), int((rgb >> 8) & 0xFF), int((rgb >> 16) & 0xFF));
}

TColor QColorToColor(const QColor& c) {
    return RGBValue(c.red(), c.green(), c.blue());
}

namespace {
TColor AddToChannels(TColor c, int n) {
    const TColor rgb = ColorToRGB(c);
    auto channel = [&](int shift) { return std::clamp(int((rgb >> shift) & 0xFF) + n, 0, 255); };
    return RGBValue(channel(0), channel(8), channel(16));
}
} // namespace

TColor ColorLighten(TColor c, int n) {
    return AddToChannels(c, n);
}
TColor ColorDarken(TColor c, int n) {
    return AddToChannels(c, -n);
}
TColor ColorDim(TColor c, int n) {
    if (n == 0)
        return c;
    return RGBValue(int(c & 0xFF) / n, int((c >> 8) & 0xFF) / n, int((c >> 16) & 0xFF) / n);
}
