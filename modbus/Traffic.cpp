#include "Traffic.h"

#include <QDateTime>

#include <time.h>

qint64 TrafficMonotonicUs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

qint64 TrafficUtcMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

void StampNow(TrafficRecord& record) {
    record.monotonicUs = TrafficMonotonicUs();
    record.utcMs = TrafficUtcMs();
}

QString IsoUtcMs(qint64 utcMs) {
    return QDateTime::fromMSecsSinceEpoch(utcMs, Qt::UTC).toString(Qt::ISODateWithMs);
}

QString HexPairs(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

const char* DirectionKeyword(TrafficDirection direction) {
    switch (direction) {
    case TrafficDirection::Tx:
        return "tx";
    case TrafficDirection::Rx:
        return "rx";
    case TrafficDirection::Missing:
        break;
    }
    return "--";
}

QString TrafficLogLine(const TrafficRecord& record) {
    QString line = IsoUtcMs(record.utcMs);
    line += QLatin1Char(' ');
    line += QLatin1String(DirectionKeyword(record.direction));
    line += QLatin1Char(' ');
    line += QLatin1String(VerdictKeyword(record.verdict));
    if (record.direction != TrafficDirection::Missing) {
        line += QLatin1Char(' ');
        line += HexPairs(record.bytes);
    }
    return line;
}
