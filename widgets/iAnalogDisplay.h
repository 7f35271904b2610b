#pragma once
// Read-only numeric read-out on a dark background, formatted like the numeric entry field.

#include "iCustomComponent.h"

class TiAnalogDisplay : public TiCustomComponent {
    Q_OBJECT
    Q_CLASSINFO(
        "Publish",
        "BackGroundColor,BorderStyle,Width,Height,ErrorActive,ErrorText,ErrorFont,ErrorBackGroundColor")
    Q_PROPERTY(TiAlignmentHorizontal Alignment READ Alignment WRITE SetAlignment)
    Q_PROPERTY(int AlignmentMargin READ AlignmentMargin WRITE SetAlignmentMargin)
    Q_PROPERTY(int Precision READ Precision WRITE SetPrecision)
    Q_PROPERTY(TFont* Font READ Font WRITE SetFont)
    Q_PROPERTY(double Value READ Value WRITE SetValue)
    Q_PROPERTY(QString UnitsText READ UnitsText WRITE SetUnitsText)

public:
    enum TiAlignmentHorizontal { iahCenter, iahLeft, iahRight };
    Q_ENUM(TiAlignmentHorizontal)

    explicit TiAnalogDisplay(QWidget* parent = nullptr);

    TiAlignmentHorizontal Alignment() const { return m_alignment; }
    void SetAlignment(TiAlignmentHorizontal value) { SetField(m_alignment, value, irkInvalidate); }
    int AlignmentMargin() const { return m_alignmentMargin; }
    void SetAlignmentMargin(int value) { SetField(m_alignmentMargin, value, irkInvalidate); }
    int Precision() const { return m_precision; }
    void SetPrecision(int value) { SetField(m_precision, value, irkInvalidate); }
    TFont* Font() const { return m_font; }
    void SetFont(TFont* value);
    double Value() const { return m_value; }
    void SetValue(double value);
    QString UnitsText() const { return m_unitsText; }
    void SetUnitsText(const QString& value) { SetField(m_unitsText, value, irkInvalidate); }

    // The text shown outside the error state.
    QString FormatValue(double value) const;
    // The rectangle the text is centred in, for the current size, border and alignment.
    QRect TextRect() const;

signals:
    void OnChange();

protected:
    void iPaintTo(QPainter& Canvas) override;

private:
    TiAlignmentHorizontal m_alignment = iahCenter;
    int m_alignmentMargin = 5;
    int m_precision = 1;
    TFont* m_font;
    double m_value = 0;
    QString m_unitsText;
};
