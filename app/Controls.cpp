#include "Controls.h"

#include <QApplication>
#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QStyleFactory>
#include <QStyleOption>
#include <QtMath>

TPanel::TPanel(QWidget* parent, TColor color, TPanelBevel bevelOuter, TPanelBevel bevelInner)
    : QWidget(parent), m_color(color), m_bevelOuter(bevelOuter), m_bevelInner(bevelInner) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

namespace {

// One bevel ring: top and left in the first colour, right and bottom in the second, the top-right and
// bottom-left corner pixels going to the right and bottom edges.
void DrawBevel(QPainter& p, QRect& r, TPanel::TPanelBevel bevel) {
    if (bevel == TPanel::bvNone || r.width() < 1 || r.height() < 1)
        return;
    const QColor light = ColorToQColor(clBtnHighlight);
    const QColor dark = ColorToQColor(clBtnShadow);
    const QColor& topLeft = bevel == TPanel::bvRaised ? light : dark;
    const QColor& bottomRight = bevel == TPanel::bvRaised ? dark : light;
    p.fillRect(r.left(), r.top(), r.width() - 1, 1, topLeft);
    p.fillRect(r.left(), r.top(), 1, r.height() - 1, topLeft);
    p.fillRect(r.right(), r.top(), 1, r.height(), bottomRight);
    p.fillRect(r.left(), r.bottom(), r.width(), 1, bottomRight);
    r.adjust(1, 1, -1, -1);
}

QPixmap DrawLamp(bool lit) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(16, 16);
    const QColor core = lit ? ColorToQColor(clRed) : ColorToQColor(clBlack);
    if (lit) {
        // Eight short rays between the ring and 4 pixels from the picture's edges.
        p.setPen(QPen(core, 2, Qt::SolidLine, Qt::FlatCap));
        for (int i = 0; i < 8; ++i) {
            const qreal a = qDegreesToRadians(45.0 * i);
            const QPointF dir(qCos(a), qSin(a));
            p.drawLine(centre + dir * 9.0, centre + dir * 12.0);
        }
    }
    // A black outline, the white ring, the disc: 15 pixels across in all.
    p.setPen(Qt::NoPen);
    p.setBrush(ColorToQColor(clBlack));
    p.drawEllipse(centre, 7.5, 7.5);
    p.setBrush(ColorToQColor(clWhite));
    p.drawEllipse(centre, 6.5, 6.5);
    p.setBrush(core);
    p.drawEllipse(centre, 4.5, 4.5);
    return pixmap;
}

} // namespace

void TPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), ColorToQColor(m_color));
    QRect r = rect();
    DrawBevel(p, r, m_bevelOuter);
    DrawBevel(p, r, m_bevelInner);
}

TLabel::TLabel(const QString& caption, QWidget* parent, int left, int top, int width, int height)
    : QWidget(parent), m_caption(caption), m_autoSize(width < 0 || height < 0) {
    if (m_autoSize)
        setGeometry(left, top, 0, 0);
    else
        setGeometry(left, top, width, height);
    SetCaption(caption);
}

void TLabel::SetCaption(const QString& caption) {
    m_caption = caption;
    FitToText();
    update();
}

void TLabel::FitToText() {
    if (m_autoSize) {
        const QFontMetrics fm(font());
        resize(fm.horizontalAdvance(m_caption), fm.height());
    }
}

void TLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange)
        FitToText();
    QWidget::changeEvent(event);
}

void TLabel::SetAlignment(TAlignment alignment) {
    m_alignment = alignment;
    update();
}

void TLabel::SetColor(TColor color) {
    m_filled = true;
    m_color = color;
    update();
}

void TLabel::SetFontColor(TColor color) {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, ColorToQColor(color));
    setPalette(pal);
}

void TLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (m_filled)
        p.fillRect(rect(), ColorToQColor(m_color));
    const QFont f = font();
    const int em = f.pixelSize() > 0 ? f.pixelSize() : QFontMetrics(f).height();
    const int baseline = qRound(0.88 * em);
    int x = 0;
    if (m_alignment == taCenter)
        x = (width() - QFontMetrics(f).horizontalAdvance(m_caption)) / 2;
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(QPoint(x, baseline), m_caption);
}

TFlatStyle::TFlatStyle(QObject* parent) : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {
    setParent(parent);
}

void TFlatStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                    QPainter* painter, const QWidget* widget) const {
    const auto* combo = qstyleoption_cast<const QStyleOptionComboBox*>(option);
    if (control != CC_ComboBox || !combo) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    const QPalette& pal = option->palette;
    const QRect r = option->rect;
    const bool enabled = option->state & State_Enabled;
    painter->save();
    painter->fillRect(r, pal.brush(enabled ? QPalette::Base : QPalette::Window));
    // The drop-down button: a face with a one-pixel shadow border and the arrow, moved by a pixel while
    // pressed; its place is the base style's, inside the frame.
    QRect button = subControlRect(CC_ComboBox, option, SC_ComboBoxArrow, widget) & r.adjusted(1, 1, -1, -1);
    if (button.isValid()) {
        painter->fillRect(button, pal.button());
        painter->setPen(ColorToQColor(clBtnShadow));
        painter->drawRect(button.adjusted(0, 0, -1, -1));
        const bool pressed = (combo->activeSubControls & SC_ComboBoxArrow) && (option->state & State_Sunken);
        // A classic drop-down triangle: 7 pixels wide at the top, 4 rows high.
        const QPoint tip = button.center() + QPoint(pressed ? 1 : 0, pressed ? 3 : 2);
        painter->setPen(pal.color(enabled ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
        for (int row = 0; row < 4; ++row)
            painter->drawLine(tip.x() - row, tip.y() - row, tip.x() + row, tip.y() - row);
    }
    painter->setPen(ColorToQColor(clWindowFrame));
    painter->drawRect(r.adjusted(0, 0, -1, -1));
    painter->restore();
}

void TFlatStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                               const QWidget* widget) const {
    if (element != PE_IndicatorCheckBox) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const QPalette& pal = option->palette;
    const QRect r = option->rect;
    const bool enabled = option->state & State_Enabled;
    painter->save();
    // A pressed or disabled box shows the button face, as the classic flat check box does.
    const bool face = !enabled || (option->state & State_Sunken);
    painter->fillRect(r, face ? pal.button() : pal.base());
    painter->setPen(ColorToQColor(clWindowFrame));
    painter->drawRect(r.adjusted(0, 0, -1, -1));
    if (option->state & (State_On | State_NoChange)) {
        // The classic tick, three pixels thick: down two steps from the left, then up four.
        painter->setPen(option->state & State_NoChange || !enabled ? ColorToQColor(clBtnShadow)
                                                                   : pal.color(QPalette::Text));
        const QPoint a = r.center() + QPoint(-3, -1), b = a + QPoint(2, 2), c = b + QPoint(4, -4);
        for (int dy = 0; dy < 3; ++dy) {
            painter->drawLine(a + QPoint(0, dy), b + QPoint(0, dy));
            painter->drawLine(b + QPoint(0, dy), c + QPoint(0, dy));
        }
    }
    painter->restore();
}

const QPixmap& UnlitLampPicture() {
    static const QPixmap picture = DrawLamp(false);
    return picture;
}

const QPixmap& LitLampPicture() {
    static const QPixmap picture = DrawLamp(true);
    return picture;
}

QFont LayoutFont(const char* family, int pixelSize, bool bold, bool italic) {
    QFont font{QString::fromUtf8(family)};
    // Chinese characters in a sans text take the Song face, as Windows links them; this also keeps a
    // second CJK face family out of memory.
    if (font.family() == u"MS Sans Serif")
        font.setFamilies({font.family(), QStringLiteral("宋体")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

void ApplyClassicLook(QApplication& app) {
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        app.setStyle(fusion);
    QPalette pal;
    const auto set = [&pal](QPalette::ColorRole role, TColor color) {
        pal.setColor(QPalette::All, role, ColorToQColor(color));
    };
    set(QPalette::Window, clBtnFace);
    set(QPalette::WindowText, clWindowText);
    set(QPalette::Button, clBtnFace);
    set(QPalette::ButtonText, clBtnText);
    set(QPalette::Base, clWindow);
    set(QPalette::AlternateBase, clBtnFace);
    set(QPalette::Text, clWindowText);
    set(QPalette::Light, clBtnHighlight);
    set(QPalette::Midlight, cl3DLight);
    set(QPalette::Mid, clBtnShadow);
    set(QPalette::Dark, clBtnShadow);
    set(QPalette::Shadow, cl3DDkShadow);
    set(QPalette::Highlight, clHighlight);
    set(QPalette::HighlightedText, clHighlightText);
    set(QPalette::ToolTipBase, clInfoBk);
    set(QPalette::ToolTipText, clInfoText);
    set(QPalette::Link, clHotLight);
    pal.setColor(QPalette::Disabled, QPalette::WindowText, ColorToQColor(clGrayText));
    pal.setColor(QPalette::Disabled, QPalette::Text, ColorToQColor(clGrayText));
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, ColorToQColor(clGrayText));
    app.setPalette(pal);
}
