#pragma once
// Traffic records written to a file: as the traffic log's lines, or as CSV for a spreadsheet.

#include "Traffic.h"

#include <QIODevice>
#include <QString>

#include <functional>

enum class TrafficFileFormat {
    LogText, // one TrafficLogLine per record, "\n" after each
    Csv,     // RFC 4180: a header line, then one line per record, CRLF line ends, UTF-8
};

// Writes records one after another to an open device. CSV columns:
//   time_utc   ISO 8601 in UTC with milliseconds, as the log writes it
//   time_ms    milliseconds since originUs on the monotonic clock, to the microsecond
//   direction  tx, rx or --
//   verdict    the log's keyword
//   exception  the exception code as two hex digits, empty for other verdicts
//   length     number of bytes
//   bytes      upper-case hex pairs separated by spaces
//   text       what `describe` makes of the record (the verdict in the operator's language); the
//              column is there only when `describe` is given
class TrafficWriter {
public:
    using Describe = std::function<QString(const TrafficRecord&)>;

    TrafficWriter(QIODevice& out, TrafficFileFormat format, qint64 originUs = 0, Describe describe = {});

    // The CSV header line; nothing for log text. False when the device refused the bytes.
    bool Begin();
    bool Write(const TrafficRecord& record);
    QString ErrorString() const { return m_out.errorString(); }

    // One CSV field, quoted when it holds a comma, a quote or a line break.
    static QString CsvField(const QString& text);

private:
    bool Put(const QString& line);

    QIODevice& m_out;
    TrafficFileFormat m_format;
    qint64 m_originUs;
    Describe m_describe;
};
