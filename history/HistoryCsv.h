#pragma once
// The history as CSV for scripts and spreadsheets: RFC 4180 (CRLF line ends, quoted fields where
// needed), a header line, times in ISO 8601 UTC with milliseconds, numbers with a decimal point
// whatever the locale.
//
//   readings: time,device,block,input_setting_pct,...,voltage_v   one row per recorded block; the cells
//             of the quantities the block does not carry are empty
//   events:   time,device,kind,detail
//   minutes:  time,device,blocks,<quantity>_min,<quantity>_mean,<quantity>_max,...,alarms_any,alarms_all
//   trend:    the readings' columns; before the oldest block kept, each minute row as three lines with
//             "min", "mean" and "max" in the block column (the alarms: the bits set throughout the
//             minute, none, the bits set at any time in it)

#include "HistoryStore.h"

#include <QIODevice>

// A field as RFC 4180 writes it: quoted, with quotes doubled, when it holds a comma, a quote or a line end.
QByteArray CsvField(const QString& text);
// The shown value of a raw register content, exact: 1234 with divisor 100 is "12.34".
QByteArray CsvValue(Quantity q, qint32 raw);

QByteArray ReadingsCsvHeader();
QByteArray ReadingsCsvLine(const StoredBlock& block, const QString& device);
QByteArray EventsCsvHeader();
QByteArray EventsCsvLine(const HistoryEvent& event);

// Writes the readings, events or minute rows of one device (deviceId 0: all) in [from, to) to `out`;
// false with the reason when reading or writing fails.
bool WriteReadingsCsv(HistoryStore& store, int deviceId, qint64 from, qint64 to, QIODevice& out,
                      QString* error);
bool WriteEventsCsv(HistoryStore& store, int deviceId, qint64 from, qint64 to, QIODevice& out,
                    QString* error);
QByteArray MinutesCsvHeader();
bool WriteMinutesCsv(HistoryStore& store, int deviceId, qint64 from, qint64 to, QIODevice& out,
                     QString* error);
// What a device's trend holds over [from, to): every block kept there, the newest minute's included, and
// the minute rows of the minutes older than the oldest block kept.
bool WriteTrendCsv(HistoryStore& store, int deviceId, qint64 from, qint64 to, QIODevice& out, QString* error);
