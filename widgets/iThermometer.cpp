#include "iThermometer.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>

#include <algorithm>

namespace {

// Qt arcs take the rectangle through the outline's pixels; a window-style square excludes its right
// and bottom edge. Angles in degrees, counter-clockwise from 3 o'clock.
void Arc(QPainter& Canvas, const QRect& square, int startDeg, int spanDeg) {
    if (square.width() < 2 || square.height() < 2)
        return;
    Canvas.drawArc(square.adjusted(0, 0, -1, -1), startDeg * 16, spanDeg * 16);
}

void FillWin(QPainter& Canvas, int l, int t, int r, int b, const QColor& c) {
    if (r > l && b > t)
        iFillRect(Canvas, iWinRect(l, t, r, b), c);
}

void EllipseWin(QPainter& Canvas, int l, int t, int r, int b) {
    if (r > l && b > t)
        iEllipse(Canvas, iWinRect(l, t, r, b));
}

} // namespace

TiThermometer::TiThermometer(QWidget* parent) : TiScaleComponent(parent) {
    SetTickMajorLength(10);
    SetTickMinorLength(6);
    SetTickMargin(8);
    SetMinMaxPointerMargin(5);
    resize(100, 150);
}

void TiThermometer::SetOrientation(TiOrientation value) {
    if (value == m_orientation)
        return;
    // The widget turns with its tube.
    if (!IsLoading())
        SetBounds(Left(), Top(), Height(), Width());
    m_orientation = value;
    BackGroundChange();
}

QPoint TiThermometer::GetCenterPoint() const {
    QPoint c = TiScaleComponent::GetCenterPoint();
    if (!m_autoCenter)
        return c;
    int labels = 0;
    if (ShowTickLabels()) {
        const QFontMetrics fm(TickLabelFont()->ToQFont());
        int extent = 0;
        for (double v : {PositionMin(), PositionMax()}) {
            const QSize size = fm.size(Qt::TextSingleLine, FormatTickValue(v));
            extent = std::max(extent, Vertical() ? size.width() : size.height());
        }
        labels = TickLabelMargin() + extent;
    }
    int pointers = 0;
    if ((ShowMaxPointer() || ShowMinPointer()) && MinMaxPointerSize() > 0)
        pointers = MinMaxPointerMargin() + MinMaxPointerSize();
    for (int i = 0; i < LimitCount(); ++i) {
        const TiLimitObject& l = Limit(i);
        if (l.ShowUpperPointer || l.ShowLowerPointer)
            pointers = std::max(pointers, l.PointerMargin + l.PointerSize);
    }
    int s = labels - m_indicatorWidth - pointers;
    if (ShowTicksMajor())
        s += TickMajorLength() + TickMargin();
    // Away from the scale side, so the scale's extra width is balanced.
    const int shift = m_orientationTickMarks == iosBottomRight ? -(s / 2) : s / 2;
    if (Vertical())
        c.rx() += shift;
    else
        c.ry() += shift;
    return c;
}

TiThermometer::Geometry TiThermometer::ComputeGeometry() const {
    Geometry g;
    g.Center = GetCenterPoint();
    const int w = m_indicatorWidth;
    if (Vertical()) {
        g.TubeLeft = g.Center.x() - w;
        g.TubeRight = g.Center.x() + w;
        g.TubeTop = m_endsMargin + OffsetY();
        g.TubeBottom = Height() + OffsetY() - m_endsMargin;
    } else {
        g.TubeLeft = m_endsMargin + OffsetX();
        g.TubeRight = Width() + OffsetX() - m_endsMargin;
        g.TubeTop = g.Center.y() - w;
        g.TubeBottom = g.Center.y() + w;
    }
    g.SpanLeft = g.TubeLeft;
    g.SpanTop = g.TubeTop;
    g.SpanRight = g.TubeRight;
    g.SpanBottom = g.TubeBottom;
    switch (m_indicatorStyle) {
    case itisBulb:
        // The bulb end of the tube is taken by the bulb.
        if (Vertical())
            g.SpanBottom -= 2 * m_indicatorBulbSize;
        else
            g.SpanLeft += 2 * m_indicatorBulbSize;
        break;
    case itisBar:
        break;
    case itisBarSunken:
    case itisBarRaised:
        if (Vertical()) {
            g.SpanTop += 2;
            g.SpanBottom -= 2;
        } else {
            g.SpanLeft += 2;
            g.SpanRight -= 2;
        }
        break;
    }
    return g;
}

int TiThermometer::PositionToPixel(double V) const {
    const Geometry g = ComputeGeometry();
    const double f = PositionFraction(V);
    // The bulb always grows from the bulb; only the bar looks follow a reversed scale.
    const bool reverse = m_reverseScale && m_indicatorStyle != itisBulb;
    if (Vertical()) {
        const int h = iRound(f * (g.SpanBottom - g.SpanTop));
        return reverse ? g.SpanTop + h : g.SpanBottom - h;
    }
    const int w = iRound(f * (g.SpanRight - g.SpanLeft));
    return reverse ? g.SpanRight - w : g.SpanLeft + w;
}

QPoint TiThermometer::BulbCenter() const {
    const Geometry g = ComputeGeometry();
    if (Vertical())
        return QPoint(g.Center.x(), g.SpanBottom + m_indicatorBulbSize - 1);
    return QPoint(g.SpanLeft - m_indicatorBulbSize, g.Center.y() + 1);
}

void TiThermometer::ConfigureScale(const Geometry& g) {
    TiScaleLayout& l = Scale()->Layout;
    l.Low = PositionMin();
    l.High = PositionMax();
    l.PixelLow = Vertical() ? g.SpanBottom : g.SpanLeft;
    l.PixelHigh = Vertical() ? g.SpanTop : g.SpanRight;
    l.Reverse = m_reverseScale;
    l.Orientation = m_orientation;
    l.Side = m_orientationTickMarks;
    l.BaseLine = Vertical() ? g.Center.x() : g.Center.y();
    l.SwapMinorAlignment = false;
}

void TiThermometer::iPaintTo(QPainter& Canvas) {
    const Geometry g = ComputeGeometry();
    ConfigureScale(g);
    PaintStaticLayers(Canvas, [this](QPainter& p) {
        DrawBackGround(p, BackGroundColor());
        DrawScale(p, ShowDisabledState() && !isEnabled());
    });

    if (m_indicatorStyle == itisBulb)
        DrawBulb(Canvas, g);
    else
        DrawBar(Canvas, g);

    m_maxPointerRect = ShowMaxPointer() ? DrawPointer(Canvas, g, CurrentMax(), MaxPointerColor(),
                                                      MinMaxPointerMargin(), MinMaxPointerSize())
                                        : QRect();
    m_minPointerRect = ShowMinPointer() ? DrawPointer(Canvas, g, CurrentMin(), MinPointerColor(),
                                                      MinMaxPointerMargin(), MinMaxPointerSize())
                                        : QRect();
    for (int i = 0; i < LimitCount(); ++i) {
        const TiLimitObject& l = Limit(i);
        if (l.ShowUpperPointer)
            DrawPointer(Canvas, g, l.UpperValue, l.UpperColor, l.PointerMargin, l.PointerSize);
        if (l.ShowLowerPointer)
            DrawPointer(Canvas, g, l.LowerValue, l.LowerColor, l.PointerMargin, l.PointerSize);
    }
}

void TiThermometer::DrawBulb(QPainter& Canvas, const Geometry& g) {
    const QColor mercury = ColorToQColor(m_indicatorColor);
    const int b = m_indicatorBulbSize;
    const int w = m_indicatorWidth;
    const QPoint c = BulbCenter();
    const QRect bulb = iWinRect(c.x() - b, c.y() - b, c.x() + b, c.y() + b);
    const int gl = 2 * b / 5;
    const QRect glint = iWinRect(c.x() - gl, c.y() - gl, c.x() + gl, c.y() + gl);

    Canvas.save();
    Canvas.setPen(QPen(mercury, 0));
    Canvas.setBrush(mercury);
    if (b > 0)
        iEllipse(Canvas, bulb);

    // Bevel ring: light on the upper left (from the top round to the lower-left), shadow elsewhere.
    Canvas.setBrush(Qt::NoBrush);
    auto ring = [&](const QRect& square, TColor light, TColor shadow) {
        Canvas.setPen(QPen(ColorToQColor(light), 0));
        Arc(Canvas, square, 90, 135);
        Canvas.setPen(QPen(ColorToQColor(shadow), 0));
        Arc(Canvas, square, 225, 225);
    };
    ring(bulb, clBtnFace, clBtnShadow);
    ring(bulb.adjusted(-1, -1, 1, 1), clBtnHighlight, clBtnShadow);
    Canvas.setPen(QPen(Qt::white, 0));
    Arc(Canvas, glint, 90, 90);
    Arc(Canvas, glint.adjusted(-1, -1, 1, 1), 90, 90);

    // Tube and column with round caps at the far end.
    const QColor empty = ColorToQColor(m_indicatorBackGroundColor);
    const double f = PositionFraction(Position());
    if (Vertical()) {
        const int l = g.SpanLeft, r = g.SpanRight, t = g.SpanTop, bottom = g.SpanBottom + 1;
        Canvas.setPen(QPen(empty, 0));
        Canvas.setBrush(empty);
        EllipseWin(Canvas, l, t, r, t + 2 * w);
        FillWin(Canvas, l, t + w, r, bottom, empty);
        const int top = bottom - iRound(f * (bottom - t));
        Canvas.setPen(QPen(mercury, 0));
        Canvas.setBrush(mercury);
        EllipseWin(Canvas, l, top, r, top + 2 * w);
        FillWin(Canvas, l, top + w, r, bottom, mercury);
    } else {
        const int l = g.SpanLeft, r = g.SpanRight + 1, t = g.SpanTop, bottom = g.SpanBottom;
        Canvas.setPen(QPen(empty, 0));
        Canvas.setBrush(empty);
        EllipseWin(Canvas, r - 2 * w, t, r, bottom);
        FillWin(Canvas, l, t, r - w, bottom, empty);
        const int right = l + iRound(f * (r - l));
        Canvas.setPen(QPen(mercury, 0));
        Canvas.setBrush(mercury);
        EllipseWin(Canvas, right - 2 * w, t, right, bottom);
        FillWin(Canvas, l, t, right - w, bottom, mercury);
    }
    Canvas.restore();
}

void TiThermometer::DrawBar(QPainter& Canvas, const Geometry& g) {
    double reference = PositionMin();
    if (m_fillReferenceStyle == ipfrsMax)
        reference = PositionMax();
    else if (m_fillReferenceStyle == ipfrsValue)
        reference = m_fillReferenceValue;
    const int p1 = PositionToPixel(reference);
    const int p2 = PositionToPixel(Position());

    FillWin(Canvas, g.SpanLeft, g.SpanTop, g.SpanRight, g.SpanBottom,
            ColorToQColor(m_indicatorBackGroundColor));
    const QRect around = iWinRect(g.SpanLeft - 2, g.SpanTop - 2, g.SpanRight + 2, g.SpanBottom + 2);
    if (m_indicatorStyle == itisBarSunken)
        DrawBevel(Canvas, around, ibsLowered);
    else if (m_indicatorStyle == itisBarRaised)
        DrawBevel(Canvas, around, ibsRaised);
    const QColor fill = ColorToQColor(m_indicatorColor);
    if (Vertical())
        FillWin(Canvas, g.SpanLeft, std::min(p1, p2), g.SpanRight, std::max(p1, p2), fill);
    else
        FillWin(Canvas, std::min(p1, p2), g.SpanTop, std::max(p1, p2), g.SpanBottom, fill);
}

QRect TiThermometer::DrawPointer(QPainter& Canvas, const Geometry& g, double V, TColor Color, int Margin,
                                 int Size) {
    const int p = PositionToPixel(V);
    const int h = Size / 2;
    QPolygon tri;
    // On the side away from the scale, pointing at the tube.
    if (Vertical()) {
        if (m_orientationTickMarks == iosBottomRight) {
            const int tip = g.SpanLeft - Margin;
            tri << QPoint(tip, p) << QPoint(tip - Size, p - h) << QPoint(tip - Size, p + h);
        } else {
            const int tip = g.SpanRight + Margin;
            tri << QPoint(tip, p) << QPoint(tip + Size, p - h) << QPoint(tip + Size, p + h);
        }
    } else {
        if (m_orientationTickMarks == iosBottomRight) {
            const int tip = g.SpanTop - Margin;
            tri << QPoint(p, tip) << QPoint(p - h, tip - Size) << QPoint(p + h, tip - Size);
        } else {
            const int tip = g.SpanBottom + Margin;
            tri << QPoint(p, tip) << QPoint(p - h, tip + Size) << QPoint(p + h, tip + Size);
        }
    }
    iPolygon(Canvas, tri, ColorToQColor(Color));
    return tri.boundingRect();
}

int TiThermometer::UsableLength() const {
    int usable = (Vertical() ? Height() : Width()) - 2 * m_endsMargin;
    if (m_indicatorStyle == itisBulb)
        usable -= 2 * m_indicatorBulbSize;
    else if (m_indicatorStyle != itisBar)
        usable -= 2;
    return usable;
}

void TiThermometer::iMouseDown(TMouseButton Button, TShiftState, int X, int Y) {
    if (Button != mbLeft)
        return;
    const QPoint at(X, Y);
    m_drag = Drag::None;
    if (ShowMinPointer() && MinMaxUserCanMove() && m_minPointerRect.contains(at)) {
        m_drag = Drag::CurrentMin;
        m_pressValue = CurrentMin();
    } else if (ShowMaxPointer() && MinMaxUserCanMove() && m_maxPointerRect.contains(at)) {
        m_drag = Drag::CurrentMax;
        m_pressValue = CurrentMax();
    } else if (m_indicatorUserCanMove) {
        const Geometry g = ComputeGeometry();
        bool inside = iWinRect(g.TubeLeft, g.TubeTop, g.TubeRight, g.TubeBottom).contains(at);
        if (m_indicatorStyle == itisBulb) {
            const QPoint c = BulbCenter();
            const int b = m_indicatorBulbSize;
            inside = inside || iWinRect(c.x() - b, c.y() - b, c.x() + b, c.y() + b).contains(at);
        }
        if (inside) {
            m_drag = Drag::Position;
            m_pressValue = Position();
        }
    }
    m_pressAlong = Vertical() ? Y : X;
}

void TiThermometer::iMouseMove(TShiftState, int X, int Y) {
    const int usable = UsableLength();
    if (m_drag == Drag::None || usable <= 0)
        return;
    // Upwards and rightwards count positive.
    const int travel = Vertical() ? m_pressAlong - Y : X - m_pressAlong;
    const double v = m_pressValue + double(travel) / usable * (PositionMax() - PositionMin());
    switch (m_drag) {
    case Drag::Position: {
        UserChangeScope user(this);
        SetPosition(v);
        break;
    }
    case Drag::CurrentMin:
        SetCurrentMin(v);
        if (CurrentMin() > CurrentMax())
            SetCurrentMax(CurrentMin());
        break;
    case Drag::CurrentMax:
        SetCurrentMax(v);
        if (CurrentMax() < CurrentMin())
            SetCurrentMin(CurrentMax());
        break;
    case Drag::None:
        break;
    }
}

void TiThermometer::iMouseUp(TMouseButton, TShiftState, int, int) {
    const bool wasPosition = m_drag == Drag::Position;
    m_drag = Drag::None;
    if (wasPosition)
        DoPositionChangeFinished();
}
