#pragma once
// What the trend window draws, without the window: the history of a device over a span, reduced to at
// most four points per pixel column (the first, the lowest, the highest and the last sample in it), so a
// line drawn through them reaches every extreme at any zoom, and the alarm bits set in each column.

#include "HistoryStore.h"

#include <QList>
#include <QPointF>

#include <vector>

class ColumnReducer {
public:
    struct Cell {
        bool any = false;
        qint64 tFirst = 0, tLast = 0, tLow = 0, tHigh = 0;
        double first = 0, last = 0, low = 0, high = 0;
    };

    ColumnReducer(qint64 from, qint64 to, int columns);
    // The column of time t, or -1 outside the span.
    int Column(qint64 t) const;
    void Add(qint64 t, double v) { AddAt(Column(t), t, v); }
    // Add with the column of t already known (-1: outside, ignored): reducers over the same span and
    // columns share it.
    void AddAt(int column, qint64 t, double v);
    const std::vector<Cell>& Cells() const { return m_cells; }
    // x: milliseconds since 1970 UTC; in time order, repeated points dropped.
    QList<QPointF> Points() const;

private:
    qint64 m_from;
    qint64 m_to;
    std::vector<Cell> m_cells;
    double m_scale; // columns per millisecond
};

struct TrendData {
    qint64 from = 0;
    qint64 to = 0;
    int columns = 0;
    QList<Quantity> quantities;
    std::vector<ColumnReducer> series; // one per quantity, in the same order
    std::vector<quint16> alarms;       // per column: every alarm bit set at some time in it
    // Where blocks at full resolution begin (`to` if none is kept in the span); before it the minute
    // rows' minima and maxima are drawn, each at the start of its minute.
    qint64 blocksFrom = 0;
    bool anyMinuteRows = false;
    // Minutes wholly inside one column whose minute rows stood for their blocks (wide columns only).
    int minutesForBlocks = 0;
};

// Readings further apart than this are a pause of the recording: the line breaks there, and an alarm
// is not taken to have lasted across it.
inline constexpr qint64 kTrendPauseMs = 15000;

// Columns at least this wide take a minute that lies wholly inside one of them from its minute row
// (its minimum and maximum are that minute's lowest and highest block, in the same column) rather than
// from its blocks. The minutes across a column border, the newest minute and any minute without a row
// are read block by block, so each column's extremes are the same as from the blocks alone.
inline constexpr qint64 kTrendMinuteRowsColumnMs = 2 * 60 * 1000;

enum class TrendSource {
    Fastest, // minute rows for the minutes inside wide columns, blocks elsewhere where kept
    Blocks,  // every block where kept, whatever the width of the columns
};

TrendData QueryTrend(HistoryStore& store, int deviceId, qint64 from, qint64 to, int columns,
                     const QList<Quantity>& quantities, TrendSource source = TrendSource::Fastest);
