#include "iEditCustom.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QMenu>
#include <QPainter>
#include <QTimer>
#include <algorithm>

namespace {

// The window starting at `first`: characters dropped from the right until the rest fits the width.
EditVisibleRange FitFrom(const QString& display, int first, int availableWidth, const TextWidthFn& width) {
    int last = int(display.size()) - 1;
    while (last >= first && width(display.mid(first, last - first + 1)) > availableWidth)
        --last;
    return {first, last};
}

} // namespace

EditVisibleRange ScrollEditText(const QString& display, int cursor, int firstVisible, int availableWidth,
                                const TextWidthFn& width) {
    const int length = int(display.size());
    if (width(display) < availableWidth)
        return {0, length - 1};
    cursor = std::clamp(cursor, 0, length);
    int first = std::clamp(firstVisible, 0, length);
    if (cursor < first)
        first = cursor;
    EditVisibleRange range = FitFrom(display, first, availableWidth, width);
    while (cursor < range.first)
        range = FitFrom(display, range.first - 1, availableWidth, width);
    while (cursor > range.last + 1 && range.first < length)
        range = FitFrom(display, range.first + 1, availableWidth, width);
    return range;
}

int EditCharIndexAt(const QString& display, int x, int textLeft, EditVisibleRange visible,
                    const TextWidthFn& width) {
    if (x < textLeft)
        return std::max(visible.first - 1, 0);
    for (int i = visible.first; i <= visible.last + 1; ++i) {
        const int before = i > 0 ? i - 1 : 0;
        const int charWidth = before < display.size() ? width(display.mid(before, 1)) : 0;
        if (x < textLeft + width(display.mid(visible.first, i - visible.first)) + charWidth / 2)
            return i;
    }
    return visible.last + 1;
}

void EditBuffer::clampIndices() {
    const int length = int(m_text.size());
    m_cursor = std::clamp(m_cursor, 0, length);
    m_anchor = std::clamp(m_anchor, 0, length);
    m_selStart = std::clamp(m_selStart, 0, length);
    m_selLength = std::clamp(m_selLength, 0, length - m_selStart);
}

void EditBuffer::setText(const QString& text) {
    m_text = text;
    clampIndices();
}

void EditBuffer::setCursor(int index) {
    m_cursor = index;
    clampIndices();
}

void EditBuffer::setSelection(int start, int length) {
    m_selStart = start;
    m_selLength = length;
    clampIndices();
}

void EditBuffer::setAnchor(int index) {
    m_anchor = index;
    clampIndices();
}

void EditBuffer::selectFromAnchor() {
    setSelection(std::min(m_anchor, m_cursor), std::abs(m_cursor - m_anchor));
}

void EditBuffer::deleteSelection() {
    if (!hasSelection())
        return;
    m_text.remove(m_selStart, m_selLength);
    m_cursor = m_selStart;
    m_selLength = 0;
    clampIndices();
}

void EditBuffer::insert(const QString& s) {
    deleteSelection();
    m_text.insert(m_cursor, s);
    m_cursor += int(s.size());
    clampIndices();
}

void EditBuffer::deleteBackward() {
    if (hasSelection()) {
        deleteSelection();
    } else if (m_cursor > 0) {
        m_text.remove(m_cursor - 1, 1);
        --m_cursor;
        clampIndices();
    }
}

void EditBuffer::deleteForward() {
    if (hasSelection()) {
        deleteSelection();
    } else if (m_cursor < m_text.size()) {
        m_text.remove(m_cursor, 1);
        clampIndices();
    }
}

void EditBuffer::moveCursor(Move move, bool shift, bool ctrl) {
    if (shift && !hasSelection())
        m_anchor = m_cursor;
    switch (move) {
    case Move::Left:
        m_cursor = ctrl ? 0 : m_cursor - 1;
        break;
    case Move::Right:
        m_cursor = ctrl ? int(m_text.size()) : m_cursor + 1;
        break;
    case Move::Home:
        m_cursor = 0;
        break;
    case Move::End:
        m_cursor = int(m_text.size());
        break;
    }
    clampIndices();
    if (shift)
        selectFromAnchor();
    else
        m_selLength = 0;
}

// ---- TiEditCustom ----

TiEditCustom::TiEditCustom(QWidget* parent)
    : TiCustomComponent(parent), m_font(new TFont(this)), m_caretTimer(new QTimer(this)),
      m_menu(new QMenu(this)) {
    SetBorderStyle(ibsLowered);
    SetTabStop(true);
    SetTabOrder(-1);
    resize(80, 21);
    setCursor(Qt::IBeamCursor);
    // The right button opens the widget's own menu; the toolkit's context-menu request must not also
    // reach the parent.
    setContextMenuPolicy(Qt::PreventContextMenu);
    connect(m_font, &TFont::OnChange, this, &TiEditCustom::FontChanged);

    connect(m_caretTimer, &QTimer::timeout, this, [this] {
        m_caretOn = !m_caretOn;
        InvalidateChange();
    });

    m_applyAction = m_menu->addAction(QStringLiteral("Apply"), this, [this] {
        UserInputScope scope(this);
        ApplyText();
    });
    m_undoAction = m_menu->addAction(QStringLiteral("Undo"), this, &TiEditCustom::Undo);
    m_menu->addSeparator();
    m_cutAction = m_menu->addAction(QStringLiteral("Cut"), this, &TiEditCustom::CutToClipboard);
    m_copyAction = m_menu->addAction(QStringLiteral("Copy"), this, &TiEditCustom::CopyToClipboard);
    m_pasteAction = m_menu->addAction(QStringLiteral("Paste"), this, &TiEditCustom::PasteFromClipboard);
    m_deleteAction = m_menu->addAction(QStringLiteral("Delete"), this, &TiEditCustom::DeleteSelection);
    m_menu->addSeparator();
    m_selectAllAction = m_menu->addAction(QStringLiteral("Select All"), this, &TiEditCustom::SelectAll);
}

TiEditCustom::~TiEditCustom() = default;

void TiEditCustom::SetAutoSize(bool value) {
    if (SetField(m_autoSize, value, irkInvalidate) && value)
        DoAutoSize();
}

void TiEditCustom::SetFont(TFont* value) {
    if (value)
        m_font->Assign(*value);
}

void TiEditCustom::FontChanged() {
    DoAutoSize();
    InvalidateChange();
}

void TiEditCustom::DoAutoSize() {
    if (!m_autoSize || IsLoading() || !parentWidget() || m_autoSizing)
        return;
    m_autoSizing = true;
    SetHeight(QFontMetrics(m_font->ToQFont()).height() + 2 * BorderWidth() + 4);
    m_autoSizing = false;
}

void TiEditCustom::SetText(const QString& value) {
    EditText([&](EditBuffer& b) {
        b.setText(value);
        b.setSelection(0, 0);
        b.setCursor(0);
    });
}

void TiEditCustom::SetMaskText(const QString& value) {
    SetField(m_maskText, value, irkInvalidate);
}

QString TiEditCustom::DisplayText() const {
    if (m_maskText.isEmpty())
        return m_buffer.text();
    return QString(m_buffer.text().size(), m_maskText.at(0));
}

void TiEditCustom::EditText(const std::function<void(EditBuffer&)>& edit) {
    const EditBuffer before = m_buffer;
    edit(m_buffer);
    if (m_buffer == before)
        return;
    RestartCaretBlink();
    InvalidateChange();
}

void TiEditCustom::DoChange() {
    if (IsLoading())
        return;
    TellPropertyChanged(QStringLiteral("Value"));
    emit OnChange();
}

void TiEditCustom::ApplyText() {
    if (Text() == m_lastAcceptedText)
        return;
    DoChange();
    m_lastAcceptedText = Text();
    if (m_autoSelect)
        SelectAll();
}

bool TiEditCustom::IsValidChar(QChar) {
    return true;
}

void TiEditCustom::SelectAll() {
    EditText([](EditBuffer& b) { b.setSelection(0, int(b.text().size())); });
}

void TiEditCustom::Undo() {
    EditText([this](EditBuffer& b) {
        b.setText(m_lastAcceptedText);
        b.setSelection(b.selStart(), 0);
        b.setCursor(0);
    });
    if (m_autoSelect)
        SelectAll();
}

void TiEditCustom::CopyToClipboard() {
    if (ErrorActive()) {
        QGuiApplication::clipboard()->setText(ErrorText());
        return;
    }
    if (m_buffer.hasSelection())
        QGuiApplication::clipboard()->setText(DisplayText().mid(m_buffer.selStart(), m_buffer.selLength()));
}

void TiEditCustom::CutToClipboard() {
    if (ErrorActive()) {
        QGuiApplication::clipboard()->setText(ErrorText());
        return;
    }
    CopyToClipboard();
    DeleteSelection();
}

void TiEditCustom::PasteFromClipboard() {
    if (ErrorActive())
        return;
    QString pasted = QGuiApplication::clipboard()->text();
    // Never beyond MaxLength, even when the text already is longer than the room left.
    if (m_maxLength != 0)
        pasted = pasted.left(std::max(0, m_maxLength - int(Text().size())));
    EditText([&](EditBuffer& b) { b.insert(pasted); });
}

void TiEditCustom::DeleteSelection() {
    EditText([](EditBuffer& b) { b.deleteSelection(); });
}

void TiEditCustom::UpdateContextMenu() {
    const bool error = ErrorActive();
    const bool edited = Text() != m_lastAcceptedText;
    const bool selection = m_buffer.hasSelection();
    const QString clip = QGuiApplication::clipboard()->text();
    m_applyAction->setEnabled(edited && !error);
    m_undoAction->setEnabled(edited && !error);
    m_cutAction->setEnabled(selection && !error);
    m_copyAction->setEnabled(selection || error);
    m_pasteAction->setEnabled(!clip.isEmpty() && !error);
    m_deleteAction->setEnabled(selection && !error);
    m_selectAllAction->setEnabled(m_buffer.selLength() != Text().size());
}

// ---- Caret ----

void TiEditCustom::CreateCaret() {
    if (m_caretCreated)
        return;
    m_caretCreated = true;
    RestartCaretBlink();
}

void TiEditCustom::DestroyCaret() {
    m_caretCreated = false;
    m_caretOn = false;
    m_caretTimer->stop();
}

void TiEditCustom::RestartCaretBlink() {
    if (!m_caretCreated)
        return;
    // Each caret move shows the caret at once, as edit boxes do; it blinks at the desktop's rate.
    m_caretOn = true;
    const int flash = QApplication::cursorFlashTime();
    if (flash > 0)
        m_caretTimer->start(flash / 2);
    else
        m_caretTimer->stop();
}

// ---- Focus and input ----

void TiEditCustom::iGotFocus() {
    TiCustomComponent::iGotFocus();
    if (!ErrorActive()) {
        CreateCaret();
        InvalidateChange();
    }
}

void TiEditCustom::iLostFocus() {
    TiCustomComponent::iLostFocus();
    // The built-in menu is a command of this box, not a move elsewhere: the text is not applied when it
    // opens, so its Apply and Undo still act on what was typed.
    if (QApplication::activePopupWidget() == m_menu) {
        InvalidateChange();
        return;
    }
    DestroyCaret();
    m_mouseSelecting = false;
    m_doubleClickPending = false;
    if (m_acceptOnLostFocus)
        ApplyText();
    InvalidateChange();
}

void TiEditCustom::iWantSpecialKey(int& Key, int& Result) {
    TiCustomComponent::iWantSpecialKey(Key, Result);
    if (Key == Qt::Key_Left || Key == Qt::Key_Right || Key == Qt::Key_Up || Key == Qt::Key_Down)
        Result = 1;
}

void TiEditCustom::iKeyDown(int& Key, TShiftState Shift) {
    const bool shift = Shift.testFlag(ssShift);
    const bool ctrl = Shift.testFlag(ssCtrl);
    const bool alt = Shift.testFlag(ssAlt);
    // Only plain and shifted characters are text. Ctrl+A, C, V, X and Z act from the key itself: not
    // every keyboard layer turns these keys into control characters, and the plain letter must not be
    // typed. Alt and a letter is an accelerator of the window. Ctrl and Alt together is how some
    // keyboards send AltGr, whose characters are text.
    m_swallowChars = ctrl != alt;
    if (ctrl && !alt) {
        const int code = Key >= Qt::Key_A && Key <= Qt::Key_Z ? Key - Qt::Key_A + 1 : 0;
        if (code == 1 || code == 3 || code == 22 || code == 24 || code == 26) {
            TypedChar(QChar(code));
            return;
        }
    }
    EditText([&](EditBuffer& b) {
        if (shift && !b.hasSelection())
            b.setAnchor(b.cursor());
        switch (Key) {
        case Qt::Key_Left:
            b.moveCursor(EditBuffer::Move::Left, shift, ctrl);
            break;
        case Qt::Key_Right:
            b.moveCursor(EditBuffer::Move::Right, shift, ctrl);
            break;
        case Qt::Key_Home:
            b.moveCursor(EditBuffer::Move::Home, shift, ctrl);
            break;
        case Qt::Key_End:
            b.moveCursor(EditBuffer::Move::End, shift, ctrl);
            break;
        case Qt::Key_Delete:
            b.deleteForward();
            break;
        default:
            break;
        }
    });
}

void TiEditCustom::iKeyPress(QChar& Key) {
    if (m_swallowChars)
        return;
    TypedChar(Key);
}

void TiEditCustom::TypedChar(QChar Key) {
    switch (Key.unicode()) {
    case 1: // Ctrl+A
        SelectAll();
        break;
    case 3: // Ctrl+C
        CopyToClipboard();
        break;
    case 8: // Backspace
        EditText([](EditBuffer& b) { b.deleteBackward(); });
        break;
    case 13: // Enter
        ApplyText();
        SelectAll();
        break;
    case 22: // Ctrl+V
        PasteFromClipboard();
        break;
    case 24: // Ctrl+X
        CutToClipboard();
        break;
    case 26: // Ctrl+Z
    case 27: // Escape
        Undo();
        break;
    default:
        // Other control characters (Tab, Ctrl+letters) are no text.
        if (Key.unicode() < 0x20 || Key.unicode() == 0x7F)
            break;
        if (!IsValidChar(Key))
            break;
        if (m_maxLength == 0 || Text().size() < m_maxLength || m_buffer.hasSelection())
            EditText([&](EditBuffer& b) { b.insert(QString(Key)); });
        else
            QApplication::beep();
        break;
    }
}

int TiEditCustom::CharIndexAt(int x) const {
    const QFontMetrics fm(m_font->ToQFont());
    return EditCharIndexAt(DisplayText(), x, m_textRect.left(), m_visible,
                           [&fm](const QString& s) { return fm.horizontalAdvance(s); });
}

void TiEditCustom::iMouseDown(TMouseButton Button, TShiftState, int X, int Y) {
    if (!HasFocus()) {
        setFocus(Qt::MouseFocusReason);
        if (m_autoSelect)
            SelectAll();
    }
    // An application that wants its own menu sets another context-menu policy; otherwise the right
    // button opens the built-in one.
    if (Button == mbRight && contextMenuPolicy() == Qt::PreventContextMenu) {
        UpdateContextMenu();
        m_menu->popup(mapToGlobal(QPoint(X, Y)));
        return;
    }
    const int index = CharIndexAt(X);
    m_mouseSelecting = true;
    const bool keepSelection = m_doubleClickPending;
    m_doubleClickPending = false;
    EditText([&](EditBuffer& b) {
        b.setCursor(index);
        if (!keepSelection) {
            b.setSelection(b.cursor(), 0);
            b.setAnchor(b.cursor());
        }
    });
}

void TiEditCustom::iMouseUp(TMouseButton, TShiftState, int, int) {
    m_mouseSelecting = false;
}

void TiEditCustom::iMouseMove(TShiftState, int X, int) {
    if (!m_mouseSelecting)
        return;
    const int index = CharIndexAt(X);
    EditText([&](EditBuffer& b) {
        b.setCursor(index);
        b.selectFromAnchor();
    });
}

void TiEditCustom::iDoubleClick() {
    m_doubleClickPending = true;
    SelectAll();
}

// ---- Painting ----

void TiEditCustom::iPaintTo(QPainter& Canvas) {
    const int b = BorderWidth();
    const bool error = ErrorActive();
    DrawBackGround(Canvas, error ? ErrorBackGroundColor() : m_color);

    const TFont& font = error ? *ErrorFont() : *m_font;
    SelectFont(Canvas, font);
    const QFontMetrics fm(font.ToQFont());
    const auto width = [&fm](const QString& s) { return fm.horizontalAdvance(s); };

    QString shown;
    const QString display = DisplayText();
    if (error) {
        shown = ErrorText();
    } else {
        const int available = Width() - 2 * b - m_alignmentMargin;
        m_visible = ScrollEditText(display, m_buffer.cursor(), m_visible.first, available, width);
        shown = display.mid(m_visible.first, m_visible.last - m_visible.first + 1);
    }

    const int textWidth = width(shown);
    const int top = b + 1;
    const int bottom = top + fm.height();
    int left = 0;
    switch (m_alignment) {
    case taLeftJustify:
        left = b + 1 + m_alignmentMargin;
        break;
    case taRightJustify:
        left = Width() - 2 - b - m_alignmentMargin - textWidth;
        break;
    case taCenter:
        left = Width() / 2 + textWidth / 2 - textWidth;
        break;
    }
    m_textRect = iWinRect(left, top, left + textWidth, bottom);
    QRect r = m_textRect;
    DrawWidgetText(Canvas, shown, r, error ? ErrorBackGroundColor() : m_color, true,
                   itfLeft | itfTop | itfSingleLine | itfNoClip);

    if (error) {
        DestroyCaret();
    } else if (HasFocus()) {
        CreateCaret();
        const int first = m_visible.first;
        const auto xOf = [&](int index) { return left + width(display.mid(first, index - first)); };

        if (m_buffer.hasSelection()) {
            const int from = std::max(m_buffer.selStart(), first);
            const int to = std::min(m_buffer.selEnd(), m_visible.last + 1);
            if (to > from) {
                QRect sel = iWinRect(xOf(from), top, xOf(to), bottom);
                iFillRect(Canvas, sel, ColorToQColor(clHighlight));
                Canvas.setPen(ColorToQColor(clWhite));
                DrawWidgetText(Canvas, display.mid(from, to - from), sel, clHighlight, true,
                               itfLeft | itfTop | itfSingleLine | itfNoClip);
            }
        }
        if (m_caretOn && m_buffer.cursor() >= first) {
            // The caret inverts what lies under it, like the desktop's caret.
            const int x = xOf(m_buffer.cursor());
            Canvas.save();
            Canvas.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            Canvas.fillRect(QRect(x, 3, 1, fm.height()), Qt::white);
            Canvas.restore();
        }
    }
    DrawBorder(Canvas);
}
