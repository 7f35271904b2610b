#pragma once
// Numeric entry field: holds a Value, shows it formatted with Precision decimals and UnitsText, and turns
// the operator's text back into Value when the text is applied.

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
