#include "iKnob.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kDegreesPerRadian = 180.0 / M_PI;

// The indicator dot: the pixels within radius r of P, and its outline split along the diagonal from
// the upper right to the lower left into the upper-left and the lower-right half.
struct DotPixels {
    QVector<QPoint> Fill, UpperLeft, LowerRight;
};
DotPixels Dot(QPoint P, int r) {
    auto inside = [r](int dx, int dy) { return dx * dx + dy * dy <= r * r + r; };
    DotPixels d;
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) {
            if (!inside(dx, dy))
                continue;
            const QPoint p(P.x() + dx, P.y() + dy);
            d.Fill.append(p);
            if (inside(dx - 1, dy) && inside(dx + 1, dy) && inside(dx, dy - 1) && inside(dx, dy + 1))
                continue;
            if (dx + dy < 0 || (dx + dy == 0 && dx < 0))
                d.UpperLeft.append(p);
            else
                d.LowerRight.append(p);
        }
    return d;
}

QColor Mix(TColor a, TColor b, double t) {
    // t * a + (1 - t) * b per channel, rounded.
    const TColor ra = ColorToRGB(a), rb = ColorToRGB(b);
    auto ch = [&](int shift) {
        return std::clamp(iRound(t * ((ra >> shift) & 0xFF) + (1 - t) * ((rb >> shift) & 0xFF)), 0, 255);
    };
    return QColor(ch(0), ch(8), ch(16));
}

// A box of the text's size centred on P.
QRect TextBoxAround(const QFontMetrics& fm, const QString& text, QPoint P) {
    const int w = fm.horizontalAdvance(text), h = fm.height();
    return QRect(P.x() - w / 2, P.y() - h / 2, w, h);
}

} // namespace

TiKnob::TiKnob(QWidget* parent) : TiScaleComponent(parent), m_positionDisplayFont(new TFont(this)) {
    resize(150, 150);
    SetTabStop(true);
    SetShowDisabledState(true);
    SetTickMinorColor(clGray);
    SetTickLabelMargin(15);
    connect(m_positionDisplayFont, &TFont::OnChange, this, &TiKnob::InvalidateChange);
}

void TiKnob::SetPositionDisplayFont(TFont* value) {
    if (value)
        m_positionDisplayFont->Assign(*value);
}

void TiKnob::SetPositionDisplayUnits(const QString& value) {
    SetField(m_positionDisplayUnits, value.trimmed().isEmpty() ? QString() : value, irkInvalidate);
}

void TiKnob::DefineExtraValues(QList<TiExtraValue>& Values) {
    TiScaleComponent::DefineExtraValues(Values);
    Values.append({QStringLiteral("KeyArrowStepSize_2"), [this] { return QVariant(m_keyArrowStepSize); },
                   [this](const QVariant& v) { m_keyArrowStepSize = v.toDouble(); }});
    Values.append({QStringLiteral("KeyPageStepSize_2"), [this] { return QVariant(m_keyPageStepSize); },
                   [this](const QVariant& v) { m_keyPageStepSize = v.toDouble(); }});
}

// ---- Angles ----

double TiKnob::ValueToDegrees(double V) const {
    return m_rotationStartDegrees - PositionFraction(V) * m_rotationMaxDegrees;
}

double TiKnob::PositionDegrees() const {
    // An empty range has fraction 0, so the indicator stays at the start angle.
    return PositionFraction(Position()) * m_rotationMaxDegrees;
}

void TiKnob::SetPositionDegrees(double D) {
    // Without a sweep no angle names a value; dividing by it would throw Position to an end.
    if (m_rotationMaxDegrees == 0)
        return;
    SetPosition(PositionMin() + (PositionMax() - PositionMin()) * D / m_rotationMaxDegrees);
}

int TiKnob::FittedRadius() const {
    int S = std::min(Width(), Height()) - 2 * m_outerMargin;
    if (ShowTickLabels()) {
        const QFontMetrics fm(TickLabelFont()->ToQFont());
        const int count = TickMajorCount();
        int widest = 0, tallest = 0;
        for (int i = 0; i < count; ++i) {
            const double V = PositionMin() + (PositionMax() - PositionMin()) / (count - 1) * i;
            const double a = ValueToDegrees(V) / kDegreesPerRadian;
            const int ux = iRound(std::cos(a)), uy = -iRound(std::sin(a));
            widest = std::max(widest, std::abs(fm.horizontalAdvance(FormatTickValue(V)) * ux));
            tallest = std::max(tallest, std::abs(fm.height() * uy));
        }
        S -= std::max(widest, tallest);
        S -= 2 * (TickMargin() + TickMajorLength() + TickLabelMargin() + 4);
    } else if (ShowTicksMajor() || ShowTicksMinor()) {
        S -= 2 * (TickMargin() + TickMajorLength());
    }
    return S / 2;
}

// ---- Painting ----

void TiKnob::iPaintTo(QPainter& Canvas) {
    const QPoint C = GetCenterPoint();
    m_center = C;
    m_painted = true;
    PaintStaticLayers(Canvas, [&](QPainter& p) {
        if (m_autoSize)
            m_knobRadius = FittedRadius();
        DrawBackGround(p, BackGroundColor());
        DrawDisc(p, C);
        DrawScaleRound(p, C);
    });
    if (m_showPostionDisplay)
        DrawPositionText(Canvas, C);
    DrawIndicator(Canvas, C);
    if (m_showFocusRect && HasFocus())
        DrawFocusRect(Canvas, rect());
}

void TiKnob::DrawDisc(QPainter& Canvas, QPoint C) const {
    const int R = m_knobRadius;
    if (R <= 0)
        return;
    const TColor K = Active() ? ColorLighten(m_color, 16) : m_color;
    const TColor L = ColorLighten(K, 32), D = ColorDarken(K, 64);
    const bool raised = m_knobStyle == iksRaisedEdge || m_knobStyle == iksRaised;
    // Lines across the top-left to bottom-right diagonal, half a pixel apart along it, so every pixel
    // of the disc lies on one; the shade runs from light at the top left to dark (raised) or back.
    const double limit = R / M_SQRT2 + 2;
    for (double m = -std::trunc(limit); m < limit; m += 0.5) {
        if (2 * m * m > double(R) * R)
            continue;
        const double half = std::sqrt(double(R) * R - 2 * m * m) / M_SQRT2;
        const double t = (R + m) / (2.0 * R);
        Canvas.setPen(raised ? Mix(D, L, t) : Mix(L, D, t));
        // The line x + y = C.x + C.y + 2m, from x0 to x1 inclusive.
        const int s = C.x() + C.y() + iRound(2 * m);
        const int x0 = iRound(C.x() + m - half), x1 = iRound(C.x() + m + half);
        iLine(Canvas, QPoint(x0, s - x0), QPoint(x1 + 1, s - x1 - 1));
    }
    const int inner = R - m_knobEdgeWidth;
    if ((m_knobStyle == iksRaisedEdge || m_knobStyle == iksSunkenEdge) && inner > 0) {
        const QColor face = ColorToQColor(K);
        Canvas.setPen(face);
        Canvas.setBrush(face);
        iEllipse(Canvas, iWinRect(C.x() - inner, C.y() - inner, C.x() + inner + 1, C.y() + inner + 1));
    }
}

void TiKnob::DrawScaleRound(QPainter& Canvas, QPoint C) {
    const int R = m_knobRadius;
    const int r1 = TickMargin() + R - 1;
    const int r2 = TickMargin() + R + TickMajorLength();
    const bool disabled = !isEnabled() && ShowDisabledState();
    const QColor majorColor = ColorToQColor(disabled ? clBtnShadow : TickMajorColor());
    const QColor minorColor = ColorToQColor(disabled ? clBtnShadow : TickMinorColor());
    Canvas.setBrush(Qt::NoBrush);

    auto radial = [&](double a, double from, double to) {
        iLine(Canvas, PolarPoint(C, from, a), PolarPoint(C, to, a));
    };
    auto minorTick = [&](double V) {
        const double a = ValueToDegrees(V);
        const int len = TickMinorLength();
        Canvas.setPen(minorColor);
        switch (TickMinorAlignment()) {
        case itmnaCenter: {
            const double mid = (r1 + r2) / 2.0;
            radial(a, mid - len / 2.0, mid + len / 2.0);
            break;
        }
        case itmnaOutside:
            radial(a, r2, r2 - len);
            break;
        default:
            radial(a, r1, r1 + len);
            break;
        }
    };

    const QVector<double> majors = MajorTickValues();
    const QFontMetrics fm(TickLabelFont()->ToQFont());
    for (int i = 0; i < majors.size(); ++i) {
        const double a = ValueToDegrees(majors[i]);
        if (ShowTicksMajor()) {
            Canvas.setPen(majorColor);
            radial(a, r1, r2);
        }
        if (ShowTickLabels()) {
            const QString text = TickLabelText(i, majors[i]);
            SelectFont(Canvas, *TickLabelFont());
            QRect box = TextBoxAround(fm, text, PolarPoint(C, r2 + TickLabelMargin() + 4, a));
            DrawWidgetText(Canvas, text, box, BackGroundColor(), !disabled,
                           itfCenter | itfVCenter | itfSingleLine);
        }
        if (ShowTicksMinor() && i + 1 < majors.size())
            for (double V : MinorTickValues(i))
                minorTick(V);
    }
    if (AutoScaleEnabled() && AutoScaleStyle() == iassFixedMinMax && ShowTicksMinor())
        for (double V : OuterMinorTickValues())
            minorTick(V);
}

void TiKnob::DrawPositionText(QPainter& Canvas, QPoint C) const {
    const QString text =
        QString::number(Position(), 'f', m_positionDisplayPrecision).trimmed() + m_positionDisplayUnits;
    SelectFont(Canvas, *m_positionDisplayFont);
    QRect box = TextBoxAround(QFontMetrics(Canvas.font()), text, C);
    DrawWidgetText(Canvas, text, box, BackGroundColor(), true, itfCenter | itfVCenter | itfSingleLine);
}

void TiKnob::DrawIndicator(QPainter& Canvas, QPoint C) const {
    const double a = m_rotationStartDegrees - PositionDegrees();
    const QColor color = ColorToQColor(Active() ? m_indicatorActiveColor : m_indicatorInactiveColor);
    const int R = m_knobRadius, size = m_indicatorSize, outer = R - m_indicatorMargin;
    Canvas.setPen(color);
    Canvas.setBrush(color);
    switch (m_indicatorStyle) {
    case ikisDot:
    case ikisDotLowered:
    case ikisDotRaised: {
        const DotPixels dot = Dot(PolarPoint(C, outer - size, a), size);
        Canvas.drawPoints(dot.Fill.data(), int(dot.Fill.size()));
        if (m_indicatorStyle == ikisDot)
            break;
        // Outline halves: light from the top left on a raised dot, from the bottom right on a lowered one.
        const QColor grey = ColorToQColor(clGray), white(Qt::white);
        const bool lowered = m_indicatorStyle == ikisDotLowered;
        Canvas.setPen(lowered ? grey : white);
        Canvas.drawPoints(dot.UpperLeft.data(), int(dot.UpperLeft.size()));
        Canvas.setPen(lowered ? white : grey);
        Canvas.drawPoints(dot.LowerRight.data(), int(dot.LowerRight.size()));
        break;
    }
    case ikisLineCenter:
        iLine(Canvas, PolarPoint(C, outer, a), C);
        break;
    case ikisLineCustom:
        iLine(Canvas, PolarPoint(C, outer, a), PolarPoint(C, outer - size, a));
        break;
    case ikisTriangle: {
        const double rad = a / kDegreesPerRadian;
        const double ux = std::cos(rad), uy = -std::sin(rad); // outwards, screen coordinates
        const double px = -uy, py = ux;                       // across
        const double bx = C.x() + (outer - size) * ux, by = C.y() + (outer - size) * uy;
        QPolygon triangle;
        triangle << PolarPoint(C, outer, a)
                 << QPoint(iRound(bx + px * size / 2.0), iRound(by + py * size / 2.0))
                 << QPoint(iRound(bx - px * size / 2.0), iRound(by - py * size / 2.0));
        iPolygon(Canvas, triangle, color);
        break;
    }
    }
}

// ---- Input ----

double TiKnob::PointerAngle(int X, int Y) const {
    const QPoint c = HitCenter();
    return std::atan2(double(Y - c.y()), double(X - c.x())) * kDegreesPerRadian;
}

void TiKnob::iMouseDown(TMouseButton Button, TShiftState, int X, int Y) {
    if (Button != mbLeft || !isEnabled())
        return;
    SetChangedSinceFinish(false);
    setFocus(Qt::MouseFocusReason);
    const QPoint c = HitCenter();
    if (iRound(std::hypot(double(X - c.x()), double(Y - c.y()))) < m_knobRadius) {
        m_dragging = true;
        m_lastAngle = PointerAngle(X, Y);
        BackGroundChange();
    }
}

void TiKnob::iMouseMove(TShiftState, int X, int Y) {
    if (!m_dragging)
        return;
    const double angle = PointerAngle(X, Y);
    // The swept angle, not the pointer's angle: unwrapped where atan2 jumps from 180 to -180.
    double delta = m_lastAngle - angle;
    if (delta > 200)
        delta -= 360;
    if (delta < -200)
        delta += 360;
    {
        UserChangeScope scope(this);
        SetPositionDegrees(PositionDegrees() - delta);
    }
    m_lastAngle = angle;
    InvalidateChange();
}

void TiKnob::iMouseUp(TMouseButton, TShiftState, int, int) {
    BackGroundChange();
    if (m_dragging) {
        m_dragging = false;
        DoPositionChangeFinished();
    }
}

bool TiKnob::iMouseWheel(int WheelDelta, TShiftState, QPoint) {
    // The wheel belongs to the focused control; notches closer than 30 ms apart are dropped. The wheel
    // is not reported as used, so the parent is offered it too.
    if (!HasFocus() || !isEnabled())
        return false;
    if (m_lastWheelStep.isValid() && m_lastWheelStep.elapsed() < 30)
        return false;
    m_lastWheelStep.start();
    const int sign = (WheelDelta > 0) - (WheelDelta < 0);
    {
        UserChangeScope scope(this);
        SetPosition(Position() + sign * m_mouseWheelStepSize);
    }
    DoPositionChangeFinished();
    return false;
}

void TiKnob::iWantSpecialKey(int& Key, int& Result) {
    if (m_useKeyboard &&
        (Key == Qt::Key_Left || Key == Qt::Key_Right || Key == Qt::Key_Up || Key == Qt::Key_Down))
        Result = 1;
}

void TiKnob::iKeyDown(int& Key, TShiftState) {
    if (!m_useKeyboard)
        return;
    m_keyHeld = true;
    bool handled = true;
    {
        UserChangeScope scope(this);
        switch (Key) {
        case Qt::Key_Left:
        case Qt::Key_Down:
            SetPosition(Position() - m_keyArrowStepSize);
            break;
        case Qt::Key_Right:
        case Qt::Key_Up:
            SetPosition(Position() + m_keyArrowStepSize);
            break;
        case Qt::Key_PageUp:
            SetPosition(Position() + m_keyPageStepSize);
            break;
        case Qt::Key_PageDown:
            SetPosition(Position() - m_keyPageStepSize);
            break;
        case Qt::Key_Home:
            SetPosition(PositionMin());
            break;
        case Qt::Key_End:
            SetPosition(PositionMax());
            break;
        default:
            handled = false;
            break;
        }
    }
    if (handled) {
        Key = 0;
        BackGroundChange();
    }
}

void TiKnob::iKeyUp(int&, TShiftState) {
    BackGroundChange();
    if (m_keyHeld) {
        m_keyHeld = false;
        DoPositionChangeFinished();
    }
}

void TiKnob::iLostFocus() {
    // The frame has already ended any drag with a release; the key-held look ends here too.
    m_dragging = false;
    m_keyHeld = false;
    BackGroundChange();
    TiScaleComponent::iLostFocus();
}
