#pragma once
// A widget font with its colour, as the layout and the property files hold it. Sizes are in points at
// 96 pixels per inch, so an 8-point font is 11 pixels high on every screen and in every off-screen image.

#include "iTypes.h"

#include <QFont>
#include <QObject>
#include <QString>

namespace TiFontEnums {
Q_NAMESPACE
enum TFontStyle { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
Q_DECLARE_FLAGS(TFontStyles, TFontStyle)
Q_FLAG_NS(TFontStyles)
} // namespace TiFontEnums
Q_DECLARE_OPERATORS_FOR_FLAGS(TiFontEnums::TFontStyles)
using namespace TiFontEnums;

class TFont : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Name READ Name WRITE SetName)
    Q_PROPERTY(int Size READ Size WRITE SetSize)
    Q_PROPERTY(uint Color READ Color WRITE SetColor)
    Q_PROPERTY(TiFontEnums::TFontStyles Style READ Style WRITE SetStyle)

public:
    explicit TFont(QObject* parent = nullptr);

    static QString DefaultName() { return QStringLiteral("MS Sans Serif"); }
    static constexpr int DefaultSize = 8;

    QString Name() const { return m_name; }
    void SetName(const QString& value);
    int Size() const { return m_size; }
    void SetSize(int value);
    TColor Color() const { return m_color; }
    void SetColor(TColor value);
    TFontStyles Style() const { return m_style; }
    void SetStyle(TFontStyles value);

    // Copies name, size, colour and style; raises OnChange once when anything differed.
    void Assign(const TFont& other);
    bool operator==(const TFont& other) const;

    // The QFont to select into a painter (pixel size fixed from the point size).
    QFont ToQFont() const;

signals:
    void OnChange();

private:
    QString m_name = DefaultName();
    int m_size = DefaultSize;
    TColor m_color = clBlack;
    TFontStyles m_style;
};

// Selects the font into the painter: font face and the pen in the font colour, which the text
// routines use as the canvas font colour.
void SelectFont(class QPainter& Canvas, const TFont& Font);
