#include "iComponent.h"

#include <QApplication>
#include <QFile>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMetaProperty>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QSaveFile>
#include <QSet>
#include <QTextStream>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

namespace {

qint64 NowNs() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.nsecsElapsed();
}

// A fresh painter as the paint cycle hands it to a widget: no antialiasing, solid black pen, solid
// white brush, the default widget font.
void PreparePainter(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.setPen(QPen(Qt::black, 0, Qt::SolidLine));
    p.setBrush(QBrush(Qt::white, Qt::SolidPattern));
    static const QFont font = TFont().ToQFont();
    p.setFont(font);
}

TShiftState ShiftOf(Qt::KeyboardModifiers m, Qt::MouseButtons b = Qt::NoButton) {
    TShiftState s;
    if (m & Qt::ShiftModifier)
        s |= ssShift;
    if (m & Qt::AltModifier)
        s |= ssAlt;
    if (m & Qt::ControlModifier)
        s |= ssCtrl;
    if (b & Qt::LeftButton)
        s |= ssLeft;
    if (b & Qt::RightButton)
        s |= ssRight;
    if (b & Qt::MiddleButton)
        s |= ssMiddle;
    return s;
}

bool ButtonOf(Qt::MouseButton b, TMouseButton& out) {
    switch (b) {
    case Qt::LeftButton:
        out = mbLeft;
        return true;
    case Qt::RightButton:
        out = mbRight;
        return true;
    case Qt::MiddleButton:
        out = mbMiddle;
        return true;
    default:
        return false;
    }
}

bool IsArrowKey(int key) {
    return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
}

} // namespace

// ---------------------------------------------------------------------------------------------------
// Colour and pixel helpers

int iRound(double v) {
    return int(std::nearbyint(v));
}

QRect iWinRect(int Left, int Top, int Right, int Bottom) {
    return QRect(QPoint(Left, Top), QPoint(Right - 1, Bottom - 1));
}

void iFillRect(QPainter& Canvas, const QRect& r, const QColor& c) {
    Canvas.fillRect(r, c);
}

void iFrameRect(QPainter& Canvas, const QRect& r) {
    if (r.width() <= 0 || r.height() <= 0)
        return;
    // A one-pixel QPainter rectangle covers width + 1 pixels; shrink so the outline stays inside r.
    Canvas.save();
    Canvas.setBrush(Qt::NoBrush);
    Canvas.drawRect(r.adjusted(0, 0, -1, -1));
    Canvas.restore();
}

void iEllipse(QPainter& Canvas, const QRect& r) {
    if (r.width() <= 0 || r.height() <= 0)
        return;
    Canvas.drawEllipse(r.adjusted(0, 0, -1, -1));
}

void iLine(QPainter& Canvas, QPoint p1, QPoint p2) {
    if (p1 == p2)
        return;
    if (p1.y() == p2.y()) {
        const int step = p2.x() > p1.x() ? 1 : -1;
        Canvas.drawLine(p1, QPoint(p2.x() - step, p2.y()));
        return;
    }
    if (p1.x() == p2.x()) {
        const int step = p2.y() > p1.y() ? 1 : -1;
        Canvas.drawLine(p1, QPoint(p2.x(), p2.y() - step));
        return;
    }
    // Bresenham, end point excluded, so slanted lines meet the same pixels on every run.
    QVector<QPoint> pts;
    int x = p1.x(), y = p1.y();
    const int dx = std::abs(p2.x() - x), sx = x < p2.x() ? 1 : -1;
    const int dy = -std::abs(p2.y() - y), sy = y < p2.y() ? 1 : -1;
    int err = dx + dy;
    pts.reserve(std::max(dx, -dy) + 1);
    while (x != p2.x() || y != p2.y()) {
        pts.append(QPoint(x, y));
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
    Canvas.drawPoints(pts.data(), int(pts.size()));
}

QRegion iPolygonPixels(const QPolygon& Points) {
    if (Points.isEmpty())
        return QRegion();
    const QRect box = Points.boundingRect();
    const int rows = box.height();
    // Per row, the crossings of the edges (whose span holds the inside pixel centres) and the first and
    // last pixel taken so far.
    std::vector<double> crossLo(rows, 1e300), crossHi(rows, -1e300);
    std::vector<int> lo(rows, INT_MAX), hi(rows, INT_MIN);
    auto take = [&](int x, int y) {
        const int r = y - box.top();
        lo[r] = std::min(lo[r], x);
        hi[r] = std::max(hi[r], x);
    };
    // The nearest whole number, or none when v lies exactly half-way: the neighbour on the inside of
    // the shape is taken by the centres rule, the outer one would make the shape lopsided.
    auto nearest = [](double v, int& out) {
        const double f = v - std::floor(v);
        if (std::abs(f - 0.5) < 1e-9)
            return false;
        out = int(std::floor(v + 0.5));
        return true;
    };
    const int n = int(Points.size());
    for (int i = 0; i < n; ++i) {
        const QPoint a = Points[i], b = Points[(i + 1) % n];
        const int dx = b.x() - a.x(), dy = b.y() - a.y();
        take(a.x(), a.y());
        if (dy != 0) {
            for (int y = std::min(a.y(), b.y()); y <= std::max(a.y(), b.y()); ++y) {
                const double x = a.x() + double(y - a.y()) * dx / dy;
                const int r = y - box.top();
                crossLo[r] = std::min(crossLo[r], x);
                crossHi[r] = std::max(crossHi[r], x);
            }
        }
        if (std::abs(dy) >= std::abs(dx)) {
            for (int y = std::min(a.y(), b.y()); dy != 0 && y <= std::max(a.y(), b.y()); ++y) {
                int x;
                if (nearest(a.x() + double(y - a.y()) * dx / dy, x))
                    take(x, y);
            }
        } else {
            for (int x = std::min(a.x(), b.x()); x <= std::max(a.x(), b.x()); ++x) {
                int y;
                if (nearest(a.y() + double(x - a.x()) * dy / dx, y))
                    take(x, y);
            }
        }
    }
    QVector<QRect> spans;
    for (int r = 0; r < rows; ++r) {
        int l = lo[r], h = hi[r];
        if (crossLo[r] <= crossHi[r]) {
            l = std::min(l, int(std::ceil(crossLo[r] - 1e-9)));
            h = std::max(h, int(std::floor(crossHi[r] + 1e-9)));
        }
        if (l <= h)
            spans.append(QRect(l, box.top() + r, h - l + 1, 1));
    }
    QRegion region;
    region.setRects(spans.constData(), int(spans.size()));
    return region;
}

void iPolygon(QPainter& Canvas, const QPolygon& Points, const QColor& Color) {
    for (const QRect& r : iPolygonPixels(Points))
        Canvas.fillRect(r, Color);
}

QPoint PolarPoint(QPoint C, double R, double ADegrees) {
    const double a = ADegrees * M_PI / 180.0;
    return QPoint(C.x() + iRound(R * std::cos(a)), C.y() - iRound(R * std::sin(a)));
}

void DrawBevel(QPainter& Canvas, const QRect& r, TiBevelStyle Style) {
    if (Style == ibsNone || r.width() < 2 || r.height() < 2)
        return;
    struct Edge {
        TColor light, dark;
    };
    const Edge outer = Style == ibsRaised ? Edge{cl3DLight, cl3DDkShadow} : Edge{clBtnShadow, clBtnHighlight};
    const Edge inner = Style == ibsRaised ? Edge{clBtnHighlight, clBtnShadow} : Edge{cl3DDkShadow, cl3DLight};
    Canvas.save();
    auto ring = [&](const QRect& q, const Edge& e) {
        Canvas.setPen(ColorToQColor(e.light));
        Canvas.drawLine(q.left(), q.top(), q.right() - 1, q.top());
        Canvas.drawLine(q.left(), q.top(), q.left(), q.bottom() - 1);
        Canvas.setPen(ColorToQColor(e.dark));
        Canvas.drawLine(q.left(), q.bottom(), q.right(), q.bottom());
        Canvas.drawLine(q.right(), q.top(), q.right(), q.bottom());
    };
    ring(r, outer);
    if (r.width() > 2 && r.height() > 2)
        ring(r.adjusted(1, 1, -1, -1), inner);
    Canvas.restore();
}

void DrawFocusRect(QPainter& Canvas, const QRect& r) {
    if (r.width() <= 0 || r.height() <= 0)
        return;
    QVector<QPoint> pts;
    auto dot = [&](int x, int y) {
        if (((x - r.left()) + (y - r.top())) % 2 == 0)
            pts.append(QPoint(x, y));
    };
    for (int x = r.left(); x <= r.right(); ++x) {
        dot(x, r.top());
        if (r.bottom() != r.top())
            dot(x, r.bottom());
    }
    for (int y = r.top() + 1; y < r.bottom(); ++y) {
        dot(r.left(), y);
        if (r.right() != r.left())
            dot(r.right(), y);
    }
    Canvas.save();
    Canvas.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    Canvas.setPen(QPen(Qt::white, 0));
    Canvas.drawPoints(pts.data(), int(pts.size()));
    Canvas.restore();
}

// ---------------------------------------------------------------------------------------------------
// TiUpdateObject

namespace {
QPointer<TiUpdateObject>& UpdateObjectPtr() {
    static QPointer<TiUpdateObject> p;
    return p;
}
} // namespace

TiUpdateObject::TiUpdateObject() : QObject(QCoreApplication::instance()), m_timer(new QTimer(this)) {
    m_timer->setInterval(IntervalMs);
    connect(m_timer, &QTimer::timeout, this, &TiUpdateObject::Flush);
}

TiUpdateObject& TiUpdateObject::Instance() {
    auto& p = UpdateObjectPtr();
    if (!p)
        p = new TiUpdateObject();
    return *p;
}

void TiUpdateObject::Add(TiComponent* c) {
    m_list.append(c);
    if (!m_timer->isActive())
        m_timer->start();
}

void TiUpdateObject::Remove(TiComponent* c) {
    m_list.removeAll(c);
    if (m_list.isEmpty())
        m_timer->stop();
}

bool TiUpdateObject::TimerActive() const {
    return m_timer->isActive();
}

void TiUpdateObject::Flush() {
    const QList<TiComponent*> copy = m_list;
    const qint64 now = NowNs();
    for (TiComponent* c : copy) {
        if (!m_list.contains(c) || c->m_updateLock || !c->m_repaintPending)
            continue;
        const int rate = c->m_updateFrameRate;
        if (rate <= 0 || now - c->m_lastRepaintRequestNs > qint64(1e9 / rate))
            c->RepaintNow();
    }
}

// ---------------------------------------------------------------------------------------------------
// TiComponent: construction and plain properties

TiComponent::TiComponent(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    m_lastRepaintRequestNs = NowNs();
    m_errorFont = new TFont(this);
    m_errorFont->SetColor(clRed);
    m_errorFont->SetStyle(fsBold);
    connect(m_errorFont, &TFont::OnChange, this, &TiComponent::BackGroundChange);
    TiUpdateObject::Instance().Add(this);
}

TiComponent::~TiComponent() {
    m_destroying = true;
    if (auto& p = UpdateObjectPtr())
        p->Remove(this);
}

void TiComponent::SetLeft(int value) {
    SetBounds(value, y(), width(), height());
}
void TiComponent::SetTop(int value) {
    SetBounds(x(), value, width(), height());
}
void TiComponent::SetWidth(int value) {
    SetBounds(x(), y(), value, height());
}
void TiComponent::SetHeight(int value) {
    SetBounds(x(), y(), width(), value);
}
void TiComponent::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    // Within what a widget can have, so that no edge (left + width) overflows, whatever a property
    // file says.
    const auto place = [](int v) { return std::clamp(v, -QWIDGETSIZE_MAX, QWIDGETSIZE_MAX); };
    const auto size = [](int v) { return std::clamp(v, 0, QWIDGETSIZE_MAX); };
    setGeometry(place(ALeft), place(ATop), size(AWidth), size(AHeight));
}

void TiComponent::SetShowHint(bool value) {
    m_showHint = value;
    setToolTip(m_showHint ? m_hint : QString());
}

void TiComponent::SetHint(const QString& value) {
    m_hint = value;
    setToolTip(m_showHint ? m_hint : QString());
}

void TiComponent::SetTabStop(bool value) {
    m_tabStop = value;
    setFocusPolicy(value ? Qt::TabFocus : Qt::NoFocus);
    if (value && !IsLoading())
        ApplyTabOrder();
}

namespace {

// The parent's children that the Tab key reaches, in the window's focus order.
QList<QWidget*> TabList(const QWidget* parent) {
    QList<QWidget*> list;
    QWidget* start = parent->window();
    QWidget* w = start;
    do {
        if (w->parentWidget() == parent && !w->isWindow() && (w->focusPolicy() & Qt::TabFocus))
            list.append(w);
        w = w->nextInFocusChain();
    } while (w && w != start);
    return list;
}

} // namespace

int TiComponent::TabOrder() const {
    if (const QWidget* parent = parentWidget();
        parent && (focusPolicy() & Qt::TabFocus) && !m_tabOrderPending) {
        const int index = int(TabList(parent).indexOf(const_cast<TiComponent*>(this)));
        if (index >= 0)
            return index;
    }
    return m_tabOrder;
}

void TiComponent::SetTabOrder(int value) {
    m_tabOrder = value;
    // A negative value names no place: the widget stays where it was created.
    m_tabOrderPending = value >= 0;
    if (!IsLoading())
        ApplyTabOrder();
}

void TiComponent::ApplyTabOrder() {
    QWidget* parent = parentWidget();
    if (!m_tabOrderPending || !parent || !(focusPolicy() & Qt::TabFocus))
        return;
    m_tabOrderPending = false;
    QList<QWidget*> list = TabList(parent);
    list.removeOne(this);
    list.insert(std::min(m_tabOrder, int(list.size())), this);
    // Chained one after the other from the first, so the siblings keep their place in the window.
    for (int i = 0; i + 1 < list.size(); ++i)
        QWidget::setTabOrder(list[i], list[i + 1]);
}

void TiComponent::FinishLoading() {
    ApplyTabOrder();
    Loaded();
}

void TiComponent::SetAutoFrameRate(bool value) {
    if (m_autoFrameRate == value)
        return;
    m_autoFrameRate = value;
    if (!value)
        EndUpdate();
}

void TiComponent::SetBackGroundColor(TColor value) {
    SetField(m_backGroundColor, value, irkBackGround);
}

void TiComponent::SetBackGroundPicture(const QImage& value) {
    if (m_backGroundPicture.isNull() && value.isNull())
        return;
    m_backGroundPicture = value;
    BackGroundChange();
}

void TiComponent::SetBorderStyle(TiBevelStyle value) {
    SetField(m_borderStyle, value, irkBackGround);
}

void TiComponent::SetCachedDrawing(bool value) {
    if (!SetField(m_cachedDrawing, value, irkBackGround))
        return;
    if (!value)
        m_cache = QImage();
}

void TiComponent::SetErrorFont(TFont* value) {
    if (value && value != m_errorFont)
        m_errorFont->Assign(*value);
}

QPoint TiComponent::GetCenterPoint() const {
    return QPoint(width() / 2 + m_offsetX, height() / 2 + m_offsetY);
}

// ---------------------------------------------------------------------------------------------------
// Repaint scheduling

void TiComponent::BackGroundChange() {
    m_backGroundDirty = true;
    ScheduleRepaint();
}

void TiComponent::InvalidateChange() {
    ScheduleRepaint();
}

void TiComponent::RequestRepaint(TiRepaintKind kind) {
    if (kind == irkInvalidate)
        InvalidateChange();
    else if (kind == irkBackGround)
        BackGroundChange();
}

bool TiComponent::FrameRateAllowsRepaint() const {
    if (m_updateFrameRate == 0)
        return true;
    return NowNs() - m_lastRepaintRequestNs >= qint64(1e9 / m_updateFrameRate);
}

void TiComponent::ScheduleRepaint() {
    if (m_updateLock) {
        m_repaintPending = true;
        return;
    }
    if (m_autoFrameRate) {
        m_repaintPending = true;
        if (!FrameRateAllowsRepaint())
            return;
    }
    RepaintNow();
}

void TiComponent::RepaintNow() {
    m_repaintPending = false;
    m_lastRepaintRequestNs = NowNs();
    ++m_repaintRequestCount;
    update();
}

void TiComponent::BeginUpdate() {
    m_updateLock = true;
}

void TiComponent::EndUpdate() {
    m_updateLock = false;
    if (m_repaintPending)
        ScheduleRepaint();
}

void TiComponent::BeginLoading() {
    m_layoutLoading = true;
}

void TiComponent::EndLoading() {
    m_layoutLoading = false;
    FinishLoading();
}

// ---------------------------------------------------------------------------------------------------
// Paint cycle

QImage& TiComponent::CacheBitmap() {
    if (m_cache.size() != size()) {
        m_cache = QImage(size(), QImage::Format_RGB32);
        m_cache.fill(Qt::white);
        m_backGroundDirty = true;
    }
    return m_cache;
}

QImage TiComponent::RenderToImage() {
    QImage image(size(), QImage::Format_RGB32);
    if (image.isNull())
        return image;
    image.fill(Qt::white);
    QString error;
    {
        QPainter p(&image);
        PreparePainter(p);
        try {
            iPaintTo(p);
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        } catch (...) {
            error = QStringLiteral("Unknown error");
        }
    }
    if (!error.isNull()) {
        // A failing paint shows its message instead of a half-drawn face.
        QPainter p(&image);
        PreparePainter(p);
        p.fillRect(image.rect(), Qt::black);
        p.setPen(Qt::white);
        QFont font = p.font();
        font.setStyleStrategy(QFont::NoAntialias);
        p.setFont(font);
        p.drawText(image.rect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, error);
    }
    return image;
}

void TiComponent::paintEvent(QPaintEvent*) {
    if (!m_destroying)
        Lock();
    const QImage image = RenderToImage();
    {
        QPainter p(this);
        p.drawImage(0, 0, image);
    }
    if (!m_destroying)
        Unlock();
}

void TiComponent::DrawBackGround(QPainter& Canvas, TColor Color) {
    const QRect all = rect();
    if (Transparent()) {
        if (DrawTransparentBackGround(Canvas, Color))
            m_backGroundDirty = false;
        else
            m_staticIncomplete = true;
        return;
    }
    if (!m_backGroundPicture.isNull()) {
        Canvas.drawImage(all, m_backGroundPicture);
    } else {
        Canvas.fillRect(all, ColorToQColor(Color));
        DrawBorder(Canvas);
    }
    m_backGroundDirty = false;
}

bool TiComponent::DrawTransparentBackGround(QPainter& Canvas, TColor Color) {
    Canvas.fillRect(rect(), ColorToQColor(Color));
    return true;
}

void TiComponent::DrawBorder(QPainter& Canvas) {
    DrawBevel(Canvas, rect(), m_borderStyle);
}

void TiComponent::PaintStaticLayers(QPainter& Canvas, const std::function<void(QPainter&)>& DrawStatic) {
    if (!m_cachedDrawing) {
        DrawStatic(Canvas);
        return;
    }
    QImage& cache = CacheBitmap();
    if (m_backGroundDirty) {
        QPainter p(&cache);
        PreparePainter(p);
        m_staticIncomplete = false;
        DrawStatic(p);
        m_backGroundDirty = m_staticIncomplete;
    }
    Canvas.drawImage(0, 0, cache);
}

// ---------------------------------------------------------------------------------------------------
// Text

int TiComponent::DrawWidgetText(QPainter& Canvas, const QString& Text, QRect& Rect, TColor BackColor,
                                bool Enabled, unsigned Flags) {
    const bool single = Flags & itfSingleLine;
    int qf = 0;
    if (Flags & itfRight)
        qf |= Qt::AlignRight;
    else if (Flags & itfCenter)
        qf |= Qt::AlignHCenter;
    else
        qf |= Qt::AlignLeft;
    // As on the original platform, vertical placement applies to single lines only.
    if (single && (Flags & itfBottom))
        qf |= Qt::AlignBottom;
    else if (single && (Flags & itfVCenter))
        qf |= Qt::AlignVCenter;
    else
        qf |= Qt::AlignTop;
    if (single)
        qf |= Qt::TextSingleLine;
    else if (Flags & itfWordBreak)
        qf |= Qt::TextWordWrap;
    if (Flags & itfExpandTabs)
        qf |= Qt::TextExpandTabs;
    if (Flags & itfPrefix)
        qf |= Qt::TextShowMnemonic;

    const QFontMetrics fm(Canvas.font());
    QString s = Text;
    if (Flags & (itfEndEllipsis | itfPathEllipsis | itfWordEllipsis)) {
        const Qt::TextElideMode mode = (Flags & itfPathEllipsis) ? Qt::ElideMiddle : Qt::ElideRight;
        s = fm.elidedText(s, mode, std::max(0, Rect.width()), qf & Qt::TextShowMnemonic);
    }

    if (Flags & itfCalcRect) {
        const int wrapWidth = (qf & Qt::TextWordWrap) ? std::max(1, Rect.width()) : 1 << 20;
        const QRect br = fm.boundingRect(
            QRect(Rect.left(), Rect.top(), wrapWidth, 1 << 20),
            (qf & ~(Qt::AlignVertical_Mask | Qt::AlignHorizontal_Mask)) | Qt::AlignLeft | Qt::AlignTop, s);
        const int w = (qf & Qt::TextWordWrap) ? std::max(Rect.width(), br.width()) : br.width();
        Rect = QRect(Rect.left(), Rect.top(), w, br.height());
        return br.height();
    }

    const QRect br = fm.boundingRect(Rect, qf, s);
    Canvas.save();
    if (!(Flags & itfNoClip))
        Canvas.setClipRect(Rect, Qt::IntersectClip);
    if (Enabled || BackColor == clBlack) {
        Canvas.drawText(Rect, qf, s);
    } else {
        Canvas.setPen(ColorToQColor(ColorLighten(clBtnFace, 64)));
        Canvas.drawText(Rect.translated(1, 1), qf, s);
        Canvas.setPen(ColorToQColor(ColorDarken(clBtnFace, 32)));
        Canvas.drawText(Rect, qf, s);
    }
    Canvas.restore();
    return br.height();
}

// ---------------------------------------------------------------------------------------------------
// Hooks (empty in the frame)

void TiComponent::iGotFocus() {
    InvalidateChange();
}
void TiComponent::iLostFocus() {
    InvalidateChange();
}
void TiComponent::iWantSpecialKey(int&, int&) {}
void TiComponent::iKeyUp(int&, TShiftState) {}
void TiComponent::iKeyDown(int&, TShiftState) {}
void TiComponent::iKeyPress(QChar&) {}
void TiComponent::iMouseDown(TMouseButton, TShiftState, int, int) {}
void TiComponent::iMouseUp(TMouseButton, TShiftState, int, int) {}
void TiComponent::iMouseMove(TShiftState, int, int) {}
void TiComponent::iDoubleClick() {}
bool TiComponent::iMouseWheel(int, TShiftState, QPoint) {
    return false;
}

bool TiComponent::AskEditPermission(const QString& PropertyName) {
    bool allow = true;
    if (m_editPermissionHook)
        m_editPermissionHook(this, PropertyName, allow);
    return allow;
}

void TiComponent::TellPropertyChanged(const QString& PropertyName) {
    if (m_propertyChangedHook)
        m_propertyChangedHook(this, PropertyName);
}

bool TiComponent::NotifyPropertyChanged(const QString&, const QVariant&) {
    return false;
}

void TiComponent::DefineExtraValues(QList<TiExtraValue>&) {}

// ---------------------------------------------------------------------------------------------------
// Input routing

void TiComponent::Guarded(const std::function<void()>& f) {
    // Errors raised in input handling (widget hooks and the application's handlers) are dropped here,
    // so none reaches the event loop and the panel keeps running.
    try {
        f();
    } catch (...) {
    }
}

void TiComponent::mousePressEvent(QMouseEvent* e) {
    TMouseButton button;
    if (!ButtonOf(e->button(), button))
        return QWidget::mousePressEvent(e);
    const TShiftState shift = ShiftOf(e->modifiers(), e->buttons());
    const QPoint p = e->position().toPoint();
    if (button == mbLeft)
        m_clicked = true;
    Guarded([&] {
        UserInputScope scope(this);
        iMouseDown(button, shift, p.x(), p.y());
    });
    Guarded([&] { emit OnMouseDown(button, shift, p.x(), p.y()); });
}

void TiComponent::mouseDoubleClickEvent(QMouseEvent* e) {
    TMouseButton button;
    if (!ButtonOf(e->button(), button))
        return QWidget::mouseDoubleClickEvent(e);
    // The second press of a double click: no click mark, so its release raises no OnClick.
    const TShiftState shift = ShiftOf(e->modifiers(), e->buttons()) | ssDouble;
    const QPoint p = e->position().toPoint();
    if (button == mbLeft) {
        Guarded([&] {
            UserInputScope scope(this);
            iDoubleClick();
        });
        Guarded([&] { emit OnDblClick(); });
    }
    Guarded([&] {
        UserInputScope scope(this);
        iMouseDown(button, shift, p.x(), p.y());
    });
    Guarded([&] { emit OnMouseDown(button, shift, p.x(), p.y()); });
}

void TiComponent::mouseReleaseEvent(QMouseEvent* e) {
    TMouseButton button;
    if (!ButtonOf(e->button(), button))
        return QWidget::mouseReleaseEvent(e);
    const TShiftState shift = ShiftOf(e->modifiers(), e->buttons());
    const QPoint p = e->position().toPoint();
    if (button == mbLeft && m_clicked) {
        m_clicked = false;
        if (rect().contains(p))
            Guarded([&] { emit OnClick(); });
    }
    // Guarded apart from OnClick: a failing click handler must not leave a drag or a press running.
    Guarded([&] {
        UserInputScope scope(this);
        iMouseUp(button, shift, p.x(), p.y());
    });
    Guarded([&] { emit OnMouseUp(button, shift, p.x(), p.y()); });
}

void TiComponent::mouseMoveEvent(QMouseEvent* e) {
    const TShiftState shift = ShiftOf(e->modifiers(), e->buttons());
    const QPoint p = e->position().toPoint();
    Guarded([&] {
        UserInputScope scope(this);
        iMouseMove(shift, p.x(), p.y());
    });
    Guarded([&] { emit OnMouseMove(shift, p.x(), p.y()); });
}

void TiComponent::wheelEvent(QWheelEvent* e) {
    bool used = false;
    const TShiftState shift = ShiftOf(e->modifiers(), e->buttons());
    const QPoint p = e->position().toPoint();
    const int delta = e->angleDelta().y() != 0 ? e->angleDelta().y() : e->angleDelta().x();
    Guarded([&] {
        UserInputScope scope(this);
        used = iMouseWheel(delta, shift, p);
    });
    if (used)
        e->accept();
    else
        e->ignore();
}

void TiComponent::keyPressEvent(QKeyEvent* e) {
    int key = e->key();
    const TShiftState shift = ShiftOf(e->modifiers());
    bool consumed = false;
    if (IsArrowKey(key)) {
        int result = 0;
        Guarded([&] { iWantSpecialKey(key, result); });
        if (result != 1) {
            // An arrow the widget does not claim moves the focus, as in a dialog.
            focusNextPrevChild(key == Qt::Key_Right || key == Qt::Key_Down);
            consumed = true;
        }
    }
    // The widget reacts first, once, with the real shift state, also to an arrow that has just moved
    // the focus on; then the application's handler, for a key that stayed with the widget. The handler
    // gets the key as pressed, whatever the widget made of its copy.
    int hookKey = key;
    Guarded([&] {
        UserInputScope scope(this);
        iKeyDown(hookKey, shift);
    });
    if (!consumed)
        Guarded([&] { emit OnKeyDown(key, shift); });
    const QString text = e->text();
    for (QChar ch : text) {
        if (ch.unicode() == 0x7F) // Delete is a key, not a character
            continue;
        Guarded([&] { emit OnKeyPress(ch); });
        Guarded([&] {
            UserInputScope scope(this);
            iKeyPress(ch);
        });
    }
    e->accept();
}

void TiComponent::keyReleaseEvent(QKeyEvent* e) {
    if (e->isAutoRepeat())
        return; // auto-repeat sends only key-downs
    int key = e->key();
    const TShiftState shift = ShiftOf(e->modifiers());
    bool swallow = false;
    switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Cancel:
    case Qt::Key_Execute:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down: {
        int result = 0;
        Guarded([&] { iWantSpecialKey(key, result); });
        swallow = result == 1;
        break;
    }
    default:
        break;
    }
    // As for key-down: the widget first, with the real shift state, then the handler unless swallowed.
    int hookKey = key;
    Guarded([&] {
        UserInputScope scope(this);
        iKeyUp(hookKey, shift);
    });
    if (!swallow)
        Guarded([&] { emit OnKeyUp(key, shift); });
    e->accept();
}

void TiComponent::focusInEvent(QFocusEvent* e) {
    if (e->reason() == Qt::PopupFocusReason && m_hasFocus)
        return; // back from a popup menu that never took the focus from the widget
    m_hasFocus = true;
    Guarded([&] {
        UserInputScope scope(this);
        iGotFocus();
    });
    Guarded([&] { emit OnEnter(); });
}

void TiComponent::focusOutEvent(QFocusEvent* e) {
    // A popup menu (the context menu of a field) leaves the focus where it is.
    if (e->reason() == Qt::PopupFocusReason)
        return;
    m_hasFocus = false;
    // Losing the focus ends any press in progress.
    Guarded([&] {
        UserInputScope scope(this);
        iMouseUp(mbLeft, TShiftState(), 0, 0);
    });
    Guarded([&] {
        UserInputScope scope(this);
        iLostFocus();
    });
    Guarded([&] { emit OnExit(); });
}

void TiComponent::changeEvent(QEvent* e) {
    switch (e->type()) {
    case QEvent::EnabledChange:
    case QEvent::PaletteChange:
    case QEvent::ApplicationPaletteChange:
        BackGroundChange();
        break;
    default:
        break;
    }
    QWidget::changeEvent(e);
}

void TiComponent::resizeEvent(QResizeEvent* e) {
    if (!m_cache.isNull())
        m_cache = QImage(size(), QImage::Format_RGB32);
    BackGroundChange();
    QWidget::resizeEvent(e);
}

void TiComponent::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
}
