#pragma once
// Single-line edit box drawn entirely by the widget: its own caret, selection, clipboard commands,
// horizontal scrolling, undo to the last accepted text and a built-in context menu. Base of the numeric
// entry field.

#include <QString>
#include <functional>

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
