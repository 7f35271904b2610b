#include "iEditCustom.h"

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
