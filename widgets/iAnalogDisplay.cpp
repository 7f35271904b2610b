#include "iAnalogDisplay.h"

#include "iAnalogOutput.h"

#include <QPainter>

TiAnalogDisplay::TiAnalogDisplay(QWidget* parent) : TiCustomComponent(parent), m_font(new TFont(this)) {
    m_font->SetStyle(fsBold);
    m_font->SetColor(clAqua);
    SetBackGroundColor(clBlack);
    SetBorderStyle(ibsLowered);
    resize(80, 21);
    setFocusPolicy(Qt::NoFocus);
    connect(m_font, &TFont::OnChange, this, &TiAnalogDisplay::BackGroundChange);
}

void TiAnalogDisplay::SetFont(TFont* value) {
    if (value)
        m_font->Assign(*value);
}

void TiAnalogDisplay::SetValue(double value) {
    if (value == m_value)
        return;
    if (!AskEditPermission(QStringLiteral("Value")))
        return;
    m_value = value;
    InvalidateChange();
    TellPropertyChanged(QStringLiteral("Value"));
    emit OnChange();
}

QString TiAnalogDisplay::FormatValue(double value) const {
    return ::FormatValue(value, m_precision, m_unitsText);
}

QRect TiAnalogDisplay::TextRect() const {
    const int bottom = BorderStyle() == ibsLowered ? Height() - 4 : Height() - 2;
    switch (m_alignment) {
    case iahLeft:
        return iWinRect(m_alignmentMargin + 2, 2, Width() - 2, bottom);
    case iahRight:
        return iWinRect(2, 2, Width() - m_alignmentMargin - 2, bottom);
    case iahCenter:
        break;
    }
    return iWinRect(2, 2, Width() - 2, bottom);
}

void TiAnalogDisplay::iPaintTo(QPainter& Canvas) {
    const bool error = ErrorActive();
    const TColor back = error ? ErrorBackGroundColor() : BackGroundColor();
    DrawBackGround(Canvas, back);
    SelectFont(Canvas, error ? *ErrorFont() : *m_font);

    unsigned flags = itfSingleLine | itfVCenter;
    switch (m_alignment) {
    case iahCenter:
        flags |= itfCenter;
        break;
    case iahLeft:
        flags |= itfLeft;
        break;
    case iahRight:
        flags |= itfRight;
        break;
    }
    QRect r = TextRect();
    DrawWidgetText(Canvas, error ? ErrorText() : FormatValue(m_value), r, back, Enabled(), flags);
}
