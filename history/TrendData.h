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
    void Add(qint64 t, double v);
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
    // Where blocks at full resolution begin; before it (or throughout, for a span too long to read
    // block by block) the minute rows' minima and maxima are drawn.
    qint64 blocksFrom = 0;
    bool anyMinuteRows = false;
};

// Readings further apart than this are a pause of the recording: the line breaks there, and an alarm
// is not taken to have lasted across it.
inline constexpr qint64 kTrendPauseMs = 15000;

// Spans up to this long are read block by block where blocks are kept; longer ones from minute rows.
inline constexpr qint64 kTrendFullResolutionSpanMs = 8LL * 24 * 3600 * 1000;

TrendData QueryTrend(HistoryStore& store, int deviceId, qint64 from, qint64 to, int columns,
                     const QList<Quantity>& quantities);
