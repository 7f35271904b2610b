#include "JsonPositions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include <algorithm>
#include <cstring>

namespace {

bool StartsWithBom(const QByteArray& text) {
    return text.startsWith("\xEF\xBB\xBF");
}

} // namespace

TextPosition PositionAt(const QByteArray& text, qsizetype offset) {
    TextPosition at;
    const qsizetype end = std::min(offset, text.size());
    for (qsizetype i = StartsWithBom(text) ? 3 : 0; i < end; ++i) {
        const auto c = quint8(text[i]);
        if (c == '\n') {
            ++at.line;
            at.column = 1;
        } else if ((c & 0xC0) != 0x80) {
            ++at.column; // continuation bytes belong to the character their lead byte began
        }
    }
    return at;
}

// A walk over the text that trusts it to be JSON (QJsonDocument has already said so) and only notes
// where each value and key begins. Every step is bounded by the text's end and makes progress, and the
// depth is bounded, so no text leads it astray.
struct JsonPositions::Scanner {
    static constexpr qsizetype kMaxDepth = 2048; // QJsonDocument refuses nesting beyond 1024
    const QByteArray& text;
    JsonPositions& out;
    qsizetype i = 0;

    bool AtEnd() const { return i >= text.size(); }
    char Peek() const { return AtEnd() ? '\0' : text[i]; }
    void SkipSpace() {
        while (!AtEnd() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r'))
            ++i;
    }

    // At a '"': the string's text, leaving i after its closing quote.
    QString String() {
        const qsizetype start = i++;
        bool escaped = false;
        while (!AtEnd() && text[i] != '"') {
            if (text[i] == '\\') {
                escaped = true;
                ++i;
            }
            ++i;
        }
        i = std::min(i + 1, text.size());
        const QByteArray raw = text.mid(start, i - start);
        if (!escaped)
            return QString::fromUtf8(raw.mid(1, raw.size() - 2));
        // Escapes are rare in keys; the JSON reader itself decodes them, so the key matches its own.
        return QJsonDocument::fromJson("[" + raw + "]").array().at(0).toString();
    }

    void Value(QStringList& path) {
        if (path.size() > kMaxDepth)
            return; // deeper than any JSON the reader accepts: not worth a stack
        SkipSpace();
        if (!out.m_values.contains(path)) // a repeated key keeps the place of its first value
            out.m_values.insert(path, i);
        const char c = Peek();
        if (c == '{' || c == '[') {
            ++i;
            const char close = c == '{' ? '}' : ']';
            QSet<QString> seen;
            for (int index = 0;; ++index) {
                SkipSpace();
                if (AtEnd() || Peek() == close)
                    break;
                if (c == '{') {
                    const qsizetype keyAt = i;
                    if (Peek() != '"')
                        return; // not JSON after all: nothing more to learn
                    path.append(String());
                    if (!seen.contains(path.last())) {
                        seen.insert(path.last());
                        out.m_keys.insert(path, keyAt);
                    } else if (!out.m_duplicate) {
                        out.m_duplicate = path;
                        out.m_duplicateAt = keyAt;
                    }
                    SkipSpace();
                    if (Peek() == ':')
                        ++i;
                } else {
                    path.append(QString::number(index));
                }
                const qsizetype before = i;
                Value(path);
                path.removeLast();
                SkipSpace();
                if (Peek() == ',')
                    ++i;
                else if (i == before)
                    return; // no progress: not JSON
            }
            if (!AtEnd())
                ++i;
        } else if (c == '"') {
            String();
        } else {
            // A number, true, false or null: up to whatever may follow a value.
            while (!AtEnd() && !std::strchr(",]} \t\r\n", text[i]))
                ++i;
        }
    }
};

JsonPositions::JsonPositions(const QByteArray& json) {
    Scanner scanner{json, *this, StartsWithBom(json) ? 3 : 0};
    QStringList path;
    scanner.Value(path);
}
