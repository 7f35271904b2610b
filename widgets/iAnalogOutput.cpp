#include "iAnalogOutput.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QSignalBlocker>
#include <QTimer>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

// More decimals than a Double carries only add zeros; the bound also keeps an absurd Precision from
// building an enormous string.
constexpr int kMaxDecimals = 18;

QString NonFiniteText(double value) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
}

QString LocaleDecimalPoint(const QLocale& locale) {
    const QString point = locale.decimalPoint();
    return point.isEmpty() ? QStringLiteral(".") : point;
}

// Fixed notation rounded on the number's shortest decimal digits (those that read back as the same
// Double), so 1.25 and 0.15 round up as they read, whatever their binary neighbours are.
QString FormatFixed(double value, int decimals, const QLocale& locale) {
    if (!std::isfinite(value))
        return NonFiniteText(value);
    decimals = std::clamp(decimals, 0, kMaxDecimals);

    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific);
    const std::string sci(buf, res.ptr);
    const auto ePos = sci.find('e');
    std::string digits;
    for (std::size_t i = 0; i < ePos; ++i)
        if (sci[i] != '.')
            digits += sci[i];
    const int exponent = std::stoi(sci.substr(ePos + 1));

    // Keep the digits down to 10^-decimals; the first digit stands for 10^exponent.
    const long kept = long(exponent) + 1 + decimals;
    std::string units; // value * 10^decimals, rounded, as decimal digits
    if (kept < 0 || value == 0.0) {
        units = "0";
    } else {
        units = digits.substr(0, std::min<std::size_t>(std::size_t(kept), digits.size()));
        units.resize(std::size_t(kept), '0');
        const bool roundUp = std::size_t(kept) < digits.size() && digits[std::size_t(kept)] >= '5';
        if (roundUp) {
            int i = int(units.size()) - 1;
            while (i >= 0 && units[std::size_t(i)] == '9')
                units[std::size_t(i--)] = '0';
            if (i >= 0)
                ++units[std::size_t(i)];
            else
                units.insert(units.begin(), '1');
        }
        if (units.empty())
            units = "0";
    }
    if (units.size() < std::size_t(decimals) + 1)
        units.insert(0, std::size_t(decimals) + 1 - units.size(), '0');
    std::string intPart = units.substr(0, units.size() - std::size_t(decimals));
    const std::string fracPart = units.substr(units.size() - std::size_t(decimals));
    const auto nonZero = intPart.find_first_not_of('0');
    intPart = nonZero == std::string::npos ? "0" : intPart.substr(nonZero);

    // A value that rounds to zero shows no sign.
    const bool isZero = units.find_first_not_of('0') == std::string::npos;
    QString text;
    if (value < 0 && !isZero)
        text += QLatin1Char('-');
    text += QString::fromLatin1(intPart.data(), qsizetype(intPart.size()));
    if (decimals > 0)
        text += LocaleDecimalPoint(locale) + QString::fromLatin1(fracPart.data(), qsizetype(fracPart.size()));
    return text;
}

// The value rounded to 15 significant digits and written in fixed and in scientific notation, without
// trailing zeros; the shorter one, fixed when both are as long.
QString FormatGeneral(double value, const QLocale& locale) {
    if (!std::isfinite(value))
        return NonFiniteText(value);
    if (value == 0)
        return QStringLiteral("0");
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14E", std::fabs(value));
    const std::string sci(buf);
    const std::size_t e = sci.find('E');
    const int exponent = std::atoi(sci.c_str() + e + 1);
    std::string digits = sci.substr(0, 1) + sci.substr(2, e - 2);
    digits.erase(digits.find_last_not_of('0') + 1);
    const std::string sign = value < 0 ? "-" : "";

    std::string scientific = sign + digits.substr(0, 1);
    if (digits.size() > 1)
        scientific += "." + digits.substr(1);
    char exp[16];
    std::snprintf(exp, sizeof exp, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    scientific += exp;

    std::string fixed = sign;
    if (exponent >= 0) {
        const std::size_t intDigits = std::size_t(exponent) + 1;
        if (digits.size() <= intDigits)
            fixed += digits + std::string(intDigits - digits.size(), '0');
        else
            fixed += digits.substr(0, intDigits) + "." + digits.substr(intDigits);
    } else {
        fixed += "0." + std::string(std::size_t(-exponent - 1), '0') + digits;
    }

    QString text = QString::fromStdString(fixed.size() <= scientific.size() ? fixed : scientific);
    text.replace(QLatin1Char('.'), LocaleDecimalPoint(locale));
    return text;
}

} // namespace

QString FormatValue(double value, int precision, const QString& unitsText, const QLocale& locale) {
    const QString number =
        precision >= 0 ? FormatFixed(value, precision, locale) : FormatGeneral(value, locale);
    return number.trimmed() + unitsText;
}

std::optional<double> ParseValueText(const QString& text, const QString& unitsText, const QLocale& locale) {
    QString number = text;
    const QString units = unitsText.trimmed();
    if (!units.isEmpty())
        number.remove(units, Qt::CaseInsensitive);
    QLocale strict = locale;
    strict.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = strict.toDouble(number.trimmed(), &ok);
    // "inf" and "nan" read as numbers by the locale, but no field holds them: they are no value to apply.
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QChar DecimalSeparator(const QLocale& locale) {
    const QString one = FormatFixed(1.1, 1, locale);
    return one.size() > 1 ? one.at(1) : QLatin1Char('.');
}

// ---- TiAnalogOutput ----

TiAnalogOutput::TiAnalogOutput(QWidget* parent) : TiEditCustom(parent) {
    SetAlignment(taCenter);
    {
        // A field being created keeps its size: only later font changes fit its height to the font.
        const QSignalBlocker quiet(Font());
        Font()->SetStyle(Font()->Style() | fsBold);
    }
    // Through the setter, so the field starts showing its formatted value.
    SetValue(0);
}

double TiAnalogOutput::Clamped(double value) const {
    if ((m_valueMax != 0 || m_valueMin != 0) && !IsLoading()) {
        if (value > m_valueMax)
            value = m_valueMax;
        if (value < m_valueMin)
            value = m_valueMin;
    }
    return value;
}

void TiAnalogOutput::SetValue(double value) {
    value = Clamped(value);
    if (value != m_value) {
        bool canChange = true;
        if (UserInput())
            emit OnBeforeUserChange(m_value, value, canChange);
        emit OnBeforeChange(m_value, value, canChange);
        if (canChange)
            canChange = AskEditPermission(QStringLiteral("Value"));
        if (canChange) {
            value = Clamped(value);
            if (!NotifyPropertyChanged(QStringLiteral("Value"), value)) {
                m_value = value;
                SetLastAcceptedText(FormatValue(value));
                RefreshText();
                DoChange();
            }
        }
    }
    RefreshText();
}

void TiAnalogOutput::RefreshText() {
    const QString shown = FormatValue(m_value);
    if (shown == Text())
        return;
    SetText(shown);
    ApplyText();
    InvalidateChange();
}

void TiAnalogOutput::ReformatText() {
    m_formatChanging = true;
    RefreshText();
    m_formatChanging = false;
}

void TiAnalogOutput::SetPrecision(int value) {
    if (value == m_precision)
        return;
    m_precision = value;
    ReformatText();
}

void TiAnalogOutput::SetUnitsText(const QString& value) {
    if (value == m_unitsText)
        return;
    m_unitsText = value.trimmed().isEmpty() ? QString() : value;
    ReformatText();
}

void TiAnalogOutput::SetValueMax(double value) {
    m_valueMax = value;
    SetValue(m_value);
}

void TiAnalogOutput::SetValueMin(double value) {
    m_valueMin = value;
    SetValue(m_value);
}

std::optional<double> TiAnalogOutput::ParseText(const QString& text) {
    if (const std::optional<double> value = ParseValueText(text, m_unitsText))
        return value;
    if (!m_undoOnError) {
        QString number = text;
        if (!m_unitsText.trimmed().isEmpty())
            number.remove(m_unitsText.trimmed(), Qt::CaseInsensitive);
        ShowConversionError(number);
        return std::nullopt;
    }
    Undo();
    if (m_beepOnError)
        QApplication::beep();
    return m_value;
}

void TiAnalogOutput::ShowConversionError(const QString& number) {
    // Shown once the input handling that applied the text has returned, as an unhandled conversion
    // error would be; the field keeps its text and Value.
    // The box takes the focus from the field, which applies the same text again: one box at a time.
    if (m_conversionErrorShown)
        return;
    m_conversionErrorShown = true;
    const QString message = QStringLiteral("'%1' is not a valid floating point value").arg(number);
    QPointer<TiAnalogOutput> self(this);
    QTimer::singleShot(0, qApp, [self, message] {
        QMessageBox::critical(self ? self->window() : nullptr, QCoreApplication::applicationName(), message);
        if (self)
            self->m_conversionErrorShown = false;
    });
}

void TiAnalogOutput::ApplyText() {
    if (Text() != LastAcceptedText()) {
        if (!m_formatChanging) {
            const std::optional<double> value = ParseText(Text());
            if (!value)
                return;
            SetValue(*value);
        }
        SetLastAcceptedText(FormatValue(m_value));
    }
    SelectAll();
}

void TiAnalogOutput::DoChange() {
    if (IsLoading())
        return;
    TellPropertyChanged(QStringLiteral("Value"));
    emit OnChange();
    if (UserInput())
        emit OnChangeUser();
}

bool TiAnalogOutput::IsValidChar(QChar c) {
    if (m_filterStyle == ifisNone)
        return true;
    const bool valid = c == QLatin1Char('-') || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                       (m_precision != 0 && c == DecimalSeparator()) ||
                       m_unitsText.contains(c, Qt::CaseInsensitive);
    if (!valid && m_beepOnError)
        QApplication::beep();
    return valid;
}

void TiAnalogOutput::SelectAll() {
    const int length = int(Text().size() - m_unitsText.size());
    EditText([length](EditBuffer& b) { b.setSelection(0, length); });
}
