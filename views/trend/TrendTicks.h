#pragma once
// Where the trend's axes put their ticks, without the window. A value axis ticks at multiples of 1, 2 or
// 5 × 10ⁿ; the time axis on round seconds, minutes, hours, days or months of the zone shown, labelled
// with the date when the span passes midnight there.

#include <QList>
#include <QString>
#include <QTimeZone>

#include <utility>

// The smallest of 1, 2 or 5 × 10ⁿ that is at least `rough` (> 0).
double NiceStep(double rough);
// The decimals a label needs to tell ticks `step` apart: 0 for 20, 1 for 0.5, 2 for 0.05.
int StepDecimals(double step);

struct ValueTicks {
    double step = 1;  // ticks at its multiples
    int decimals = 0; // of their labels
};
// The finest round step that puts at most maxTicks ticks between low and high.
ValueTicks ValueTicksFor(double low, double high, int maxTicks);
// An axis' range for data from low to high: 5 % more on either side, so no line runs along the plot's
// border; a flat line gets a unit either side.
std::pair<double, double> AutoRange(double low, double high);

struct TimeTick {
    qint64 utcMs = 0;
    QString label;
    bool operator==(const TimeTick&) const = default;
};
// The ticks between from and to (both included) at the finest round step that gives at most maxTicks of
// them, in time order, labelled in `zone`. Labels are unique: a wall time repeated when the clocks go
// back says its zone's abbreviation the second time.
QList<TimeTick> TimeTicks(qint64 from, qint64 to, int maxTicks, const QTimeZone& zone);
