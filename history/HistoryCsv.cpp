#include "HistoryCsv.h"

#include "Traffic.h"

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

bool WriteReadingsCsv(HistoryStore& store, int deviceId, qint64 from, qint64 to, QIODevice& out,
                      QString* error) {
    if (!WriteOut(out, ReadingsCsvHeader(), error))
        return false;
    QHash<int, QString> names;
    const QHash<int, DeviceKey> devices = store.Devices();
    for (auto it = devices.cbegin(); it != devices.cend(); ++it)
        names.insert(it.key(), it.value().Name());
    // Written in pieces, so a long export does not hold the whole file in memory.
    QByteArray chunk;
    bool written = true;
    const bool read = store.ForEachBlock(deviceId, from, to, [&](const StoredBlock& b) {
        chunk += ReadingsCsvLine(b, names.value(b.deviceId));
        if (chunk.size() > (1 << 16)) {
            written = WriteOut(out, chunk, error);
            chunk.clear();
        }
        return written;
    });
    if (!read) {
        if (error)
            *error = store.LastError();
        return false;
    }
    return written && WriteOut(out, chunk, error);
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

bool WriteMinutesCsv(HistoryStore& store, int deviceId, qint64 from, qint64 to, QIODevice& out,
                     QString* error) {
    QByteArray header = "time,device,blocks";
    for (const QuantityInfo& q : kQuantities) {
        if (q.quantity == Quantity::Alarms)
            header += ",alarms_any,alarms_all";
        else
            header += QByteArray(",") + q.key + "_min," + q.key + "_mean," + q.key + "_max";
    }
    QByteArray text = header + kLineEnd;
    const QString device = store.Devices().value(deviceId).Name();
    const bool read = store.ForEachMinute(deviceId, from, to, [&](const MinuteRow& m) {
        text += IsoUtcMs(m.utcMs).toLatin1() + ',' + CsvField(device) + ',' +
                QByteArray::number(m.counts[0] + m.counts[1] + m.counts[2]);
        for (const QuantityInfo& q : kQuantities) {
            const size_t i = size_t(q.quantity);
            if (q.quantity == Quantity::Alarms) {
                text += m.Count(q.quantity) > 0
                            ? ',' + QByteArray::number(m.alarmsAny) + ',' + QByteArray::number(m.alarmsAll)
                            : QByteArray(",,");
                continue;
            }
            if (m.Count(q.quantity) == 0) {
                text += ",,,";
                continue;
            }
            text += ',' + CsvValue(q.quantity, m.min[i]) + ',' + MeanValue(q, m.sum[i], m.Count(q.quantity)) +
                    ',' + CsvValue(q.quantity, m.max[i]);
        }
        text += kLineEnd;
    });
    if (!read) {
        if (error)
            *error = store.LastError();
        return false;
    }
    return WriteOut(out, text, error);
}
