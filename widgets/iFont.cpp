#include "iFont.h"

#include <QPainter>
#include <cmath>

TFont::TFont(QObject* parent) : QObject(parent) {}

void TFont::SetName(const QString& value) {
    if (m_name == value)
        return;
    m_name = value;
    emit OnChange();
}

void TFont::SetSize(int value) {
    if (m_size == value)
        return;
    m_size = value;
    emit OnChange();
}

void TFont::SetColor(TColor value) {
    if (m_color == value)
        return;
    m_color = value;
    emit OnChange();
}

void TFont::SetStyle(TFontStyles value) {
    if (m_style == value)
        return;
    m_style = value;
    emit OnChange();
}

void TFont::Assign(const TFont& other) {
    if (*this == other)
        return;
    m_name = other.m_name;
    m_size = other.m_size;
    m_color = other.m_color;
    m_style = other.m_style;
    emit OnChange();
}

bool TFont::operator==(const TFont& other) const {
    return m_name == other.m_name && m_size == other.m_size && m_color == other.m_color &&
           m_style == other.m_style;
}

QFont TFont::ToQFont() const {
    QFont f(m_name);
    // Points at 96 pixels per inch, as the layout was made: 8 points are 11 pixels.
    f.setPixelSize(std::max(1, int(std::lround(std::abs(m_size) * 96.0 / 72.0))));
    f.setBold(m_style.testFlag(fsBold));
    f.setItalic(m_style.testFlag(fsItalic));
    f.setUnderline(m_style.testFlag(fsUnderline));
    f.setStrikeOut(m_style.testFlag(fsStrikeOut));
    return f;
}

void SelectFont(QPainter& Canvas, const TFont& Font) {
    Canvas.setFont(Font.ToQFont());
    Canvas.setPen(ColorToQColor(Font.Color()));
}
