#pragma once
#include "Traffic.h"

#include <vector>

// The newest records of the line, up to a fixed number: when full, each new record pushes out the
// oldest, and the number pushed out is kept so that a view can say how many it no longer has.
class TrafficBuffer {
public:
    static constexpr qsizetype kDefaultCapacity = 100000;

    explicit TrafficBuffer(qsizetype capacity = kDefaultCapacity);

    void Append(const TrafficRecord& record);
    void Clear(); // also forgets the dropped count

    qsizetype Capacity() const { return m_capacity; }
    qsizetype Size() const { return qsizetype(m_records.size()); }
    // Records pushed out since the last Clear.
    qint64 Dropped() const { return m_dropped; }
    // Record i, 0 the oldest held.
    const TrafficRecord& At(qsizetype i) const;

private:
    qsizetype m_capacity;
    std::vector<TrafficRecord> m_records; // grows to the capacity, then is written round
    qsizetype m_head = 0;                 // index of the oldest once full
    qint64 m_dropped = 0;
};
