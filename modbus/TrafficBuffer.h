#pragma once
#include "Traffic.h"

#include <deque>

// The newest records of the line, up to a number of records and a number of bytes held in them: a new
// record pushes out the oldest ones until both bounds hold, so that a line that babbles in long chunks
// cannot take more memory than a quiet one. The number pushed out is kept so that a view can say how
// many it no longer has.
class TrafficBuffer {
public:
    static constexpr qsizetype kDefaultCapacity = 100000;
    static constexpr qint64 kDefaultByteCapacity = 32 * 1024 * 1024;

    explicit TrafficBuffer(qsizetype capacity = kDefaultCapacity, qint64 byteCapacity = kDefaultByteCapacity);

    void Append(const TrafficRecord& record);
    void Clear(); // also forgets the dropped count

    qsizetype Capacity() const { return m_capacity; }
    qint64 ByteCapacity() const { return m_byteCapacity; }
    qsizetype Size() const { return qsizetype(m_records.size()); }
    // The bytes of the records held (TrafficRecord::bytes).
    qint64 Bytes() const { return m_bytes; }
    // Records pushed out since the last Clear.
    qint64 Dropped() const { return m_dropped; }
    // Record i, 0 the oldest held.
    const TrafficRecord& At(qsizetype i) const { return m_records[size_t(i)]; }

private:
    qsizetype m_capacity;
    qint64 m_byteCapacity;
    std::deque<TrafficRecord> m_records;
    qint64 m_bytes = 0;
    qint64 m_dropped = 0;
};
