#include "iLinearGauge.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <cmath>

namespace {

void FillWin(QPainter& Canvas, int l, int t, int r, int b, const QColor& c) {
    if (r > l && b > t)
        iFillRect(Canvas, iWinRect(l, t, r, b), c);
}

// Raised edges over a filled shape: light where an edge faces up or left, dark elsewhere.
void DrawRaisedEdges(QPainter& Canvas, const QPolygon& poly) {
    long long area2 = 0;
    for (int i = 0; i < poly.size(); ++i) {
        const QPoint a = poly[i], b = poly[(i + 1) % poly.size()];
        area2 += qint64(a.x()) * b.y() - qint64(b.x()) * a.y();
    }
    Canvas.save();
    for (int i = 0; i < poly.size(); ++i) {
        const QPoint a = poly[i], b = poly[(i + 1) % poly.size()];
        const int dx = b.x() - a.x(), dy = b.y() - a.y();
        const QPoint outward = area2 > 0 ? QPoint(dy, -dx) : QPoint(-dy, dx);
        Canvas.setPen(QPen(outward.x() + outward.y() < 0 ? Qt::white : Qt::black, 0));
        Canvas.drawLine(a, b);
    }
    Canvas.restore();
}

} // namespace

TiLinearGauge::TiLinearGauge(QWidget* parent) : TiGaugeComponent(parent) {
    // The band lies outside the largest pointer margin, so a pointer that comes, goes or changes its
    // margin can move it, and with it the cached scale and sections.
    m_pointers = std::make_unique<TiGaugePointerManager>([this](TiGaugePointer* p) { OnPointerPosition(p); },
                                                         [this](TiGaugePointer*) { PointerChanged(); },
                                                         [this](TiGaugePointer* p) {
                                                             NewPointer(p);
                                                             BackGroundChange();
                                                         },
                                                         [this](TiGaugePointer*) { BackGroundChange(); });
    m_minPointer = std::make_unique<TiGaugePointer>();
    m_maxPointer = std::make_unique<TiGaugePointer>();
    SetTickMajorLength(20);
    SetTickMinorLength(7);
    SetTickMargin(0);
    resize(60, 200);
    m_pointers->Add();
}

TiLinearGauge::~TiLinearGauge() = default;

void TiLinearGauge::NewPointer(TiGaugePointer* Pointer) {
    Pointer->SetSize(10);
    Pointer->SetColor(RGBValue(0, 0, 255));
    Pointer->SetStyle(ilgpsPointer);
}

void TiLinearGauge::PointerChanged() {
    const Band b = ComputeBand();
    if (b.Left != m_cachedBand.Left || b.Top != m_cachedBand.Top || b.Right != m_cachedBand.Right ||
        b.Bottom != m_cachedBand.Bottom)
        BackGroundChange();
    else
        InvalidateChange();
}

TiGaugePointer* TiLinearGauge::First() const {
    return m_pointers && m_pointers->Count() > 0 ? m_pointers->Item(0) : nullptr;
}

// ---------------------------------------------------------------------------------------------------
// Position and range

double TiLinearGauge::Position() const {
    const TiGaugePointer* first = First();
    return first ? first->Position() : TiGaugeComponent::Position();
}

void TiLinearGauge::SetPosition(double V) {
    TiGaugePointer* first = First();
    if (!first) {
        TiGaugeComponent::SetPosition(V);
        return;
    }
    if (IsLoading()) {
        first->StorePositionRaw(V);
        return;
    }
    if (V > PositionMax())
        V = PositionMax();
    if (!(V >= PositionMin()))
        V = PositionMin();
    if (V == first->Position())
        return;
    SetChangedSinceFinish(true);
    // The pointer's hooks repaint, update the extremes and raise the change events, once.
    first->SetPosition(V);
}

void TiLinearGauge::OnPointerPosition(TiGaugePointer* p) {
    if (IsLoading())
        return;
    UpdateExtremesAndLimits(p->Position());
    emit OnPointerPositionChanged(m_pointers->IndexOf(p));
    DoPositionChange();
}

void TiLinearGauge::ClampPosition() {
    if (IsLoading())
        return;
    if (!First()) {
        TiGaugeComponent::ClampPosition();
        return;
    }
    // Handlers of the change events may change the list, so it is walked by index.
    for (int i = 0; i < m_pointers->Count(); ++i) {
        TiGaugePointer* p = m_pointers->Item(i);
        if (p->Position() < PositionMin())
            p->SetPosition(PositionMin());
        if (p->Position() > PositionMax())
            p->SetPosition(PositionMax());
    }
}

// ---------------------------------------------------------------------------------------------------
// Properties

void TiLinearGauge::SetOrientation(TiOrientation value) {
    if (value == m_orientation)
        return;
    if (!IsLoading())
        SetBounds(Left(), Top(), Height(), Width());
    m_orientation = value;
    BackGroundChange();
}

TiLinearGauge::TiLinearGaugePointerStyle TiLinearGauge::PointerStyle() const {
    const TiGaugePointer* first = First();
    return first ? TiLinearGaugePointerStyle(std::clamp(first->Style(), 0, 6)) : ilgpsPointer;
}

void TiLinearGauge::SetPointerStyle(TiLinearGaugePointerStyle value) {
    if (TiGaugePointer* first = First())
        first->SetStyle(value);
}

int TiLinearGauge::PointerSize() const {
    const TiGaugePointer* first = First();
    return first ? first->Size() : 10;
}

void TiLinearGauge::SetPointerSize(int value) {
    if (TiGaugePointer* first = First())
        first->SetSize(value);
}

TColor TiLinearGauge::PointerColor() const {
    const TiGaugePointer* first = First();
    return first ? first->Color() : RGBValue(0, 0, 255);
}

void TiLinearGauge::SetPointerColor(TColor value) {
    if (TiGaugePointer* first = First())
        first->SetColor(value);
}

int TiLinearGauge::PointerOffSet() const {
    const TiGaugePointer* first = First();
    return first ? first->Margin() : 0;
}

void TiLinearGauge::SetPointerOffSet(int value) {
    if (TiGaugePointer* first = First())
        first->SetMargin(value);
}

void TiLinearGauge::DefineExtraValues(QList<TiExtraValue>& Values) {
    TiGaugeComponent::DefineExtraValues(Values);
    Values.append({QStringLiteral("Pointers"), [this] { return QVariant(m_pointers->ToText()); },
                   [this](const QVariant& v) { m_pointers->FromText(v.toString()); },
                   [this] { return m_pointers->Count() > 0; }});
}

// ---------------------------------------------------------------------------------------------------
// Layout

int TiLinearGauge::SideCode(const TiGaugePointer* Pointer) const {
    bool bottomRight = m_orientationTickMarks == iosBottomRight;
    if (Pointer && Pointer->DrawScaleSide())
        bottomRight = !bottomRight;
    if (m_orientation == ioVertical)
        return bottomRight ? 2 : 0;
    return bottomRight ? 3 : 1;
}

TiLinearGauge::Band TiLinearGauge::ComputeBand() const {
    int pm = 0;
    for (int i = 0; i < m_pointers->Count(); ++i)
        pm = std::max(pm, m_pointers->Item(i)->Margin());
    if (ShowMaxPointer() || ShowMinPointer())
        pm = std::max(pm, MinMaxPointerMargin());
    for (int i = 0; i < LimitCount(); ++i)
        if (Limit(i).ShowUpperPointer || Limit(i).ShowLowerPointer)
            pm = std::max(pm, Limit(i).PointerMargin);
    pm = std::max(pm, 0);

    const int aRight = Width() - 1, aBottom = Height() - 1;
    const int l = TickMajorLength(), e = m_endsMargin;
    const int code = SideCode();
    Band b;
    switch (code) {
    case 2:
        b = {pm, e, pm + l, aBottom - e};
        break;
    case 0:
        b = {aRight - pm - l, e, aRight - pm, aBottom - e};
        break;
    case 3:
        b = {e, pm, aRight - e, pm + l};
        break;
    default:
        b = {e, aBottom - pm - l, aRight - e, aBottom - pm};
        break;
    }

    const bool vertical = m_orientation == ioVertical;
    int shift = 0;
    if (m_autoCenter) {
        int w = 0;
        if (ShowTickLabels()) {
            const QSize size = QFontMetrics(TickLabelFont()->ToQFont())
                                   .size(Qt::TextSingleLine, FormatTickValue(PositionMax()));
            w = TickLabelMargin() + (vertical ? size.width() : size.height());
        }
        shift =
            vertical ? (Width() + b.Left - w - b.Right - pm) / 2 : (Height() + b.Top - w - b.Bottom - pm) / 2;
    }
    // Towards the inside of the widget.
    const int move = (vertical ? OffsetX() : OffsetY()) + shift;
    switch (code) {
    case 2:
        b.Left += move;
        b.Right += move;
        break;
    case 0:
        b.Left -= move;
        b.Right -= move;
        break;
    case 3:
        b.Top += move;
        b.Bottom += move;
        break;
    default:
        b.Top -= move;
        b.Bottom -= move;
        break;
    }
    return b;
}

QRect TiLinearGauge::BandRect() const {
    const Band b = ComputeBand();
    return QRect(QPoint(b.Left, b.Top), QPoint(b.Right, b.Bottom));
}

TiScaleMap TiLinearGauge::Map(const Band& b) const {
    TiScaleLayout l;
    l.Low = PositionMin();
    l.High = PositionMax();
    l.PixelLow = m_orientation == ioVertical ? b.Bottom : b.Left;
    l.PixelHigh = m_orientation == ioVertical ? b.Top : b.Right;
    l.Reverse = m_reverseScale;
    return l.Map();
}

int TiLinearGauge::ValueToPixel(double V) const {
    return Map(ComputeBand()).ToPixel(V);
}

double TiLinearGauge::PixelToValue(int Pixel) const {
    return Map(ComputeBand()).ToValue(Pixel);
}

void TiLinearGauge::ConfigureScale(const Band& b) {
    TiScaleLayout& l = Scale()->Layout;
    const bool vertical = m_orientation == ioVertical;
    const bool bottomRight = m_orientationTickMarks == iosBottomRight;
    l.Low = PositionMin();
    l.High = PositionMax();
    l.PixelLow = vertical ? b.Bottom : b.Left;
    l.PixelHigh = vertical ? b.Top : b.Right;
    l.Reverse = m_reverseScale;
    l.Orientation = m_orientation;
    l.Side = m_orientationTickMarks;
    l.BaseLine = vertical ? (bottomRight ? b.Left : b.Right) : (bottomRight ? b.Top : b.Bottom);
    l.SwapMinorAlignment = false;
}

// ---------------------------------------------------------------------------------------------------
// Drawing

void TiLinearGauge::iPaintTo(QPainter& Canvas) {
    const Band b = ComputeBand();
    ConfigureScale(b);
    const TiScaleMap map = Scale()->Layout.Map();
    const bool disabled = ShowDisabledState() && !isEnabled();
    const TiGaugePointer* first = First();
    // Bars across the band are drawn under the scale, so then the scale is not part of the cache.
    const bool scaleOver = first && (first->Style() == ilgpsColorBar || first->Style() == ilgpsTube);
    if (scaleOver != m_cacheWithoutScale) {
        m_cacheWithoutScale = scaleOver;
        BackGroundChange();
    }

    PaintStaticLayers(Canvas, [&](QPainter& p) {
        m_cachedBand = b;
        DrawBackGround(p, BackGroundColor());
        DrawSections(p, b, map);
        if (!scaleOver)
            DrawScale(p, disabled);
    });
    for (int i = 0; i < m_pointers->Count(); ++i)
        DrawPointer(Canvas, m_pointers->Item(i), b, map);
    if (scaleOver) {
        DrawScale(Canvas, disabled);
        DrawLimitPointers(Canvas, b, map);
        DrawMinMaxPointers(Canvas, b, map);
    } else {
        DrawMinMaxPointers(Canvas, b, map);
        DrawLimitPointers(Canvas, b, map);
    }
}

void TiLinearGauge::DrawSections(QPainter& Canvas, const Band& b, const TiScaleMap& map) {
    const int count = SectionCount();
    if (count <= 0)
        return;
    const double min = PositionMin(), max = PositionMax();
    const double ends[4] = {SectionEnd1(), SectionEnd2(), SectionEnd3(), SectionEnd4()};
    double s = min;
    for (int k = 1; k <= count; ++k) {
        double e = k == 5 ? max : ends[k - 1];
        if (e > max)
            e = max;
        if (e < min)
            e = min;
        if (e < s)
            e = max;
        if (k == count)
            e = max;
        const int ps = map.ToPixel(s), pe = map.ToPixel(e);
        const QColor c = ColorToQColor(SectionColor(k));
        if (m_orientation == ioVertical)
            FillWin(Canvas, b.Left, std::min(ps, pe), b.Right, std::max(ps, pe), c);
        else
            FillWin(Canvas, std::min(ps, pe), b.Top, std::max(ps, pe), b.Bottom, c);
        if (e == max)
            break;
        s = e;
    }
}

void TiLinearGauge::DrawPointer(QPainter& Canvas, TiGaugePointer* p, const Band& b, const TiScaleMap& map) {
    if (!p->Visible()) {
        p->SetRegion(QRegion());
        return;
    }
    const double min = PositionMin(), max = PositionMax();
    double v = p->Position();
    if (v > max)
        v = max;
    if (!(v >= min))
        v = min;
    const int q = map.ToPixel(v), r = map.ToPixel(min), t = map.ToPixel(max);
    const int m = p->Margin(), s = p->Size(), h = s / 2;
    const int code = SideCode(p);
    const bool vertical = m_orientation == ioVertical;
    const TColor colorValue = p->DrawColor();
    const QColor color = ColorToQColor(colorValue);

    Canvas.save();
    Canvas.setPen(QPen(color, 0));
    Canvas.setBrush(color);
    QRegion region;
    switch (p->Style()) {
    case ilgpsPointer:
    case ilgpsTriangle: {
        const int depth = p->Style() == ilgpsPointer ? 2 * s : s;
        QPolygon poly;
        if (code == 2 || code == 0) {
            // The outer edge lies M outside the band; the shape reaches depth into it.
            const int outer = code == 2 ? b.Left - m : b.Right + m;
            const int inner = code == 2 ? outer + depth : outer - depth;
            const int mid = (outer + inner) / 2;
            if (p->Style() == ilgpsPointer)
                poly << QPoint(outer, q - h) << QPoint(mid, q - h) << QPoint(inner, q) << QPoint(mid, q + h)
                     << QPoint(outer, q + h);
            else
                poly << QPoint(outer, q - h) << QPoint(outer, q + h) << QPoint(inner, q);
        } else {
            const int outer = code == 3 ? b.Top - m : b.Bottom + m;
            const int inner = code == 3 ? outer + depth : outer - depth;
            const int mid = (outer + inner) / 2;
            if (p->Style() == ilgpsPointer)
                poly << QPoint(q - h, outer) << QPoint(q + h, outer) << QPoint(q + h, mid) << QPoint(q, inner)
                     << QPoint(q - h, mid);
            else
                poly << QPoint(q - h, outer) << QPoint(q + h, outer) << QPoint(q, inner);
        }
        region = iPolygonPixels(poly);
        for (const QRect& r : region)
            Canvas.fillRect(r, color);
        if (p->Style3D())
            DrawRaisedEdges(Canvas, poly);
        break;
    }
    case ilgpsTLine: {
        const int lo = std::min(r, t), hi = std::max(r, t);
        QRect stem;
        if (vertical) {
            const int outer = code == 2 ? b.Left - m : b.Right + m - 1;
            const int step = code == 2 ? 1 : -1;
            for (int k = 0; k < 2; ++k)
                Canvas.drawLine(outer + k * step, lo, outer + k * step, hi);
            const int x1 = outer, x2 = outer + step * (s - 1);
            stem = QRect(QPoint(std::min(x1, x2), q - 1), QPoint(std::max(x1, x2), q + 1));
            region = QRegion(QRect(QPoint(std::min(x1, x2), q - 4), QPoint(std::max(x1, x2), q + 4)));
        } else {
            const int outer = code == 3 ? b.Top - m : b.Bottom + m - 1;
            const int step = code == 3 ? 1 : -1;
            for (int k = 0; k < 3; ++k)
                Canvas.drawLine(lo, outer + k * step, hi, outer + k * step);
            const int y1 = outer, y2 = outer + step * (s - 1);
            stem = QRect(QPoint(q - 1, std::min(y1, y2)), QPoint(q + 1, std::max(y1, y2)));
            region = QRegion(QRect(QPoint(q - 4, std::min(y1, y2)), QPoint(q + 4, std::max(y1, y2))));
        }
        if (s > 0)
            iFillRect(Canvas, stem, color);
        break;
    }
    case ilgpsColorBar:
    case ilgpsTube: {
        QRect bar = vertical ? iWinRect(b.Left, std::min(r, q), b.Right, std::max(r, q))
                             : iWinRect(std::min(r, q), b.Top, std::max(r, q), b.Bottom);
        if (bar.width() > 0 && bar.height() > 0) {
            if (p->Style() == ilgpsColorBar) {
                iFillRect(Canvas, bar, color);
            } else {
                // A cylinder: the gauge's pointer colour in the middle, darker towards both edges.
                const QColor middle = ColorToQColor(PointerColor());
                const QColor edge = ColorToQColor(ColorDarken(PointerColor(), 128));
                const int from = vertical ? bar.left() : bar.top();
                const int to = vertical ? bar.right() : bar.bottom();
                const double centre = (from + to) / 2.0, half = std::max(1.0, (to - from) / 2.0);
                for (int a = from; a <= to; ++a) {
                    const double f = std::min(1.0, std::abs(a - centre) / half);
                    const QColor c(iRound(middle.red() + (edge.red() - middle.red()) * f),
                                   iRound(middle.green() + (edge.green() - middle.green()) * f),
                                   iRound(middle.blue() + (edge.blue() - middle.blue()) * f));
                    Canvas.setPen(QPen(c, 0));
                    if (vertical)
                        Canvas.drawLine(a, bar.top(), a, bar.bottom());
                    else
                        Canvas.drawLine(bar.left(), a, bar.right(), a);
                }
            }
        }
        region = QRegion(bar);
        break;
    }
    case ilgpsBarSunken:
    case ilgpsBarRaised:
    default: {
        if (p->Style() != ilgpsBarSunken && p->Style() != ilgpsBarRaised)
            break; // a style this gauge does not know draws nothing
        // A track S wide, M outside the band on the pointer's side, from the maximum to the minimum.
        int l1, l2; // across
        if (code == 2 || code == 3) {
            l1 = (code == 2 ? b.Left : b.Top) - m;
            l2 = l1 + s;
        } else {
            l2 = (code == 0 ? b.Right : b.Bottom) + m;
            l1 = l2 - s;
        }
        const int lo = std::min(r, t), hi = std::max(r, t);
        const int vlo = std::min(q, r), vhi = std::max(q, r);
        const QRect track = vertical ? iWinRect(l1, lo, l2, hi) : iWinRect(lo, l1, hi, l2);
        const QRect value = vertical ? iWinRect(l1, vlo, l2, vhi) : iWinRect(vlo, l1, vhi, l2);
        if (track.width() > 0 && track.height() > 0)
            iFillRect(Canvas, track, ColorToQColor(ColorDarken(colorValue, 128)));
        if (value.width() > 0 && value.height() > 0)
            iFillRect(Canvas, value, color);
        DrawBevel(Canvas, track.adjusted(-2, -2, 2, 2),
                  p->Style() == ilgpsBarSunken ? ibsLowered : ibsRaised);
        region = QRegion(track);
        break;
    }
    }
    Canvas.restore();
    p->SetRegion(region);
    if (HasFocus() && m_allowFocus && p->Selected() && !region.isEmpty())
        DrawFocusRect(Canvas, region.boundingRect().adjusted(-1, -1, 1, 1));
}

void TiLinearGauge::DrawMinMaxPointers(QPainter& Canvas, const Band& b, const TiScaleMap& map) {
    struct Extreme {
        TiGaugePointer* pointer;
        bool shown;
        double value;
        TColor color;
    };
    for (const Extreme& x :
         {Extreme{m_maxPointer.get(), ShowMaxPointer(), CurrentMax(), MaxPointerColor()},
          Extreme{m_minPointer.get(), ShowMinPointer(), CurrentMin(), MinPointerColor()}}) {
        if (!x.shown) {
            x.pointer->SetRegion(QRegion());
            continue;
        }
        x.pointer->SetPosition(x.value);
        x.pointer->SetStyle(ilgpsTriangle);
        x.pointer->SetMargin(MinMaxPointerMargin());
        x.pointer->SetSize(MinMaxPointerSize());
        x.pointer->SetDrawScaleSide(false);
        x.pointer->SetColor(x.color);
        x.pointer->SetUserCanMove(MinMaxUserCanMove());
        x.pointer->SetStyle3D(m_minMaxStyle3D);
        DrawPointer(Canvas, x.pointer, b, map);
    }
}

void TiLinearGauge::DrawLimitPointers(QPainter& Canvas, const Band& b, const TiScaleMap& map) {
    for (int i = 0; i < LimitCount(); ++i) {
        const TiLimitObject& l = Limit(i);
        for (int upper = 1; upper >= 0; --upper) {
            if (!(upper ? l.ShowUpperPointer : l.ShowLowerPointer))
                continue;
            TiGaugePointer p;
            p.SetPosition(upper ? l.UpperValue : l.LowerValue);
            p.SetStyle(ilgpsTriangle);
            p.SetMargin(l.PointerMargin);
            p.SetSize(l.PointerSize);
            p.SetColor(upper ? l.UpperColor : l.LowerColor);
            DrawPointer(Canvas, &p, b, map);
        }
    }
}

// ---------------------------------------------------------------------------------------------------
// Keys and mouse

void TiLinearGauge::iWantSpecialKey(int& Key, int& Result) {
    if (Key == Qt::Key_Left || Key == Qt::Key_Right || Key == Qt::Key_Up || Key == Qt::Key_Down)
        Result = 1;
}

void TiLinearGauge::iKeyDown(int& Key, TShiftState) {
    const bool extreme = m_minPointer->Selected() || m_maxPointer->Selected();
    TiGaugePointer* target = nullptr;
    for (int i = m_pointers->Count() - 1; i >= 0 && !extreme && !target; --i)
        if (m_pointers->Item(i)->Selected())
            target = m_pointers->Item(i);
    if (!extreme && !target)
        return;
    const double old = target ? target->Position() : 0;
    double value;
    switch (Key) {
    case Qt::Key_Left:
    case Qt::Key_Down:
        value = old - m_keyArrowStepSize;
        break;
    case Qt::Key_Right:
    case Qt::Key_Up:
        value = old + m_keyArrowStepSize;
        break;
    case Qt::Key_PageUp:
        value = old + m_keyPageStepSize;
        break;
    case Qt::Key_PageDown:
        value = old - m_keyPageStepSize;
        break;
    case Qt::Key_Home:
        value = PositionMin();
        break;
    case Qt::Key_End:
        value = PositionMax();
        break;
    default:
        return;
    }
    Key = 0;
    // The min and max pointers take the running extremes again at every paint: nothing to change.
    if (extreme)
        return;
    {
        UserChangeScope user(this);
        target->SetPosition(value);
    }
    BackGroundChange();
}

void TiLinearGauge::iMouseDown(TMouseButton Button, TShiftState, int X, int Y) {
    if (Button != mbLeft)
        return;
    bool anySelected = m_minPointer->Selected() || m_maxPointer->Selected();
    for (int i = 0; i < m_pointers->Count(); ++i)
        anySelected = anySelected || m_pointers->Item(i)->Selected();
    if (anySelected && m_allowFocus)
        setFocus(Qt::MouseFocusReason);

    const QPoint at(X, Y);
    m_pressValue = PixelToValue(AlongOf(X, Y));
    m_moved = false;
    auto select = [this](TiGaugePointer* p) {
        m_pointers->DeselectAll();
        m_minPointer->SetSelected(false);
        m_maxPointer->SetSelected(false);
        p->SetSelected(true);
        p->SetPressed(true);
        if (m_allowFocus)
            setFocus(Qt::MouseFocusReason);
        InvalidateChange();
    };
    if (MinMaxUserCanMove() && ShowMinPointer() && m_minPointer->Region().contains(at)) {
        select(m_minPointer.get());
        m_pressExtremeValue = CurrentMin();
    } else if (MinMaxUserCanMove() && ShowMaxPointer() && m_maxPointer->Region().contains(at)) {
        select(m_maxPointer.get());
        m_pressExtremeValue = CurrentMax();
    }
    // The lowest index wins where pointers overlap.
    TiGaugePointer* hit = nullptr;
    for (int i = m_pointers->Count() - 1; i >= 0; --i) {
        TiGaugePointer* p = m_pointers->Item(i);
        if (p->Visible() && p->Enabled() && p->Region().contains(at))
            hit = p;
    }
    if (hit) {
        for (int i = 0; i < m_pointers->Count(); ++i)
            m_pointers->Item(i)->SetPressed(false);
        select(hit);
        m_pressPointerValue = hit->Position();
    }
}

void TiLinearGauge::iMouseMove(TShiftState, int X, int Y) {
    const QPoint at(X, Y);
    const TiGaugePointer* over = nullptr;
    for (int i = 0; i < m_pointers->Count() && !over; ++i) {
        const TiGaugePointer* p = m_pointers->Item(i);
        if (p->Visible() && p->Enabled() && p->Region().contains(at))
            over = p;
    }
    if (over)
        setCursor(over->UserCanMove() ? Qt::PointingHandCursor : Qt::ArrowCursor);
    else
        unsetCursor();

    const double d = PixelToValue(AlongOf(X, Y)) - m_pressValue;
    if (m_maxPointer->Pressed()) {
        SetCurrentMax(m_pressExtremeValue + d);
        if (CurrentMin() > CurrentMax())
            SetCurrentMin(CurrentMax());
        return;
    }
    if (m_minPointer->Pressed()) {
        SetCurrentMin(m_pressExtremeValue + d);
        if (CurrentMax() < CurrentMin())
            SetCurrentMax(CurrentMin());
        return;
    }
    for (int i = 0; i < m_pointers->Count(); ++i) {
        TiGaugePointer* p = m_pointers->Item(i);
        if (p->Pressed() && p->UserCanMove()) {
            UserChangeScope user(this);
            p->SetPosition(m_pressPointerValue + d);
            m_moved = true;
            return;
        }
    }
}

void TiLinearGauge::iMouseUp(TMouseButton, TShiftState, int X, int Y) {
    const QPoint at(X, Y);
    m_minPointer->SetPressed(false);
    m_maxPointer->SetPressed(false);
    QList<int> clicked;
    for (int i = 0; i < m_pointers->Count(); ++i) {
        TiGaugePointer* p = m_pointers->Item(i);
        if (p->Pressed() && p->Region().contains(at))
            clicked << i;
        p->SetPressed(false);
    }
    for (int i : clicked)
        emit OnClickPointer(i);
    if (m_moved) {
        m_moved = false;
        DoPositionChangeFinished();
    }
}
