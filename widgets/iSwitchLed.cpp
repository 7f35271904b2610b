#include "iSwitchLed.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPainter>
#include <QShortcutEvent>

TiSwitchLed::TiSwitchLed(QWidget* parent) : TiCustomComponent(parent), m_captionFont(new TFont(this)) {
    SetTabStop(true);
    resize(40, 28);
    setAccessibleName(m_caption);
    connect(m_captionFont, &TFont::OnChange, this, &TiSwitchLed::BackGroundChange);
    UpdateAccelerator();
}

void TiSwitchLed::SetActive(bool value) {
    if (value == m_active)
        return;
    if (!AskEditPermission(QStringLiteral("Active")))
        return;
    m_active = value;
    InvalidateChange();
    if (!IsLoading()) {
        TellPropertyChanged(QStringLiteral("Active"));
        emit OnChange();
        if (m_userChange)
            emit OnChangeUser();
    }
    NotifyPropertyChanged(QStringLiteral("Active"), value);
}

void TiSwitchLed::UserSetActive(bool value) {
    const bool old = m_userChange;
    m_userChange = true;
    // Restores the mark even when an OnChange handler throws; the frame's guard drops the error.
    struct Restore {
        bool& flag;
        bool old;
        ~Restore() { flag = old; }
    } restore{m_userChange, old};
    SetActive(value);
}

void TiSwitchLed::SetCaption(const QString& value) {
    if (!SetField(m_caption, value, irkInvalidate))
        return;
    setAccessibleName(value);
    UpdateAccelerator();
}

void TiSwitchLed::SetCaptionFont(TFont* value) {
    if (value)
        m_captionFont->Assign(*value);
}

void TiSwitchLed::SetBorderSize(int value) {
    SetField(m_borderSize, std::max(value, 2), irkInvalidate);
}

void TiSwitchLed::SetGlyph(const QImage& value) {
    SetField(m_glyph, value, irkInvalidate);
}

void TiSwitchLed::DefineExtraValues(QList<TiExtraValue>& Values) {
    TiCustomComponent::DefineExtraValues(Values);
    Values.append({QStringLiteral("Caption_2"), [this] { return QVariant(m_caption); },
                   [this](const QVariant& v) {
                       m_caption = v.toString();
                       setAccessibleName(m_caption);
                       UpdateAccelerator();
                   }});
}

// ---- Input ----

void TiSwitchLed::iMouseDown(TMouseButton Button, TShiftState, int, int) {
    if (Button != mbLeft)
        return;
    setFocus(Qt::MouseFocusReason);
    m_mousePressed = true;
    InvalidateChange();
    if (m_momentaryStyle == ismsSimple)
        UserSetActive(true);
}

void TiSwitchLed::iMouseUp(TMouseButton, TShiftState, int X, int Y) {
    if (!m_mousePressed)
        return;
    m_mousePressed = false;
    InvalidateChange();
    if (m_momentaryStyle == ismsNone) {
        if (rect().contains(X, Y))
            UserToggle();
    } else {
        UserSetActive(false);
    }
}

void TiSwitchLed::focusOutEvent(QFocusEvent* e) {
    // Losing the focus ends a press without switching: the frame's closing release then finds no press.
    if (Pressed()) {
        m_mousePressed = false;
        m_keyPressed = false;
        InvalidateChange();
    }
    TiCustomComponent::focusOutEvent(e);
}

void TiSwitchLed::iKeyDown(int& Key, TShiftState) {
    if (Key != Qt::Key_Space)
        return;
    m_mousePressed = false;
    m_keyPressed = true;
    InvalidateChange();
}

void TiSwitchLed::iKeyUp(int& Key, TShiftState) {
    if (Key != Qt::Key_Space || !m_keyPressed)
        return;
    InvalidateChange();
    m_mousePressed = false;
    m_keyPressed = false;
    UserToggle();
}

bool TiSwitchLed::MatchesAccelerator(QChar c) const {
    const QKeySequence mnemonic = QKeySequence::mnemonic(m_caption);
    return !mnemonic.isEmpty() && !c.isSpace() && int(mnemonic[0].key()) == int(c.toUpper().unicode());
}

void TiSwitchLed::AcceleratorToggle() {
    if (!isEnabled())
        return;
    // Typed into the switch or pressed with Alt anywhere in the window: input like any other, so an
    // error of an OnChange handler is dropped here too.
    Guarded([this] {
        UserInputScope scope(this);
        setFocus(Qt::ShortcutFocusReason);
        InvalidateChange();
        UserToggle();
    });
}

void TiSwitchLed::keyPressEvent(QKeyEvent* e) {
    // Characters typed into the switch serve its accelerator only and never reach OnKeyPress: the
    // frame gets the key without its text.
    QKeyEvent keyOnly(e->type(), e->key(), e->modifiers(), e->nativeScanCode(), e->nativeVirtualKey(),
                      e->nativeModifiers(), QString(), e->isAutoRepeat(), e->count());
    TiCustomComponent::keyPressEvent(&keyOnly);
    const QString text = e->text();
    for (QChar c : text)
        if (MatchesAccelerator(c))
            AcceleratorToggle();
    e->accept();
}

void TiSwitchLed::UpdateAccelerator() {
    for (int id : std::as_const(m_shortcutIds))
        releaseShortcut(id);
    m_shortcutIds.clear();
    const QKeySequence mnemonic = QKeySequence::mnemonic(m_caption);
    if (mnemonic.isEmpty())
        return;
    // Alt and the letter, in either case, toggle the switch wherever the focus is in the window.
    const QKeyCombination key = mnemonic[0];
    m_shortcutIds << grabShortcut(QKeySequence(key), Qt::WindowShortcut)
                  << grabShortcut(QKeySequence(key.toCombined() | Qt::ShiftModifier), Qt::WindowShortcut);
}

bool TiSwitchLed::event(QEvent* e) {
    if (e->type() == QEvent::Shortcut &&
        m_shortcutIds.contains(static_cast<QShortcutEvent*>(e)->shortcutId())) {
        AcceleratorToggle();
        return true;
    }
    return TiCustomComponent::event(e);
}

// ---- Painting ----

TiSwitchLed::Layout TiSwitchLed::ComputeLayout() const {
    const QPoint C = GetCenterPoint();
    const int b = m_borderSize - 2;
    // Corner coordinates as the drawing uses them: right and bottom are the last pixel row and column.
    const int iL = b, iT = b, iR = Width() - 1 - b, iB = Height() - 1 - b;
    const bool horizontalSide = m_indicatorAlignment == isaBottom || m_indicatorAlignment == isaTop;

    int w, h;
    if (!m_glyph.isNull()) {
        w = m_glyph.width();
        h = m_glyph.height();
    } else if (m_autoLedSize) {
        w = horizontalSide ? (iR - iL) - 2 * m_indicatorMargin : m_indicatorWidth;
        h = horizontalSide ? m_indicatorHeight : (iB - iT) - 2 * m_indicatorMargin;
    } else {
        w = m_indicatorWidth;
        h = m_indicatorHeight;
    }

    int lL, lT, lR, lB;
    if (horizontalSide) {
        lL = C.x() - w / 2;
        lR = C.x() + w / 2;
        if (m_indicatorAlignment == isaBottom) {
            lB = iB - m_indicatorMargin;
            lT = lB - h;
        } else {
            lT = iT + m_indicatorMargin;
            lB = lT + h;
        }
    } else {
        lT = C.y() - h / 2;
        lB = C.y() + h / 2;
        if (m_indicatorAlignment == isaLeft) {
            lL = iL + m_indicatorMargin;
            lR = lL + w;
        } else {
            lR = iR - m_indicatorMargin;
            lL = lR - w;
        }
    }

    const bool indicatorSide = m_captionAlignment == islcaIndicator;
    const int m = m_captionMargin;
    int cL = iL, cT = iT, cR = iR, cB = iB;
    unsigned flags = 0;
    switch (m_indicatorAlignment) {
    case isaBottom:
        if (indicatorSide)
            cB = lT - m, flags = itfCenter | itfBottom;
        else
            cT = iT + m, cB = lT, flags = itfCenter | itfTop;
        break;
    case isaTop:
        if (indicatorSide)
            cT = lB + m, flags = itfCenter | itfTop;
        else
            cT = lB, cB = iB - m, flags = itfCenter | itfBottom;
        break;
    case isaLeft:
        if (indicatorSide)
            cL = lR + m, flags = itfLeft | itfVCenter;
        else
            cL = lR, cR = iR - m, flags = itfRight | itfVCenter;
        break;
    case isaRight:
        if (indicatorSide)
            cR = lL - m, flags = itfRight | itfVCenter;
        else
            cL = iL + m, cR = lL, flags = itfLeft | itfVCenter;
        break;
    }
    flags |= itfNoClip | itfPrefix | (m_wordWrap ? itfWordBreak : itfSingleLine);

    return {QRect(QPoint(iL, iT), QPoint(iR, iB)), QRect(QPoint(lL, lT), QPoint(lR, lB)),
            iWinRect(cL, cT, cR, cB), flags};
}

void TiSwitchLed::DrawFrame(QPainter& Canvas) const {
    const int W = Width(), H = Height();
    // One nested rectangle at inset k: the top and left edges in tl, then the right and bottom in br.
    auto pair = [&](int k, TColor tl, TColor br) {
        const int r = W - 1 - k, b = H - 1 - k;
        Canvas.setPen(ColorToQColor(tl));
        iLine(Canvas, QPoint(k, b), QPoint(k, k));
        iLine(Canvas, QPoint(k, k), QPoint(r, k));
        Canvas.setPen(ColorToQColor(br));
        iLine(Canvas, QPoint(r, k), QPoint(r, b));
        iLine(Canvas, QPoint(r, b), QPoint(k - 1, b));
    };
    auto bottomRight = [&](int k, TColor br) {
        const int r = W - 1 - k, b = H - 1 - k;
        Canvas.setPen(ColorToQColor(br));
        iLine(Canvas, QPoint(r, k), QPoint(r, b));
        iLine(Canvas, QPoint(r, b), QPoint(k - 1, b));
    };

    if (!HasFocus()) {
        pair(0, clBtnHighlight, clBlack);
        for (int k = 1; k < m_borderSize; ++k)
            pair(k, m_borderHighlightColor, m_borderShadowColor);
    } else if (Pressed()) {
        pair(0, clBlack, clBlack);
        pair(1, cl3DDkShadow, cl3DDkShadow);
        for (int k = 2; k < m_borderSize; ++k)
            pair(k, m_borderShadowColor, m_borderHighlightColor);
    } else {
        pair(0, cl3DDkShadow, clBlack);
        for (int k = 1; k < m_borderSize; ++k)
            pair(k, m_borderHighlightColor, m_borderShadowColor);
        bottomRight(m_borderSize, m_borderShadowColor);
    }
}

void TiSwitchLed::iPaintTo(QPainter& Canvas) {
    DrawBackGround(Canvas, BackGroundColor());
    Canvas.setBrush(Qt::NoBrush);
    DrawFrame(Canvas);

    const Layout layout = ComputeLayout();
    const bool pressed = Pressed();

    SelectFont(Canvas, *m_captionFont);
    QRect caption = layout.Caption;
    if (isEnabled() && pressed)
        caption.translate(1, 1);
    DrawWidgetText(Canvas, m_caption, caption, BackGroundColor(), isEnabled(), layout.CaptionFlags);

    if ((m_indicatorHeight > 1 && m_indicatorWidth > 1) || !m_glyph.isNull()) {
        QRect led = layout.Led;
        if (pressed)
            led.translate(1, 1);
        if (m_glyph.isNull()) {
            const TColor fill = m_active ? m_activeColor : ColorDim(m_activeColor, 3);
            Canvas.setPen(Qt::black);
            Canvas.setBrush(ColorToQColor(fill));
            Canvas.fillRect(led, ColorToQColor(fill));
            iFrameRect(Canvas, led);
            // White along the bottom and up the right edge: a sunken lamp.
            Canvas.setPen(Qt::white);
            iLine(Canvas, led.bottomLeft(), led.bottomRight());
            iLine(Canvas, led.bottomRight(), QPoint(led.right(), led.top() - 1));
        } else {
            // The glyph's bottom-left pixel names its transparent colour.
            QImage glyph = m_glyph.convertToFormat(QImage::Format_ARGB32);
            const QRgb key = glyph.pixel(0, glyph.height() - 1);
            for (int y = 0; y < glyph.height(); ++y) {
                QRgb* line = reinterpret_cast<QRgb*>(glyph.scanLine(y));
                for (int x = 0; x < glyph.width(); ++x)
                    if (line[x] == key)
                        line[x] = 0;
            }
            Canvas.drawImage(led.topLeft(), glyph);
        }
    }

    if (m_showFocusRect && HasFocus()) {
        const QRect& I = layout.Inner;
        DrawFocusRect(Canvas, iWinRect(I.left() + 3, I.top() + 3, I.right() - 3, I.bottom() - 3));
    }
}
