#include "iAnalogOutput.h"

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

QString FormatGeneral(double value, const QLocale& locale) {
    if (!std::isfinite(value))
        return NonFiniteText(value);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", value);
    QString text = QString::fromLatin1(buf);
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
