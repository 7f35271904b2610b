#pragma once
// Single-line edit box drawn entirely by the widget: its own caret, selection, clipboard commands,
// horizontal scrolling, undo to the last accepted text and a built-in context menu. Base of the numeric
// entry field.

#include "iCustomComponent.h"

#include <QString>
#include <functional>

class QAction;
class QMenu;
class QTimer;

// Width in pixels of a display string in the font it is drawn with.
using TextWidthFn = std::function<int(const QString&)>;

// The characters of the display text that are drawn: first..last (last = first - 1 when none fits).
struct EditVisibleRange {
    int first = 0;
    int last = -1;
    bool operator==(const EditVisibleRange&) const = default;
};

// The scroll window for a paint: the whole text when it is narrower than the available width, otherwise
// a window that starts at or before the caret, fits the width and keeps the caret at most one place
// behind its last character. `firstVisible` is the window's start at the previous paint.
EditVisibleRange ScrollEditText(const QString& display, int cursor, int firstVisible, int availableWidth,
                                const TextWidthFn& width);

// The caret index for a click at x, with the drawn text starting at textLeft: the boundary nearest the
// click by half a character, left of the text one before the window, right of it one past its end.
int EditCharIndexAt(const QString& display, int x, int textLeft, EditVisibleRange visible,
                    const TextWidthFn& width);

// The text being edited with its caret, selection and selection anchor. Every index stays within
// 0..length whatever the operation, so painting and clipboard commands never read outside the text.
class EditBuffer {
public:
    enum class Move { Left, Right, Home, End };

    const QString& text() const { return m_text; }
    int cursor() const { return m_cursor; }
    int selStart() const { return m_selStart; }
    int selLength() const { return m_selLength; }
    int selEnd() const { return m_selStart + m_selLength; }
    int anchor() const { return m_anchor; }
    bool hasSelection() const { return m_selLength > 0; }
    QString selectedText() const { return m_text.mid(m_selStart, m_selLength); }

    void setText(const QString& text);
    void setCursor(int index);
    void setSelection(int start, int length);
    void setAnchor(int index);
    // Selects from the anchor to the caret, whichever comes first.
    void selectFromAnchor();

    // Removes the selection and leaves the caret where it began.
    void deleteSelection();
    // Replaces the selection by s (or inserts it at the caret) and puts the caret behind it.
    void insert(const QString& s);
    // Backspace: the selection, else the character before the caret.
    void deleteBackward();
    // Delete: the selection, else the character after the caret.
    void deleteForward();
    // A caret key; with Shift the selection spans from the anchor to the new caret, without it the
    // selection is dropped. Ctrl makes Left and Right go to the ends.
    void moveCursor(Move move, bool shift, bool ctrl);

    bool operator==(const EditBuffer&) const = default;

private:
    void clampIndices();

    QString m_text;
    int m_cursor = 0;
    int m_selStart = 0;
    int m_selLength = 0;
    int m_anchor = 0;
};

class TiEditCustom : public TiCustomComponent {
    Q_OBJECT
    Q_CLASSINFO("Publish", "BorderStyle,TabOrder,TabStop,Width,Height")
    Q_PROPERTY(TAlignment Alignment READ Alignment WRITE SetAlignment)
    Q_PROPERTY(int AlignmentMargin READ AlignmentMargin WRITE SetAlignmentMargin)
    Q_PROPERTY(bool AutoSelect READ AutoSelect WRITE SetAutoSelect)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(int MaxLength READ MaxLength WRITE SetMaxLength)
    Q_PROPERTY(TFont* Font READ Font WRITE SetFont)
    Q_PROPERTY(bool AcceptOnLostFocus READ AcceptOnLostFocus WRITE SetAcceptOnLostFocus)
    Q_PROPERTY(uint Color READ Color WRITE SetColor)

public:
    enum TAlignment { taLeftJustify, taRightJustify, taCenter };
    Q_ENUM(TAlignment)

    explicit TiEditCustom(QWidget* parent = nullptr);
    ~TiEditCustom() override;

    TAlignment Alignment() const { return m_alignment; }
    void SetAlignment(TAlignment value) { SetField(m_alignment, value, irkInvalidate); }
    int AlignmentMargin() const { return m_alignmentMargin; }
    void SetAlignmentMargin(int value) { SetField(m_alignmentMargin, value, irkInvalidate); }
    bool AutoSelect() const { return m_autoSelect; }
    void SetAutoSelect(bool value) { SetField(m_autoSelect, value, irkInvalidate); }
    bool AutoSize() const { return m_autoSize; }
    void SetAutoSize(bool value);
    int MaxLength() const { return m_maxLength; }
    virtual void SetMaxLength(int value) { SetField(m_maxLength, value, irkInvalidate); }
    TFont* Font() const { return m_font; }
    void SetFont(TFont* value);
    bool AcceptOnLostFocus() const { return m_acceptOnLostFocus; }
    void SetAcceptOnLostFocus(bool value) { m_acceptOnLostFocus = value; }
    TColor Color() const { return m_color; }
    void SetColor(TColor value) { SetField(m_color, value, irkInvalidate); }

    // The text being edited, and the text as last applied (Undo and Escape return to it).
    QString Text() const { return m_buffer.text(); }
    // Replaces the edited text (caret to the start, nothing selected); applies nothing.
    void SetText(const QString& value);
    QString LastAcceptedText() const { return m_lastAcceptedText; }
    int CursorPos() const { return m_buffer.cursor(); }
    int SelStart() const { return m_buffer.selStart(); }
    int SelLength() const { return m_buffer.selLength(); }
    // Not published: when set, every character shows (and measures, and copies) as its first character.
    QString MaskText() const { return m_maskText; }
    void SetMaskText(const QString& value);
    // The text as drawn: the text, or its masked form.
    QString DisplayText() const;
    // The scroll window and the text rectangle of the last paint.
    EditVisibleRange VisibleRange() const { return m_visible; }
    QRect TextRect() const { return m_textRect; }
    bool CaretCreated() const { return m_caretCreated; }
    // The built-in context menu: "Apply", "Undo", "-", "Cut", "Copy", "Paste", "Delete", "-", "Select All".
    // The right button opens it unless the application sets another context-menu policy on the box.
    QMenu* ContextMenu() const { return m_menu; }
    // Sets the enabled state of each menu item, as opening the menu does.
    void UpdateContextMenu();

    virtual void DoChange();
    virtual void ApplyText();
    virtual bool IsValidChar(QChar c);
    virtual void SelectAll();
    void Undo();
    void CopyToClipboard();
    void CutToClipboard();
    void PasteFromClipboard();
    void DeleteSelection();

signals:
    void OnChange();

protected:
    void iPaintTo(QPainter& Canvas) override;
    void iGotFocus() override;
    void iLostFocus() override;
    void iWantSpecialKey(int& Key, int& Result) override;
    void iKeyDown(int& Key, TShiftState Shift) override;
    void iKeyPress(QChar& Key) override;
    void iMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void iMouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void iMouseMove(TShiftState Shift, int X, int Y) override;
    void iDoubleClick() override;

    // Text edits by the derived field; every change of text, caret or selection repaints.
    void EditText(const std::function<void(EditBuffer&)>& edit);
    void SetLastAcceptedText(const QString& value) { m_lastAcceptedText = value; }
    int BorderWidth() const { return BorderStyle() == ibsNone ? 0 : 2; }

private:
    void FontChanged();
    void DoAutoSize();
    void CreateCaret();
    void DestroyCaret();
    void RestartCaretBlink();
    int CharIndexAt(int x) const;
    void TypedChar(QChar Key);

    EditBuffer m_buffer;
    QString m_lastAcceptedText;
    QString m_maskText;
    TAlignment m_alignment = taLeftJustify;
    int m_alignmentMargin = 0;
    bool m_autoSelect = true;
    bool m_autoSize = true;
    bool m_autoSizing = false;
    int m_maxLength = 0;
    TFont* m_font;
    bool m_acceptOnLostFocus = true;
    TColor m_color = clWindow;

    EditVisibleRange m_visible;
    QRect m_textRect;
    bool m_caretCreated = false;
    bool m_caretOn = false;
    QTimer* m_caretTimer;
    bool m_mouseSelecting = false;
    bool m_doubleClickPending = false;
    bool m_swallowChars = false;

    QMenu* m_menu;
    QAction* m_applyAction;
    QAction* m_undoAction;
    QAction* m_cutAction;
    QAction* m_copyAction;
    QAction* m_pasteAction;
    QAction* m_deleteAction;
    QAction* m_selectAllAction;
};
