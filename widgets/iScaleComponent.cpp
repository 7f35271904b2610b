#include "iScaleComponent.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

// ---------------------------------------------------------------------------------------------------
// Value-to-pixel map

int TiScaleMap::ToPixel(double V) const {
    if (High == Low)
        return (A + B) / 2;
    return A - iRound((V - Low) / (High - Low) * (A - B));
}

double TiScaleMap::ToValue(int Pixel) const {
    if (A == B)
        return (Low + High) / 2;
    return Low + double(A - Pixel) / double(A - B) * (High - Low);
}

TiScaleMap TiScaleLayout::Map() const {
    TiScaleMap m;
    m.Low = Low;
    m.High = High;
    m.A = Reverse ? PixelHigh : PixelLow;
    m.B = Reverse ? PixelLow : PixelHigh;
    return m;
}

// ---------------------------------------------------------------------------------------------------
// Scale settings

TiScaleObject::TiScaleObject(QObject* parent) : QObject(parent), m_tickLabelFont(new TFont(this)) {
    connect(m_tickLabelFont, &TFont::OnChange, this, &TiScaleObject::OnChange);
}

void TiScaleObject::SetTickMajorCount(int v) {
    Set(m_tickMajorCount, std::clamp(v, 2, 100));
}
void TiScaleObject::SetTickMinorCount(int v) {
    Set(m_tickMinorCount, std::clamp(v, 1, 100));
}
void TiScaleObject::SetTickMajorLength(int v) {
    Set(m_tickMajorLength, std::max(v, 1));
}
void TiScaleObject::SetTickMinorLength(int v) {
    Set(m_tickMinorLength, std::max(v, 1));
}
void TiScaleObject::SetTickLabelPrecision(int v) {
    Set(m_tickLabelPrecision, std::max(v, 0));
}

// ---------------------------------------------------------------------------------------------------
// TiScaleComponent

TiScaleComponent::TiScaleComponent(QWidget* parent)
    : TiPositionComponent(parent), m_scale(new TiScaleObject(this)) {
    m_scale->SetPrecisionStyle(ipsFixedDecimalPoints);
    connect(m_scale, &TiScaleObject::OnChange, this, &TiScaleComponent::BackGroundChange);
    m_autoScaleLow = PositionMin();
    m_autoScaleHigh = PositionMax();
}

void TiScaleComponent::SetTickLabelFont(TFont* v) {
    if (v && v != m_scale->TickLabelFont())
        m_scale->TickLabelFont()->Assign(*v);
}

void TiScaleComponent::SetAutoScaleEnabled(bool v) {
    if (m_autoScaleEnabled == v)
        return;
    m_autoScaleEnabled = v;
    DoAutoScale();
    BackGroundChange();
}

void TiScaleComponent::SetAutoScaleDesiredTicks(int v) {
    if (v < 2 || v == m_autoScaleDesiredTicks)
        return;
    m_autoScaleDesiredTicks = v;
    DoAutoScale();
    BackGroundChange();
}

void TiScaleComponent::SetAutoScaleMaxTicks(int v) {
    if (v == m_autoScaleMaxTicks)
        return;
    m_autoScaleMaxTicks = v;
    DoAutoScale();
    BackGroundChange();
}

void TiScaleComponent::SetAutoScaleStyle(TiAutoScaleStyle v) {
    if (v == m_autoScaleStyle)
        return;
    m_autoScaleStyle = v;
    DoAutoScale();
    BackGroundChange();
}

// With the automatic scale on, a new bound goes to it instead of being stored first: the position is
// clamped only to the range it settles on.
void TiScaleComponent::SetPositionMin(double V) {
    if (V == PositionMin())
        return;
    if (m_autoScaleEnabled && !IsLoading())
        AutoScale(PositionMax(), V);
    else
        SetMinMax(PositionMax(), V);
}

void TiScaleComponent::SetPositionMax(double V) {
    if (V == PositionMax())
        return;
    if (m_autoScaleEnabled && !IsLoading())
        AutoScale(V, PositionMin());
    else
        SetMinMax(V, PositionMin());
}

void TiScaleComponent::Loaded() {
    TiPositionComponent::Loaded();
    if (m_autoScaleEnabled)
        DoAutoScale();
}

namespace {

bool IsRoundStep(double s) {
    if (!(s > 0) || !std::isfinite(s))
        return false;
    const double scaled = s / std::pow(10.0, std::trunc(std::log10(s))) * 1000.0;
    switch (iRound(scaled)) {
    case 100:
    case 200:
    case 250:
    case 500:
    case 750:
    case 1000:
    case 2000:
    case 2500:
    case 5000:
    case 7500:
        return true;
    default:
        return false;
    }
}

// Among T = 2..N with a round step L/(T - 1), the one nearest to Desired (larger on a tie); N + 1 if none.
int BestTickCount(double L, int N, int Desired) {
    int best = N + 1;
    int bestDistance = 0;
    for (int t = 2; t <= N; ++t) {
        if (!IsRoundStep(L / (t - 1)))
            continue;
        const int d = std::abs(t - Desired);
        if (best > N || d <= bestDistance) {
            best = t;
            bestDistance = d;
        }
    }
    return best;
}

// Tolerance for placing a range on multiples of a step computed in floating point.
constexpr double kEps = 1e-9;

} // namespace

void TiScaleComponent::DoAutoScale() {
    if (m_autoScaleEnabled)
        AutoScale(PositionMax(), PositionMin());
}

void TiScaleComponent::AutoScale(double max, double min) {
    if (m_autoScaling) {
        // A change handler setting a bound while the scale is being chosen: stored as given.
        SetMinMax(max, min);
        return;
    }
    m_autoScaling = true;
    m_autoScaleLow = min;
    m_autoScaleHigh = max;
    if (max == min) {
        SetMinMax(max, min);
        SetTickMajorCount(2);
        m_autoScaling = false;
        return;
    }
    const double lo = std::min(min, max), hi = std::max(min, max);
    const double E = std::abs(max - min);
    double G = std::pow(10.0, std::trunc(std::log10(E)));
    if (E < 1)
        G /= 10;

    if (m_autoScaleStyle == iassAutoMinMax) {
        bool found = false;
        for (int i = 2; i <= 40 && !found; ++i) {
            const double L = G * i / 2;
            if (E > L * (1 + kEps))
                continue;
            const int T = BestTickCount(L, m_autoScaleMaxTicks, m_autoScaleDesiredTicks);
            if (T > m_autoScaleMaxTicks)
                continue;
            const double step = L / (T - 1);
            // The range starts on the largest multiple of the step at or below the lower bound.
            const double start = std::floor(lo / step + kEps) * step;
            if (start + L < hi - L * kEps)
                continue;
            SetMinMax(start + L, start);
            SetTickMajorCount(T);
            m_autoScaleLow = start;
            m_autoScaleHigh = start + L;
            found = true;
        }
        if (!found)
            SetMinMax(max, min);
    } else {
        // The bounds stay as given; only the tick range is chosen inside them.
        SetMinMax(max, min);
        bool found = false;
        for (int n = 100; n >= 2 && !found; --n) {
            const double L = G * n / 10;
            if (E < L * (1 - kEps))
                continue;
            for (int N = m_autoScaleMaxTicks; N >= 2 && !found; --N) {
                const int T = BestTickCount(L, N, m_autoScaleDesiredTicks);
                if (T > N)
                    continue;
                const double step = L / (T - 1);
                // The tick range starts on the smallest multiple of the step at or above the lower bound.
                const double start = std::ceil(lo / step - kEps) * step;
                if (start + L > hi + L * kEps)
                    continue;
                m_autoScaleLow = start;
                m_autoScaleHigh = start + L;
                SetTickMajorCount(T);
                found = true;
            }
        }
    }
    m_autoScaling = false;
    BackGroundChange();
}

int TiScaleComponent::GetDecimalPoints() const {
    const int precision = m_scale->TickLabelPrecision();
    if (m_scale->PrecisionStyle() == ipsFixedDecimalPoints)
        return precision;
    if (precision <= 0)
        return 0;
    const double S = std::abs(PositionMax() - PositionMin());
    int D = 0;
    if (S != 0)
        D = precision - (int(std::trunc(std::log10(S))) + 1);
    if (S < 1)
        D += 1;
    return std::max(D, 0);
}

double TiScaleComponent::TickLow() const {
    return (m_autoScaleEnabled && m_autoScaleStyle == iassFixedMinMax) ? m_autoScaleLow : PositionMin();
}

double TiScaleComponent::TickHigh() const {
    return (m_autoScaleEnabled && m_autoScaleStyle == iassFixedMinMax) ? m_autoScaleHigh : PositionMax();
}

QVector<double> TiScaleComponent::MajorTickValues() const {
    const int count = m_scale->TickMajorCount();
    const double low = TickLow();
    const double M = (TickHigh() - low) / (count - 1);
    QVector<double> values;
    values.reserve(count);
    for (int i = 0; i < count; ++i)
        values.append(low + i * M);
    return values;
}

QVector<double> TiScaleComponent::MinorTickValues(int MajorIndex) const {
    const int count = m_scale->TickMajorCount();
    QVector<double> values;
    if (MajorIndex < 0 || MajorIndex >= count - 1)
        return values;
    const double M = (TickHigh() - TickLow()) / (count - 1);
    const int minor = m_scale->TickMinorCount();
    const double m = M / (minor + 1);
    for (int k = 1; k <= minor; ++k)
        values.append(TickLow() + MajorIndex * M + k * m);
    return values;
}

QVector<double> TiScaleComponent::OuterMinorTickValues() const {
    QVector<double> values;
    if (!(m_autoScaleEnabled && m_autoScaleStyle == iassFixedMinMax))
        return values;
    const double M = (TickHigh() - TickLow()) / (m_scale->TickMajorCount() - 1);
    const double m = M / (m_scale->TickMinorCount() + 1);
    if (!(m > 0))
        return values;
    const double tolerance = m * kEps;
    for (int k = 1; TickLow() - k * m >= PositionMin() - tolerance && k <= 10000; ++k)
        values.append(TickLow() - k * m);
    for (int k = 1; TickHigh() + k * m <= PositionMax() + tolerance && k <= 10000; ++k)
        values.append(TickHigh() + k * m);
    return values;
}

QString TiScaleComponent::FormatTickValue(double V) const {
    QString s = QString::number(V, 'f', GetDecimalPoints()).trimmed();
    // A value that rounds to zero is "0", not "-0": tick sums can land a hair below zero.
    if (s.startsWith('-') && s.count(QRegularExpression(QStringLiteral("[1-9]"))) == 0)
        s.remove(0, 1);
    return s;
}

QString TiScaleComponent::TickLabelText(int Index, double V) {
    QString s = FormatTickValue(V);
    emit OnCustomizeTickLabel(Index, s);
    return s;
}

void TiScaleComponent::DrawTickLine(QPainter& Canvas, QPoint p1, QPoint p2, TColor Color,
                                    TiBevelStyle Style) {
    // The normal of the line: one pixel down for a horizontal line, one to the right for any other.
    const QPoint normal = (p1.y() == p2.y()) ? QPoint(0, 1) : QPoint(1, 0);
    switch (Style) {
    case ibsRaised:
        Canvas.setPen(ColorToQColor(clWhite));
        iLine(Canvas, p1, p2);
        Canvas.setPen(ColorToQColor(clBlack));
        iLine(Canvas, p1 + normal, p2 + normal);
        break;
    case ibsLowered:
        Canvas.setPen(ColorToQColor(clBlack));
        iLine(Canvas, p1, p2);
        Canvas.setPen(ColorToQColor(clWhite));
        iLine(Canvas, p1 + normal, p2 + normal);
        break;
    default:
        Canvas.setPen(ColorToQColor(Color));
        iLine(Canvas, p1, p2);
        break;
    }
}

void TiScaleComponent::DrawScale(QPainter& Canvas, bool Disabled) {
    const TiScaleLayout& layout = m_scale->Layout;
    const TiScaleMap map = layout.Map();
    const int dir = layout.Side == iosBottomRight ? 1 : -1;
    const bool vertical = layout.Orientation == ioVertical;
    const int X0 = layout.BaseLine;
    auto at = [&](int along, int across) { return vertical ? QPoint(across, along) : QPoint(along, across); };
    const TiScaleObject& s = *m_scale;

    Canvas.save();
    // Axis.
    if (s.ShowTicksAxis()) {
        const int across = X0 + dir * s.TickMajorLength();
        const QPoint p1 = at(map.ToPixel(layout.Low), across), p2 = at(map.ToPixel(layout.High), across);
        if (Disabled) {
            DrawTickLine(Canvas, p1, p2, s.TickMajorColor(), ibsLowered);
        } else {
            Canvas.setPen(ColorToQColor(s.TickMajorColor()));
            iLine(Canvas, p1, p2);
            const QPoint out = vertical ? QPoint(dir, 0) : QPoint(0, dir);
            iLine(Canvas, p1 + out, p2 + out);
        }
    }

    // Label font, transparent brush.
    SelectFont(Canvas, *s.TickLabelFont());
    Canvas.setBrush(Qt::NoBrush);
    const QFontMetrics fm(Canvas.font());

    const QVector<double> majors = MajorTickValues();
    const TiBevelStyle majorStyle = Disabled ? ibsLowered : s.TickMajorStyle();
    const TiBevelStyle minorStyle = Disabled ? ibsLowered : s.TickMinorStyle();

    TiTickMinorAlignment alignment = s.TickMinorAlignment();
    if (layout.SwapMinorAlignment && alignment != itmnaCenter)
        alignment = alignment == itmnaInside ? itmnaOutside : itmnaInside;
    int minorOffset = s.TickMargin();
    if (alignment == itmnaCenter)
        minorOffset = s.TickMargin() + s.TickMajorLength() / 2 - s.TickMinorLength() / 2;
    else if (alignment == itmnaOutside)
        minorOffset = s.TickMargin() + s.TickMajorLength() - s.TickMinorLength();
    auto drawMinor = [&](double v) {
        const int along = map.ToPixel(v);
        DrawTickLine(Canvas, at(along, X0 + dir * minorOffset),
                     at(along, X0 + dir * (minorOffset + s.TickMinorLength())), s.TickMinorColor(),
                     minorStyle);
    };

    for (int i = 0; i < majors.size(); ++i) {
        const int along = map.ToPixel(majors[i]);
        const bool firstOrLast = i == 0 || i == majors.size() - 1;
        // Major tick.
        if (s.ShowTicksMajor() && (s.ShowTicksMajorFirstLast() || !firstOrLast))
            DrawTickLine(Canvas, at(along, X0 + dir * s.TickMargin()),
                         at(along, X0 + dir * (s.TickMargin() + s.TickMajorLength())), s.TickMajorColor(),
                         majorStyle);
        // Label beyond the tick, centred on it along the scale.
        if (s.ShowTickLabels()) {
            const QString text = TickLabelText(i, majors[i]);
            const QSize size = fm.size(Qt::TextSingleLine, text);
            const int near = X0 + dir * (s.TickMargin() + s.TickMajorLength() + s.TickLabelMargin());
            QRect box;
            if (vertical) {
                const int left = dir > 0 ? near : near - size.width();
                box = QRect(left, along - size.height() / 2, size.width(), size.height());
            } else {
                const int top = dir > 0 ? near : near - size.height();
                box = QRect(along - size.width() / 2, top, size.width(), size.height());
            }
            SelectFont(Canvas, *s.TickLabelFont());
            DrawWidgetText(Canvas, text, box, BackGroundColor(), !Disabled,
                           itfCenter | itfVCenter | itfSingleLine);
        }
        // Minor ticks up to the next major tick.
        if (s.ShowTicksMinor() && s.ShowTicksMajor() && i < majors.size() - 1)
            for (double v : MinorTickValues(i))
                drawMinor(v);
    }
    if (s.ShowTicksMinor() && s.ShowTicksMajor())
        for (double v : OuterMinorTickValues())
            drawMinor(v);
    Canvas.restore();
}
