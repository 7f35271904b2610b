#include "iLedRound.h"

#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cmath>

namespace {

// The platform's elliptic arc: on the ellipse inscribed in the Win32 rectangle (l, t, r, b), drawn
// counter-clockwise from the ray through start to the ray through end, both rays from the centre.
void WinArc(QPainter& Canvas, int l, int t, int r, int b, QPointF start, QPointF end) {
    const QRect box = iWinRect(l, t, r, b);
    if (box.width() <= 0 || box.height() <= 0)
        return;
    const QPointF c((l + r) / 2.0, (t + b) / 2.0);
    const double a0 = std::atan2(-(start.y() - c.y()), start.x() - c.x()) * 180.0 / M_PI;
    const double a1 = std::atan2(-(end.y() - c.y()), end.x() - c.x()) * 180.0 / M_PI;
    double span = a1 - a0;
    while (span <= 0)
        span += 360.0;
    Canvas.drawArc(box.adjusted(0, 0, -1, -1), iRound(a0 * 16), iRound(span * 16));
}

// The diagonal gradient over (0, 0, W, H) from A at the top left to B at the bottom right: one line per
// step from the top edge to the left edge, the end pixel excluded.
void DrawDiagonalGradient(QPainter& Canvas, int W, int H, TColor A, TColor B) {
    const int S = std::max(W, H);
    const int F = 2 * (S - 1);
    if (F <= 0)
        return;
    const TColor a = ColorToRGB(A), b = ColorToRGB(B);
    auto mix = [F](TColor from, TColor to, int shift, int i) {
        const double v =
            double(i) / F * ((to >> shift) & 0xFF) + double(F - i) / F * ((from >> shift) & 0xFF);
        return std::clamp(iRound(v), 0, 255);
    };
    for (int i = 0; i <= F; ++i) {
        Canvas.setPen(QColor(mix(a, b, 0, i), mix(a, b, 8, i), mix(a, b, 16, i)));
        iLine(Canvas, QPoint(iRound(2.0 * i / F * (W - 1)) - 1, 0),
              QPoint(-1, iRound(2.0 * i / F * (H - 1))));
    }
}

} // namespace

TiLedRound::TiLedRound(QWidget* parent) : TiLed(parent) {}

void TiLedRound::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    if (!IsLoading()) {
        if (AWidth != Width())
            AHeight = AWidth;
        else if (AHeight != Height())
            AWidth = AHeight;
    }
    TiLed::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void TiLedRound::iPaintTo(QPainter& Canvas) {
    DrawBackGround(Canvas, BackGroundColor());
    const int W = Width(), H = Height();
    // The body rectangle R, in Win32 terms (right and bottom outside).
    int left = 0, top = 0, right = W, bottom = H;

    if (BevelStyle() != ibsNone) {
        // The ring's shading follows the button face, whatever the widget's own background.
        const TColor light = ColorLighten(clBtnFace, 32), dark = ColorDarken(clBtnFace, 64);
        Canvas.save();
        Canvas.setClipRegion(QRegion(0, 0, W, H, QRegion::Ellipse));
        if (BevelStyle() == ibsLowered)
            DrawDiagonalGradient(Canvas, W, H, dark, light);
        else
            DrawDiagonalGradient(Canvas, W, H, light, dark);
        Canvas.restore();
        left = 2;
        top = 2;
        right = W - 3;
        bottom = H - 3;
    }

    // Pen and brush in the lamp colour, so the disc has no outline of another colour.
    const QColor lamp = ColorToQColor(LedColor());
    Canvas.setPen(QPen(lamp, 1));
    Canvas.setBrush(lamp);
    iEllipse(Canvas, iWinRect(left, top, right, bottom));

    if (ShowReflection()) {
        Canvas.setPen(QPen(Qt::white, 1));
        Canvas.setBrush(Qt::NoBrush);
        const int q = W / 4; // the widget's width, also when the disc is inset
        const QPointF from(right / 2, top), to(left, bottom / 2);
        WinArc(Canvas, left + q, top + q, right - q, bottom - q, from, to);
        WinArc(Canvas, left + q + 1, top + q + 1, right - q - 1, bottom - q - 1, from, to);
    }
}
