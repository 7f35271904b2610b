#pragma once
// Where things stand in a JSON text, so that a message can point at them: QJsonDocument reads the
// values but forgets where they were.

#include <QByteArray>
#include <QMap>
#include <QStringList>

#include <optional>

// A place in a text as an editor shows it: line and column from 1, the column counted in characters.
struct TextPosition {
    int line = 1;
    int column = 1;
    bool operator==(const TextPosition&) const = default;
};
// The place of a byte offset into UTF-8 text (a leading byte-order mark takes no column); an offset at
// or past the end is the place after the last character.
TextPosition PositionAt(const QByteArray& text, qsizetype offset);

// The byte offset of every value and every member's key in a JSON text that QJsonDocument accepted,
// by path: the keys and array indices from the top, {"lines", "0", "port"}; the top value's path is
// empty. Any other text is scanned without harm, but its offsets mean nothing.
class JsonPositions {
public:
    explicit JsonPositions(const QByteArray& json);
    // -1 when the text has no such value or key.
    qsizetype ValueOffset(const QStringList& path) const { return m_values.value(path, -1); }
    qsizetype KeyOffset(const QStringList& path) const { return m_keys.value(path, -1); }
    // The first member, in the text's order, whose key its object already had. QJsonDocument keeps one
    // of the two silently, so a reader that must not guess refuses it.
    const std::optional<QStringList>& FirstDuplicateKey() const { return m_duplicate; }
    // Where that repeated key stands; -1 when there is none.
    qsizetype DuplicateKeyOffset() const { return m_duplicateAt; }

private:
    struct Scanner;
    QMap<QStringList, qsizetype> m_values;
    QMap<QStringList, qsizetype> m_keys;
    std::optional<QStringList> m_duplicate;
    qsizetype m_duplicateAt = -1;
};
