#include "TrendTicks.h"

#include <QDateTime>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr qint64 kSecondMs = 1000;
constexpr qint64 kMinuteMs = 60 * kSecondMs;
constexpr qint64 kHourMs = 60 * kMinuteMs;
constexpr qint64 kDayMs = 24 * kHourMs;
// A month on average, to compare month steps with a span.
constexpr qint64 kMonthMs = 2629746 * kSecondMs;

enum class Unit { Second, Minute, Hour, Day, Month };
struct TimeStep {
    Unit unit;
    int count;
};

qint64 ApproxMs(TimeStep s) {
    switch (s.unit) {
    case Unit::Second:
        return s.count * kSecondMs;
    case Unit::Minute:
        return s.count * kMinuteMs;
    case Unit::Hour:
        return s.count * kHourMs;
    case Unit::Day:
        return s.count * kDayMs;
    case Unit::Month:
        break;
    }
    return s.count * kMonthMs;
}

// Steps that divide the next unit, so ticks fall on the same wall times every minute, hour or day; weeks
// and fortnights begin on Mondays; beyond a year, years in 1, 2, 5 × 10ⁿ.
const std::vector<TimeStep>& Ladder() {
    static const std::vector<TimeStep> ladder = {
        {Unit::Second, 1},  {Unit::Second, 2},  {Unit::Second, 5}, {Unit::Second, 10}, {Unit::Second, 15},
        {Unit::Second, 30}, {Unit::Minute, 1},  {Unit::Minute, 2}, {Unit::Minute, 5},  {Unit::Minute, 10},
        {Unit::Minute, 15}, {Unit::Minute, 30}, {Unit::Hour, 1},   {Unit::Hour, 2},    {Unit::Hour, 3},
        {Unit::Hour, 6},    {Unit::Hour, 12},   {Unit::Day, 1},    {Unit::Day, 2},     {Unit::Day, 7},
        {Unit::Day, 14},    {Unit::Month, 1},   {Unit::Month, 2},  {Unit::Month, 3},   {Unit::Month, 6},
        {Unit::Month, 12},  {Unit::Month, 24},  {Unit::Month, 60}, {Unit::Month, 120}, {Unit::Month, 240},
        {Unit::Month, 600}, {Unit::Month, 1200}};
    return ladder;
}

qint64 Mod(qint64 a, qint64 m) {
    return (a % m + m) % m;
}

QDateTime At(qint64 utcMs, const QTimeZone& zone) {
    return QDateTime::fromMSecsSinceEpoch(utcMs, zone);
}

// The first time at or after t whose wall clock in the zone is a multiple of stepMs.
qint64 AlignUp(qint64 t, qint64 stepMs, const QTimeZone& zone) {
    const qint64 wall = t + qint64(zone.offsetFromUtc(At(t, QTimeZone::utc()))) * kSecondMs;
    return t + Mod(-wall, stepMs);
}

QList<qint64> TickTimes(qint64 from, qint64 to, TimeStep step, const QTimeZone& zone) {
    QList<qint64> times;
    switch (step.unit) {
    case Unit::Second:
    case Unit::Minute:
    case Unit::Hour: {
        // Stepping in real time keeps both passes through an hour the clocks go back over; steps of
        // several hours keep the whole hours that are their multiples.
        const qint64 stepMs = step.unit == Unit::Hour ? kHourMs : ApproxMs(step);
        for (qint64 t = AlignUp(from, stepMs, zone); t <= to; t = AlignUp(t + stepMs, stepMs, zone))
            if (step.unit != Unit::Hour || At(t, zone).time().hour() % step.count == 0)
                times << t;
        break;
    }
    case Unit::Day: {
        // Julian day 0 was a Monday: multiples of 7 and 14 are Mondays.
        const QDate first = At(from, zone).date();
        const QDate last = At(to, zone).date();
        for (QDate d = first.addDays(Mod(-first.toJulianDay(), step.count)); d <= last;
             d = d.addDays(step.count)) {
            const qint64 t = d.startOfDay(zone).toMSecsSinceEpoch();
            if (t >= from && t <= to)
                times << t;
        }
        break;
    }
    case Unit::Month: {
        const QDate first = At(from, zone).date();
        const QDate last = At(to, zone).date();
        const int lastMonth = last.year() * 12 + last.month() - 1;
        int month = first.year() * 12 + first.month() - 1;
        for (month += int(Mod(-month, step.count)); month <= lastMonth; month += step.count) {
            const qint64 t = QDate(month / 12, month % 12 + 1, 1).startOfDay(zone).toMSecsSinceEpoch();
            if (t >= from && t <= to)
                times << t;
        }
        break;
    }
    }
    return times;
}

QString LabelFormat(qint64 from, qint64 to, TimeStep step, const QTimeZone& zone) {
    const QDate first = At(from, zone).date();
    const QDate last = At(to, zone).date();
    switch (step.unit) {
    case Unit::Second:
        return first != last ? QStringLiteral("MM-dd HH:mm:ss") : QStringLiteral("HH:mm:ss");
    case Unit::Minute:
    case Unit::Hour:
        return first != last ? QStringLiteral("MM-dd HH:mm") : QStringLiteral("HH:mm");
    case Unit::Day:
        return first.year() != last.year() ? QStringLiteral("yyyy-MM-dd") : QStringLiteral("MM-dd");
    case Unit::Month:
        break;
    }
    return step.count >= 12 ? QStringLiteral("yyyy") : QStringLiteral("yyyy-MM");
}

} // namespace

double NiceStep(double rough) {
    if (!(rough > 0) || !std::isfinite(rough))
        return 1;
    const double magnitude = std::pow(10.0, std::floor(std::log10(rough)));
    const double f = rough / magnitude;
    // A little slack, so a step that is already round stays as it is.
    constexpr double slack = 1e-9;
    return (f <= 1 + slack ? 1 : f <= 2 + slack ? 2 : f <= 5 + slack ? 5 : 10) * magnitude;
}

int StepDecimals(double step) {
    if (!(step > 0) || !std::isfinite(step))
        return 0;
    return std::max(0, int(-std::floor(std::log10(step) + 1e-9)));
}

ValueTicks ValueTicksFor(double low, double high, int maxTicks) {
    maxTicks = std::max(maxTicks, 2);
    const double span = high - low;
    if (!(span > 0) || !std::isfinite(span))
        return {};
    double step = NiceStep(span / maxTicks);
    for (;;) {
        const double ticks = std::floor(high / step + 1e-9) - std::ceil(low / step - 1e-9) + 1;
        if (ticks <= maxTicks)
            break;
        step = NiceStep(step * 1.5); // the next of 1, 2, 5
    }
    return {step, StepDecimals(step)};
}

std::pair<double, double> AutoRange(double low, double high) {
    if (!(high > low))
        return {low - 1, high + 1};
    const double margin = (high - low) * 0.05;
    return {low - margin, high + margin};
}

QList<TimeTick> TimeTicks(qint64 from, qint64 to, int maxTicks, const QTimeZone& zone) {
    QList<TimeTick> ticks;
    if (to <= from)
        return ticks;
    maxTicks = std::max(maxTicks, 2);
    const auto& ladder = Ladder();
    const auto fits = [&](TimeStep s) { return (to - from) / ApproxMs(s) + 1 <= maxTicks; };
    const auto found = std::find_if(ladder.begin(), ladder.end(), fits);
    const TimeStep step = found != ladder.end() ? *found : ladder.back();
    const QString format = LabelFormat(from, to, step, zone);
    QSet<QString> seen;
    for (qint64 t : TickTimes(from, to, step, zone)) {
        const QDateTime at = At(t, zone);
        QString label = at.toString(format);
        if (seen.contains(label))
            label += QLatin1Char(' ') + at.timeZoneAbbreviation();
        if (seen.contains(label))
            continue;
        seen.insert(label);
        ticks.append({t, label});
    }
    return ticks;
}
