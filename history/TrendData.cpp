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

void ColumnReducer::AddAt(int c, qint64 t, double v) {
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
                     const QList<Quantity>& quantities, TrendSource source) {
    constexpr qint64 kMinuteMs = HistoryStore::kMinuteMs;
    TrendData data;
    data.from = from;
    data.to = to;
    data.columns = std::max(columns, 1);
    data.quantities = quantities;
    for (int i = 0; i < quantities.size(); ++i)
        data.series.emplace_back(from, to, data.columns);
    data.alarms.assign(size_t(data.columns), 0);
    const ColumnReducer grid(from, to, data.columns);
    // The reads below see one state of the file, even while the panel records.
    const bool snapshot = store.BeginRead();

    const std::optional<qint64> oldest = store.OldestBlock(deviceId);
    const qint64 blocksFrom = oldest ? std::clamp(*oldest, from, to) : to;
    data.blocksFrom = blocksFrom;
    // Minute rows alone for the minutes wholly before the first block drawn, which they would repeat.
    const qint64 minutesTo = blocksFrom == to ? to : blocksFrom - blocksFrom % kMinuteMs;

    // In wide columns, whole minutes inside a column come from their minute rows, but never the newest
    // row: the recording may still add to its minute. The alarm register drawn as a line has no
    // extremes in the rows (only the bits set in the minute), so it is read block by block.
    const bool bitsDrawn = std::any_of(quantities.begin(), quantities.end(),
                                       [](Quantity q) { return Info(q).kind == QuantityKind::Bits; });
    const bool wide = source == TrendSource::Fastest && !bitsDrawn &&
                      double(to - from) / data.columns >= double(kTrendMinuteRowsColumnMs);
    qint64 usableTo = minutesTo;
    if (wide && blocksFrom < to)
        usableTo = std::max(minutesTo, std::min(to, store.NewestMinute(deviceId).value_or(minutesTo)));
    QList<Quantity> minuteQuantities = quantities;
    minuteQuantities << Quantity::Alarms;
    std::vector<qint64> minutesUsed; // starts of the minutes drawn from rows after blocksFrom, in order
    const auto addMinute = [&](const MinuteRow& m) {
        const int c = grid.Column(m.utcMs);
        if (c < 0)
            return;
        for (int i = 0; i < quantities.size(); ++i) {
            const Quantity q = quantities[i];
            if (m.Count(q) == 0 || Info(q).kind == QuantityKind::Bits)
                continue;
            data.series[size_t(i)].AddAt(c, m.utcMs, ScaledValue(q, m.min[size_t(q)]));
            data.series[size_t(i)].AddAt(c, m.utcMs, ScaledValue(q, m.max[size_t(q)]));
        }
        if (m.Count(Quantity::Alarms) > 0)
            data.alarms[size_t(c)] |= quint16(m.alarmsAny & kAlarmMask);
    };
    if (from < usableTo) {
        store.ForEachMinuteOf(deviceId, from, usableTo, minuteQuantities, [&](const MinuteRow& m) {
            if (m.utcMs < minutesTo) {
                data.anyMinuteRows = true;
                addMinute(m);
                return;
            }
            // Every block of this minute would fall into this one column: its lowest and highest are
            // the row's minimum and maximum.
            const qint64 end = m.utcMs + kMinuteMs;
            if (m.utcMs < blocksFrom || end > to || grid.Column(m.utcMs) != grid.Column(end - 1))
                return;
            addMinute(m);
            minutesUsed.push_back(m.utcMs);
        });
    }
    data.minutesForBlocks = int(minutesUsed.size());

    // The rest of the span from blocksFrom on is read block by block.
    std::vector<std::pair<qint64, qint64>> spans;
    qint64 at = blocksFrom;
    for (qint64 m : minutesUsed) {
        if (m > at)
            spans.emplace_back(at, m);
        at = m + kMinuteMs;
    }
    if (at < to)
        spans.emplace_back(at, to);

    for (quint8 block : kBlockStarts) {
        if (spans.empty())
            break;
        QList<int> wanted;
        QList<Quantity> read;
        for (int i = 0; i < quantities.size(); ++i) {
            if (Info(quantities[i]).block == block) {
                wanted << i;
                read << quantities[i];
            }
        }
        const bool alarms = block == Info(Quantity::Alarms).block;
        if (alarms)
            read << Quantity::Alarms;
        if (read.isEmpty())
            continue;
        // The alarm bits last read hold until the next reading of them, across the columns between,
        // unless the readings are further apart than a pause of the recording.
        qint64 heldSince = 0;
        quint16 held = 0;
        int heldColumn = -1;
        const auto sink = [&](const StoredBlock& b) {
            const int c = grid.Column(b.utcMs);
            if (c < 0)
                return;
            for (int i : wanted) {
                const Quantity q = quantities[i];
                data.series[size_t(i)].AddAt(c, b.utcMs, ScaledValue(q, b.raw[size_t(q)]));
            }
            if (!alarms)
                return;
            if (held != 0 && heldColumn >= 0 && b.utcMs - heldSince <= kTrendPauseMs)
                for (int k = heldColumn + 1; k < c; ++k)
                    data.alarms[size_t(k)] |= held;
            held = quint16(b.raw[size_t(Quantity::Alarms)] & kAlarmMask);
            heldSince = b.utcMs;
            heldColumn = c;
            data.alarms[size_t(c)] |= held;
        };
        store.ForEachBlockOf(deviceId, block, spans, read, sink);
    }
    if (snapshot)
        store.EndRead();
    return data;
}
