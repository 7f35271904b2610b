#include "SetPoint.h"

#include "DisplayRefresh.h"

#include <cmath>

quint16 SetPointRaw(Quantity q, double value) {
    return KnobWriteValue(value * Info(q).divisor);
}

ParsedSetPoint ParseSetPoint(const SetPointRange& range, QStringView text, const QLocale& locale) {
    ParsedSetPoint parsed;
    const QString trimmed = text.trimmed().toString();
    if (trimmed.isEmpty()) {
        parsed.error = ParsedSetPoint::Error::Empty;
        return parsed;
    }
    bool ok = false;
    double value = locale.toDouble(trimmed, &ok);
    if (!ok)
        value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value)) {
        parsed.error = ParsedSetPoint::Error::NotANumber;
        return parsed;
    }
    const QuantityInfo& info = Info(range.quantity);
    // A value between two steps of the register would be rounded without the operator knowing.
    const double steps = value * info.divisor;
    if (std::abs(steps - std::round(steps)) > 1e-6 * std::max(1.0, std::abs(steps))) {
        parsed.error = ParsedSetPoint::Error::TooManyDecimals;
        return parsed;
    }
    value = std::round(steps) / info.divisor;
    if (value < range.min || value > range.max) {
        parsed.error = ParsedSetPoint::Error::OutOfRange;
        return parsed;
    }
    parsed.value = value;
    parsed.raw = SetPointRaw(range.quantity, value);
    return parsed;
}
