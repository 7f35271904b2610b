#include "TrafficExport.h"

TrafficWriter::TrafficWriter(QIODevice& out, TrafficFileFormat format, qint64 originUs, Describe describe)
    : m_out(out), m_format(format), m_originUs(originUs), m_describe(std::move(describe)) {}

bool TrafficWriter::Begin() {
    if (m_format != TrafficFileFormat::Csv)
        return true;
    QString header = QStringLiteral("time_utc,time_ms,direction,verdict,exception,length,bytes");
    if (m_describe)
        header += QStringLiteral(",text");
    return Put(header);
}

bool TrafficWriter::Write(const TrafficRecord& record) {
    if (m_format == TrafficFileFormat::LogText)
        return Put(TrafficLogLine(record));
    const qint64 us = record.monotonicUs - m_originUs;
    QString line = IsoUtcMs(record.utcMs);
    line += QLatin1Char(',');
    line += QString::number(double(us) / 1000.0, 'f', 3);
    line += QLatin1Char(',');
    line += QLatin1String(DirectionKeyword(record.direction));
    line += QLatin1Char(',');
    line += QLatin1String(VerdictKeyword(record.verdict));
    line += QLatin1Char(',');
    if (record.verdict == Verdict::Exception)
        line += QStringLiteral("%1").arg(record.exceptionCode, 2, 16, QLatin1Char('0')).toUpper();
    line += QLatin1Char(',');
    line += QString::number(record.bytes.size());
    line += QLatin1Char(',');
    line += HexPairs(record.bytes);
    if (m_describe) {
        line += QLatin1Char(',');
        line += CsvField(m_describe(record));
    }
    return Put(line);
}

QString TrafficWriter::CsvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

bool TrafficWriter::Put(const QString& line) {
    QByteArray bytes = line.toUtf8();
    bytes += m_format == TrafficFileFormat::Csv ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n");
    return m_out.write(bytes) == bytes.size();
}
