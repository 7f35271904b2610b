#include "iLabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QImage>
#include <QKeySequence>
#include <QPainter>
#include <QShortcutEvent>

#include <cstdlib>

TiLabel::TiLabel(QWidget* parent) : TiCustomComponent(parent), m_font(new TFont(this)) {
    SetTabStop(false); // a label is never reached with the Tab key
    resize(28, 13);
    connect(m_font, &TFont::OnChange, this, [this] {
        AdjustSize();
        InvalidateChange();
    });
}

void TiLabel::SetCaption(const QString& value) {
    if (value == m_caption)
        return;
    if (!AskEditPermission(QStringLiteral("Caption")))
        return;
    m_caption = value;
    UpdateAccelerator();
    AdjustSize();
    InvalidateChange();
}

void TiLabel::SetFont(TFont* value) {
    if (value)
        m_font->Assign(*value);
}

void TiLabel::SetFocusControl(QWidget* value) {
    disconnect(m_focusControlWatch);
    m_focusControl = value;
    if (value)
        m_focusControlWatch =
            connect(value, &QObject::destroyed, this, &TiLabel::FocusControlDestroyed, Qt::DirectConnection);
    UpdateAccelerator();
    InvalidateChange();
}

void TiLabel::FocusControlDestroyed() {
    m_focusControl = nullptr;
    UpdateAccelerator();
    InvalidateChange();
}

int TiLabel::BorderWidth() const {
    switch (m_borderStyle) {
    case ilbsSingle:
        return 1;
    case ilbsLowered:
    case ilbsRaised:
        return 2;
    default:
        return 0;
    }
}

unsigned TiLabel::TextFlags() const {
    unsigned flags = itfSingleLine | itfVCenter;
    switch (m_alignment) {
    case iahCenter:
        flags |= itfCenter;
        break;
    case iahRight:
        flags |= itfRight;
        break;
    default:
        flags |= itfLeft;
        break;
    }
    if (m_wordWrap)
        flags = (flags | itfWordBreak) & ~itfSingleLine;
    if (m_focusControl)
        flags |= itfPrefix;
    return flags;
}

void TiLabel::AdjustSize() {
    if (!m_autoSize || IsLoading() || m_adjustingSize)
        return;
    m_adjustingSize = true;
    const QFont font = m_font->ToQFont();
    const int border = 2 * BorderWidth();
    const int sx = m_shadowShow ? std::abs(m_shadowXOffset) : 0;
    const int sy = m_shadowShow ? std::abs(m_shadowYOffset) : 0;
    int width = Width();
    int textHeight;
    if (m_wordWrap) {
        QImage scratch(1, 1, QImage::Format_RGB32);
        QPainter p(&scratch);
        p.setFont(font);
        QRect r(0, 0, width, 0);
        textHeight = DrawWidgetText(p, m_caption, r, BackGroundColor(), true, TextFlags() | itfCalcRect);
    } else {
        const QFontMetrics fm(font);
        width = fm.horizontalAdvance(m_caption) + border + m_outerMarginLeft + m_outerMarginRight + sx;
        textHeight = fm.height();
    }
    SetWidth(width);
    SetHeight(textHeight + border + m_outerMarginTop + m_outerMarginBottom + sy);
    m_adjustingSize = false;
}

void TiLabel::UpdateAccelerator() {
    for (int id : std::as_const(m_shortcutIds))
        releaseShortcut(id);
    m_shortcutIds.clear();
    if (!m_focusControl)
        return;
    const QKeySequence mnemonic = QKeySequence::mnemonic(m_caption);
    if (mnemonic.isEmpty())
        return;
    // The letter counts in either case, so Shift may be held with Alt.
    const QKeyCombination key = mnemonic[0];
    m_shortcutIds << grabShortcut(QKeySequence(key), Qt::WindowShortcut)
                  << grabShortcut(QKeySequence(key.toCombined() | Qt::ShiftModifier), Qt::WindowShortcut);
}

bool TiLabel::event(QEvent* e) {
    if (e->type() == QEvent::Shortcut &&
        m_shortcutIds.contains(static_cast<QShortcutEvent*>(e)->shortcutId())) {
        QWidget* target = m_focusControl;
        if (target && isEnabled() && target->isEnabled() && target->isVisible() &&
            target->focusPolicy() != Qt::NoFocus)
            target->setFocus(Qt::ShortcutFocusReason);
        return true;
    }
    return TiCustomComponent::event(e);
}

void TiLabel::iPaintTo(QPainter& Canvas) {
    DrawBackGround(Canvas, BackGroundColor());
    SelectFont(Canvas, *m_font);
    Canvas.setBrush(Qt::NoBrush);
    const int b = BorderWidth();
    QRect text = iWinRect(b + m_outerMarginLeft, b + m_outerMarginTop, Width() - b - m_outerMarginRight,
                          Height() - b - m_outerMarginBottom);
    const unsigned flags = TextFlags();
    if (m_shadowShow) {
        // With a negative X offset the shadow stays in place and the text moves the other way, so the
        // shadow always lies at the offset from the text.
        Canvas.setPen(ColorToQColor(m_shadowColor));
        if (m_shadowXOffset >= 0)
            text.translate(m_shadowXOffset, m_shadowYOffset);
        QRect shadow = text;
        DrawWidgetText(Canvas, m_caption, shadow, BackGroundColor(), true, flags);
        Canvas.setPen(ColorToQColor(m_font->Color()));
        text.translate(-m_shadowXOffset, -m_shadowYOffset);
    }
    // Always the enabled look: a label is never drawn embossed.
    DrawWidgetText(Canvas, m_caption, text, BackGroundColor(), true, flags);

    Canvas.setPen(ColorToQColor(clWindowFrame));
    switch (m_borderStyle) {
    case ilbsSingle:
        iFrameRect(Canvas, rect());
        break;
    case ilbsLowered:
        DrawBevel(Canvas, rect(), ibsLowered);
        break;
    case ilbsRaised:
        DrawBevel(Canvas, rect(), ibsRaised);
        break;
    default:
        break;
    }
}
