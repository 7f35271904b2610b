#include "TrendData.h"

#include <algorithm>

ColumnReducer::ColumnReducer(qint64 from, qint64 to, int columns)
    : m_from(from), m_to(std::max(to, from + 1)), m_cells(size_t(std::max(columns, 1))),
      m_scale(double(m_cells.size()) / double(m_to - m_from)) {}

int ColumnReducer::Column(qint64 t) const {
    if (t < m_from || t >= m_to)
        return -1;
    // A multiplication, not a division, per sample: this runs for every value drawn.
    return std::min(int(double(t - m_from) * m_scale), int(m_cells.size()) - 1);
}

void ColumnReducer::Add(qint64 t, double v) {
    const int c = Column(t);
    if (c < 0)
        return;
    Cell& cell = m_cells[size_t(c)];
    if (!cell.any) {
        cell = Cell{true, t, t, t, t, v, v, v, v};
        return;
    }
    if (t < cell.tFirst) {
        cell.tFirst = t;
        cell.first = v;
    }
    if (t >= cell.tLast) {
        cell.tLast = t;
        cell.last = v;
    }
    if (v < cell.low) {
        cell.low = v;
        cell.tLow = t;
    }
    if (v > cell.high) {
        cell.high = v;
        cell.tHigh = t;
    }
}

QList<QPointF> ColumnReducer::Points() const {
    QList<QPointF> points;
    points.reserve(qsizetype(m_cells.size() * 4));
    for (const Cell& cell : m_cells) {
        if (!cell.any)
            continue;
        std::array<std::pair<qint64, double>, 4> p = {{{cell.tFirst, cell.first},
                                                       {cell.tLow, cell.low},
                                                       {cell.tHigh, cell.high},
                                                       {cell.tLast, cell.last}}};
        std::stable_sort(p.begin(), p.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (size_t i = 0; i < p.size(); ++i) {
            if (i > 0 && p[i] == p[i - 1])
                continue;
            points.append(QPointF(double(p[i].first), p[i].second));
        }
    }
    return points;
}

TrendData QueryTrend(HistoryStore& store, int deviceId, qint64 from, qint64 to, int columns,
                     const QList<Quantity>& quantities) {
    TrendData data;
    data.from = from;
    data.to = to;
    data.columns = std::max(columns, 1);
    data.quantities = quantities;
    for (int i = 0; i < quantities.size(); ++i)
        data.series.emplace_back(from, to, data.columns);
    data.alarms.assign(size_t(data.columns), 0);
    const ColumnReducer grid(from, to, data.columns);

    const std::optional<qint64> oldest = store.OldestBlock(deviceId);
    qint64 blocksFrom = to;
    if (oldest) {
        const qint64 start = std::max(from, *oldest);
        if (to - start <= kTrendFullResolutionSpanMs)
            blocksFrom = start;
    }
    data.blocksFrom = blocksFrom;

    // Minute rows only for the minutes wholly before the first block drawn, which they would repeat.
    const qint64 minutesTo = blocksFrom == to ? to : blocksFrom - blocksFrom % HistoryStore::kMinuteMs;
    if (from < minutesTo) {
        store.ForEachMinute(deviceId, from, minutesTo, [&](const MinuteRow& m) {
            data.anyMinuteRows = true;
            for (int i = 0; i < quantities.size(); ++i) {
                const Quantity q = quantities[i];
                if (m.Count(q) == 0)
                    continue;
                data.series[size_t(i)].Add(m.utcMs, ScaledValue(q, m.min[size_t(q)]));
                data.series[size_t(i)].Add(m.utcMs, ScaledValue(q, m.max[size_t(q)]));
            }
            const int c = grid.Column(m.utcMs);
            if (c >= 0 && m.Count(Quantity::Alarms) > 0)
                data.alarms[size_t(c)] |= quint16(m.alarmsAny & kAlarmMask);
        });
    }
    if (blocksFrom < to) {
        for (quint8 block : kBlockStarts) {
            QList<int> wanted;
            for (int i = 0; i < quantities.size(); ++i)
                if (Info(quantities[i]).block == block)
                    wanted << i;
            const bool alarms = block == Info(Quantity::Alarms).block;
            if (wanted.isEmpty() && !alarms)
                continue;
            // The alarm bits last read hold until the next reading of them, across the columns between,
            // unless the readings are further apart than a pause of the recording.
            qint64 heldSince = 0;
            quint16 held = 0;
            int heldColumn = -1;
            store.ForEachBlockOf(deviceId, block, blocksFrom, to, [&](const StoredBlock& b) {
                for (int i : wanted) {
                    const Quantity q = quantities[i];
                    data.series[size_t(i)].Add(b.utcMs, ScaledValue(q, b.raw[size_t(q)]));
                }
                if (!alarms)
                    return;
                const int c = grid.Column(b.utcMs);
                if (c < 0)
                    return;
                if (held != 0 && heldColumn >= 0 && b.utcMs - heldSince <= kTrendPauseMs)
                    for (int k = heldColumn + 1; k < c; ++k)
                        data.alarms[size_t(k)] |= held;
                held = quint16(b.raw[size_t(Quantity::Alarms)] & kAlarmMask);
                heldSince = b.utcMs;
                heldColumn = c;
                data.alarms[size_t(c)] |= held;
            });
        }
    }
    return data;
}
