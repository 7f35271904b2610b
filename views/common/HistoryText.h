#pragma once
// How the history's windows name the quantities and the kinds of events, in the operator's language.
// Files keep the keywords of HistoryTypes.h and the column names of Quantities.h.

#include "HistoryTypes.h"
#include "Quantities.h"

#include <QString>
#include <QTimeZone>

QString QuantityName(Quantity q);
// "12.3 A": the shown value with its unit, as many decimals as the display gives.
QString QuantityValueText(Quantity q, double value);
QString EventKindName(EventKind kind);
// What alarm bit `bit` (0 to 8 of register 13) means: "电源故障".
QString AlarmMeaning(int bit);
// The alarm as lists name it: the caption above its LED, then what it means, "PWER 电源故障".
QString AlarmFullName(int bit);
// An event's detail as the event window shows it. A command's names the quantity, the value in its
// unit and what became of it: "最大输出量限制 25.0 %，回送丢失"; an acknowledgement's the user and the
// alarms: "用户 alice：TEMP MAX, PWER". Other details are shown as stored.
QString EventDetailText(EventKind kind, const QString& detail);
// A command as the operator set it: "最大输出量限制 25.0 %", or the register and raw value.
QString CommandText(quint16 reg, quint16 value);
// What became of a command, in words: "回送丢失", "读回 24.0 %"; empty for a plain one.
QString CommandReasonText(const CommandDetail& command);
// Local time with milliseconds: "2026-12-10 16:15:02.123".
QString LocalTimeText(qint64 utcMs);

// The zone the windows show times in: the computer's own, or UTC.
enum class ShownZone { Local, Utc };
QTimeZone TimeZoneOf(ShownZone zone);
// "2026-12-10 16:15:02.123" in the zone.
QString TimeText(qint64 utcMs, ShownZone zone);
// How the windows name the zone of their times: the computer's zone ("Asia/Shanghai") or "UTC".
QString ZoneName(ShownZone zone);
