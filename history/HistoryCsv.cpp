#include "HistoryCsv.h"

#include "Traffic.h"

#include <algorithm>

namespace {

constexpr char kLineEnd[] = "\r\n";

// A raw sum over `count` samples as a mean in the quantity's unit, with two more digits than the
// quantity shows; formatted by QByteArray::number, which never uses the locale.
QByteArray MeanValue(const QuantityInfo& q, qint64 sum, int count) {
    const double mean = double(sum) / count / q.divisor;
    return QByteArray::number(mean, 'f', q.decimals + 2);
}

bool WriteOut(QIODevice& out, const QByteArray& bytes, QString* error) {
    if (out.write(bytes) == bytes.size())
        return true;
    if (error)
        *error = out.errorString();
    return false;
}

} // namespace

QByteArray CsvField(const QString& text) {
    QByteArray utf8 = text.toUtf8();
    if (!utf8.contains(',') && !utf8.contains('"') && !utf8.contains('\n') && !utf8.contains('\r'))
        return utf8;
    utf8.replace("\"", "\"\"");
    return '"' + utf8 + '"';
}

QByteArray CsvValue(Quantity q, qint32 raw) {
    const QuantityInfo& info = Info(q);
    if (info.kind == QuantityKind::Bit)
        return QByteArray::number(raw & 1);
    if (info.divisor == 1)
        return QByteArray::number(raw);
    // Integer arithmetic: the text is the register's exact decimal value.
    const QByteArray fraction = QByteArray::number(raw % info.divisor).rightJustified(info.decimals, '0');
    return QByteArray::number(raw / info.divisor) + '.' + fraction;
}

QByteArray ReadingsCsvHeader() {
    QByteArray header = "time,device,block";
    for (const QuantityInfo& q : kQuantities)
        header += QByteArray(",") + q.key;
    return header + kLineEnd;
}

QByteArray ReadingsCsvLine(const StoredBlock& block, const QString& device) {
    QByteArray line =
        IsoUtcMs(block.utcMs).toLatin1() + ',' + CsvField(device) + ',' + QByteArray::number(block.block);
    for (const QuantityInfo& q : kQuantities) {
        line += ',';
        if (block.Has(q.quantity))
            line += CsvValue(q.quantity, block.raw[size_t(q.quantity)]);
    }
    return line + kLineEnd;
}

QByteArray EventsCsvHeader() {
    return QByteArray("time,device,kind,detail") + kLineEnd;
}

QByteArray EventsCsvLine(const HistoryEvent& event) {
    return IsoUtcMs(event.utcMs).toLatin1() + ',' + CsvField(event.device.Name()) + ',' +
           EventKindKeyword(event.kind) + ',' + CsvField(event.detail) + kLineEnd;
}

namespace {

// Lines gathered and written in pieces, so a long export does not hold the whole file in memory.
class ChunkedOut {
public:
    ChunkedOut(QIODevice& out, QString* error) : m_out(out), m_error(error) {}
    // False once a write failed: the caller stops reading.
    bool Add(const QByteArray& line) {
        m_chunk += line;
        if (m_chunk.size() > (1 << 16))
            Flush();
        return m_ok;
    }
    bool Flush() {
        if (m_ok && !m_chunk.isEmpty())
            m_ok = WriteOut(m_out, m_chunk, m_error);
        m_chunk.clear();
        return m_ok;
    }

private:
    QIODevice& m_out;
    QString* m_error;
    QByteArray m_chunk;
    bool m_ok = true;
};

QHash<int, QString> DeviceNames(HistoryStore& store) {
    QHash<int, QString> names;
    const QHash<int, DeviceKey> devices = store.Devices();
    for (auto it = devices.cbegin(); it != devices.cend(); ++it)
        names.insert(it.key(), it.value().Name());
    return names;
}

QByteArray MinutesCsvLine(const MinuteRow& m, const QString& device) {
    QByteArray line = IsoUtcMs(m.utcMs).toLatin1() + ',' + CsvField(device) + ',' +
                      QByteArray::number(m.counts[0] + m.counts[1] + m.counts[2]);
    for (const QuantityInfo& q : kQuantities) {
        const size_t i = size_t(q.quantity);
        if (q.quantity == Quantity::Alarms) {
            line += m.Count(q.quantity) > 0
                        ? ',' + QByteArray::number(m.alarmsAny) + ',' + QByteArray::number(m.alarmsAll)
                        : QByteArray(",,");
            continue;
        }
        if (m.Count(q.quantity) == 0) {
            line += ",,,";
            continue;
        }
        line += ',' + CsvValue(q.quantity, m.min[i]) + ',' + MeanValue(q, m.sum[i], m.Count(q.quantity)) +
                ',' + CsvValue(q.quantity, m.max[i]);
    }
    return line + kLineEnd;
}

// A minute row in the readings' columns: three lines, "min", "mean" and "max" in the block column. The
// alarms' minimum is the bits set throughout the minute, their maximum the bits set at any time in it.
QByteArray MinuteAsReadingsLines(const MinuteRow& m, const QString& device) {
    QByteArray lines;
    const QByteArray start = IsoUtcMs(m.utcMs).toLatin1() + ',' + CsvField(device) + ',';
    for (const char* statistic : {"min", "mean", "max"}) {
        const bool mean = statistic[1] == 'e', max = statistic[1] == 'a';
        QByteArray line = start + statistic;
        for (const QuantityInfo& q : kQuantities) {
            const size_t i = size_t(q.quantity);
            line += ',';
            if (m.Count(q.quantity) == 0)
                continue;
            if (q.quantity == Quantity::Alarms) {
                if (!mean)
                    line += QByteArray::number(max ? m.alarmsAny : m.alarmsAll);
                continue;
            }
            line += mean ? MeanValue(q, m.sum[i], m.Count(q.quantity))
                         : CsvValue(q.quantity, max ? m.max[i] : m.min[i]);
        }
        lines += line + kLineEnd;
    }
    return lines;
}

} // namespace

bool WriteReadingsCsv(HistoryStore& store, int deviceId, qint64 from, qint64 to, QIODevice& out,
                      QString* error) {
    if (!WriteOut(out, ReadingsCsvHeader(), error))
        return false;
    const QHash<int, QString> names = DeviceNames(store);
    ChunkedOut chunked(out, error);
    const bool read = store.ForEachBlock(deviceId, from, to, [&](const StoredBlock& b) {
        return chunked.Add(ReadingsCsvLine(b, names.value(b.deviceId)));
    });
    if (!read) {
        if (error)
            *error = store.LastError();
        return false;
    }
    return chunked.Flush();
}

bool WriteEventsCsv(HistoryStore& store, int deviceId, qint64 from, qint64 to, QIODevice& out,
                    QString* error) {
    QByteArray text = EventsCsvHeader();
    const bool read =
        store.ForEachEvent(deviceId, from, to, [&](const StoredEvent& e) { text += EventsCsvLine(e.event); });
    if (!read) {
        if (error)
            *error = store.LastError();
        return false;
    }
    return WriteOut(out, text, error);
}

QByteArray MinutesCsvHeader() {
    QByteArray header = "time,device,blocks";
    for (const QuantityInfo& q : kQuantities) {
        if (q.quantity == Quantity::Alarms)
            header += ",alarms_any,alarms_all";
        else
            header += QByteArray(",") + q.key + "_min," + q.key + "_mean," + q.key + "_max";
    }
    return header + kLineEnd;
}

bool WriteMinutesCsv(HistoryStore& store, int deviceId, qint64 from, qint64 to, QIODevice& out,
                     QString* error) {
    if (!WriteOut(out, MinutesCsvHeader(), error))
        return false;
    const QHash<int, QString> names = DeviceNames(store);
    ChunkedOut chunked(out, error);
    const bool read = store.ForEachMinute(deviceId, from, to, [&](const MinuteRow& m) {
        chunked.Add(MinutesCsvLine(m, names.value(m.deviceId)));
    });
    if (!read) {
        if (error)
            *error = store.LastError();
        return false;
    }
    return chunked.Flush();
}

bool WriteTrendCsv(HistoryStore& store, int deviceId, qint64 from, qint64 to, QIODevice& out,
                   QString* error) {
    if (!WriteOut(out, ReadingsCsvHeader(), error))
        return false;
    const QString device = store.Devices().value(deviceId).Name();
    ChunkedOut chunked(out, error);
    // One state of the file throughout, though the panel records and trims meanwhile.
    const bool snapshot = store.BeginRead();
    // Minute rows only for the minutes wholly before the oldest block kept; every block after.
    const std::optional<qint64> oldest = store.OldestBlock(deviceId);
    const qint64 minutesTo = oldest ? std::clamp(*oldest - *oldest % HistoryStore::kMinuteMs, from, to) : to;
    bool read = from >= minutesTo || store.ForEachMinute(deviceId, from, minutesTo, [&](const MinuteRow& m) {
        chunked.Add(MinuteAsReadingsLines(m, device));
    });
    read = read && store.ForEachBlock(deviceId, std::max(from, minutesTo), to, [&](const StoredBlock& b) {
        return chunked.Add(ReadingsCsvLine(b, device));
    });
    if (!read && error)
        *error = store.LastError();
    if (snapshot)
        store.EndRead();
    return read && chunked.Flush();
}
