#pragma once
// Typing a value the operator may set: the quantity's range (what its knob covers) and the raw value a
// knob at that value writes, so a typed value and a turned knob send the same request.

#include "Quantities.h"

#include <QLocale>
#include <QStringView>

struct SetPointRange {
    Quantity quantity = Quantity::InputSetting;
    double min = 0; // in the quantity's unit
    double max = 0;
};

struct ParsedSetPoint {
    enum class Error : quint8 { None, Empty, NotANumber, TooManyDecimals, OutOfRange };
    Error error = Error::None;
    double value = 0; // in the quantity's unit
    quint16 raw = 0;  // the register content written
};

// Reads `text` as a value of the range's quantity, in `locale`'s notation or with a plain point.
ParsedSetPoint ParseSetPoint(const SetPointRange& range, QStringView text, const QLocale& locale = QLocale());
// The raw register content a knob at `value` (in the quantity's unit) writes.
quint16 SetPointRaw(Quantity q, double value);
