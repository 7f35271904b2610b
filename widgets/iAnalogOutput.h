#pragma once
// Numeric entry field: holds a Value, shows it formatted with Precision decimals and UnitsText, and turns
// the operator's text back into Value when the text is applied.

#include "iEditCustom.h"

#include <QLocale>
#include <QString>
#include <optional>

// The shown text of a number: Precision >= 0 gives fixed notation with exactly that many decimals (halves
// rounded away from zero on the number's decimal digits, no thousands separator), a negative Precision
// the general format with up to 15 significant digits; blanks trimmed, then the units appended as they
// are. The decimal separator is the locale's.
QString FormatValue(double value, int precision, const QString& unitsText, const QLocale& locale = QLocale());

// The number in an operator's text: every occurrence of the (trimmed) units is removed, letter case
// ignored, and the rest converted with the locale's decimal separator. Empty when it is no finite number.
std::optional<double> ParseValueText(const QString& text, const QString& unitsText,
                                     const QLocale& locale = QLocale());

// The locale's decimal separator as the formatting shows it (the character after "1" in 1.1).
QChar DecimalSeparator(const QLocale& locale = QLocale());

class TiAnalogOutput : public TiEditCustom {
    Q_OBJECT
    Q_CLASSINFO(
        "Publish",
        "BorderStyle,TabOrder,TabStop,Width,Height,ErrorActive,ErrorText,ErrorFont,ErrorBackGroundColor")
    Q_PROPERTY(int Precision READ Precision WRITE SetPrecision)
    Q_PROPERTY(double Value READ Value WRITE SetValue)
    Q_PROPERTY(double ValueMax READ ValueMax WRITE SetValueMax)
    Q_PROPERTY(double ValueMin READ ValueMin WRITE SetValueMin)
    Q_PROPERTY(QString UnitsText READ UnitsText WRITE SetUnitsText)
    Q_PROPERTY(TiFilterInputStyle FilterStyle READ FilterStyle WRITE SetFilterStyle)
    Q_PROPERTY(bool UndoOnError READ UndoOnError WRITE SetUndoOnError)
    Q_PROPERTY(bool BeepOnError READ BeepOnError WRITE SetBeepOnError)

public:
    enum TiFilterInputStyle { ifisNone, ifisAuto };
    Q_ENUM(TiFilterInputStyle)

    explicit TiAnalogOutput(QWidget* parent = nullptr);

    int Precision() const { return m_precision; }
    void SetPrecision(int value);
    double Value() const { return m_value; }
    void SetValue(double value);
    double ValueMax() const { return m_valueMax; }
    void SetValueMax(double value);
    double ValueMin() const { return m_valueMin; }
    void SetValueMin(double value);
    QString UnitsText() const { return m_unitsText; }
    void SetUnitsText(const QString& value);
    TiFilterInputStyle FilterStyle() const { return m_filterStyle; }
    void SetFilterStyle(TiFilterInputStyle value) { m_filterStyle = value; }
    bool UndoOnError() const { return m_undoOnError; }
    void SetUndoOnError(bool value) { m_undoOnError = value; }
    bool BeepOnError() const { return m_beepOnError; }
    void SetBeepOnError(bool value) { m_beepOnError = value; }

    QString FormatValue(double value) const { return ::FormatValue(value, m_precision, m_unitsText); }
    // The number in the text; an unparsable text returns to the last accepted one and gives the current
    // Value with UndoOnError, and nothing without it.
    std::optional<double> ParseText(const QString& text);

    void DoChange() override;
    void ApplyText() override;
    bool IsValidChar(QChar c) override;
    // Selects the number, not the units behind it.
    void SelectAll() override;

signals:
    void OnChangeUser();
    // OldValue, the proposed NewValue (a handler may change it) and CanChange (a handler may veto).
    void OnBeforeChange(double OldValue, double& NewValue, bool& CanChange);
    void OnBeforeUserChange(double OldValue, double& NewValue, bool& CanChange);

private:
    double Clamped(double value) const;
    void RefreshText();
    void ReformatText();
    void ShowConversionError(const QString& number);

    int m_precision = 1;
    double m_value = 0;
    double m_valueMax = 0;
    double m_valueMin = 0;
    QString m_unitsText;
    TiFilterInputStyle m_filterStyle = ifisAuto;
    bool m_undoOnError = true;
    bool m_beepOnError = false;
    bool m_formatChanging = false;
    bool m_conversionErrorShown = false;
};
