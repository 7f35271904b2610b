#include "iLedBar.h"

#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

bool IsVertical(TiLedBar::TiDirection d) {
    return d == TiLedBar::idUp || d == TiLedBar::idDown;
}

// Rounds a segment index computed from a value; values far outside the bar only need to stay outside,
// so they are limited before rounding.
int RoundIndex(double v, int count) {
    if (std::isnan(v))
        return 0;
    return iRound(std::clamp(v, -1.0, double(count) + 1.0));
}

} // namespace

TiLedBar::TiLedBar(QWidget* parent) : TiProgressComponent(parent) {
    SetBackGroundColor(clBlack);
    resize(16, 200);
}

void TiLedBar::SetSegmentDirection(TiDirection value) {
    if (value == m_segmentDirection)
        return;
    // The bar turns with its direction, so a vertical bar becomes a horizontal one of the same shape.
    if (!IsLoading() && IsVertical(value) != IsVertical(m_segmentDirection))
        SetBounds(Left(), Top(), Height(), Width());
    m_segmentDirection = value;
    InvalidateChange();
}

TiLedBar::Layout TiLedBar::SegmentLayout() const {
    Layout l;
    int left = 0, top = 0, right = Width(), bottom = Height();
    if (BorderStyle() == ibsRaised || BorderStyle() == ibsLowered) {
        left += 2;
        top += 2;
        right -= 2;
        bottom -= 2;
    }
    const int m = m_segmentMargin;
    const int z = m_segmentSize;
    const bool vertical = IsVertical(m_segmentDirection);
    const int run = (vertical ? bottom - top : right - left) - 2 * m + 2;
    l.Pitch = z + m_segmentSpacing;
    if (l.Pitch != 0) {
        l.Count = std::max(0, run / l.Pitch);
        l.Offset = (run % l.Pitch) / 2;
    }
    switch (m_segmentDirection) {
    case idUp:
        l.Left = left + m;
        l.Right = right - m;
        l.Bottom = bottom - l.Offset - m;
        l.Top = l.Bottom - z;
        break;
    case idDown:
        l.Left = left + m;
        l.Right = right - m;
        l.Top = top + l.Offset + m;
        l.Bottom = l.Top + z;
        break;
    case idRight:
        l.Left = left + m;
        l.Right = l.Left + z;
        l.Top = top + m;
        l.Bottom = bottom - m;
        break;
    case idLeft:
        l.Right = right - m;
        l.Left = l.Right - z;
        l.Top = top + m;
        l.Bottom = bottom - m;
        break;
    }
    return l;
}

int TiLedBar::LitCount(double Fraction, int Count) {
    return RoundIndex(Fraction * Count + 0.5, Count);
}

QVector<TiLedBar::Segment> TiLedBar::Segments() const {
    QVector<Segment> out;
    const Layout l = SegmentLayout();
    const int n = l.Count;
    if (n <= 0)
        return out;
    const double min = PositionMin(), max = PositionMax(), pos = Position();
    const int lit = LitCount(PositionFraction(pos), n);

    std::array<int, 4> boundary = {0, 0, 0, 0};
    if (max != min) {
        const double ends[4] = {SectionEnd1(), SectionEnd2(), SectionEnd3(), SectionEnd4()};
        for (int j = 0; j < 4; ++j)
            boundary[j] = RoundIndex((ends[j] - min) / (max - min) * n, n);
    }

    int dx = 0, dy = 0;
    switch (m_segmentDirection) {
    case idUp:
        dy = -l.Pitch;
        break;
    case idDown:
        dy = l.Pitch;
        break;
    case idRight:
        dx = l.Pitch;
        break;
    case idLeft:
        dx = -l.Pitch;
        break;
    }

    int section = 1;
    for (int i = 0; i < n; ++i) {
        Segment s;
        s.Left = l.Left + i * dx;
        s.Right = l.Right + i * dx;
        s.Top = l.Top + i * dy;
        s.Bottom = l.Bottom + i * dy;
        s.Value = (max - min) / n * i + min;
        // Filling from the start, nothing past the lit count is drawn without off segments. Filling
        // from a reference, lit segments can lie past that count, so every segment is looked at.
        if (i == lit && !ShowOffSegments() && !m_fillReferenceEnabled)
            break;
        for (int k = 2; k <= 5; ++k)
            if (SectionCount() > k - 1 && i >= boundary[k - 2])
                section = k;
        s.Section = section;
        if (m_fillReferenceEnabled)
            s.Lit = (s.Value >= m_fillReferenceValue && pos >= s.Value) ||
                    (s.Value < m_fillReferenceValue && pos <= s.Value);
        else
            s.Lit = i < lit;
        const TColor on = SectionColor(section);
        if (s.Lit)
            s.Color = on;
        else if (ShowOffSegments())
            s.Color = ColorDim(on, 3);
        else
            s.Color = BackGroundColor(); // still drawn: it covers a picture, and a circle keeps its highlight
        out.append(s);
    }
    return out;
}

void TiLedBar::iPaintTo(QPainter& Canvas) {
    DrawBackGround(Canvas, BackGroundColor());
    for (const Segment& s : Segments())
        DrawSegment(Canvas, s);
}

void TiLedBar::DrawSegment(QPainter& Canvas, const Segment& s) const {
    const QColor color = ColorToQColor(s.Color);
    const int z = m_segmentSize;
    const int cx = (s.Left + s.Right) / 2;
    const int cy = (s.Top + s.Bottom) / 2;
    Canvas.save();
    Canvas.setPen(QPen(color, 0));
    Canvas.setBrush(color);
    switch (m_segmentStyle) {
    case ilbssRectangle:
        if (s.Right > s.Left && s.Bottom > s.Top)
            iFillRect(Canvas, iWinRect(s.Left, s.Top, s.Right, s.Bottom), color);
        break;
    case ilbssCircle: {
        const int left = cx - z / 2, top = cy - z / 2;
        iEllipse(Canvas, iWinRect(left, top, left + z, top + z));
        // Highlight in the upper-left quarter: white on a lit segment, the section colour on an unlit one.
        Canvas.setPen(QPen(s.Lit ? QColor(Qt::white) : ColorToQColor(SectionColor(s.Section)), 0));
        Canvas.setBrush(Qt::NoBrush);
        for (int d : {z / 4, z / 4 + 1}) {
            const QRect r = iWinRect(left + d, top + d, left + z - d, top + z - d);
            if (r.width() > 1 && r.height() > 1)
                Canvas.drawArc(r.adjusted(0, 0, -1, -1), 90 * 16, 90 * 16);
        }
        break;
    }
    case ilbssTriangle: {
        QPolygon tri;
        switch (m_segmentDirection) {
        case idUp:
            tri << QPoint(cx - z / 2, s.Bottom) << QPoint(cx + z / 2, s.Bottom) << QPoint(cx, s.Top);
            break;
        case idDown:
            tri << QPoint(cx - z / 2, s.Top) << QPoint(cx + z / 2, s.Top) << QPoint(cx, s.Bottom);
            break;
        case idRight:
            tri << QPoint(s.Left, cy - z / 2) << QPoint(s.Left, cy + z / 2) << QPoint(s.Right, cy);
            break;
        case idLeft:
            tri << QPoint(s.Right, cy - z / 2) << QPoint(s.Right, cy + z / 2) << QPoint(s.Left, cy);
            break;
        }
        iPolygon(Canvas, tri, color);
        break;
    }
    }
    Canvas.restore();
}
