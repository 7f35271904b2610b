#include "TrafficBuffer.h"

#include <algorithm>

TrafficBuffer::TrafficBuffer(qsizetype capacity, qint64 byteCapacity)
    : m_capacity(std::max<qsizetype>(capacity, 1)), m_byteCapacity(std::max<qint64>(byteCapacity, 0)) {}

void TrafficBuffer::Append(const TrafficRecord& record) {
    const qint64 size = record.bytes.size();
    // A record larger than the whole byte bound is still kept, alone: the newest is never lost.
    while (!m_records.empty() && (Size() >= m_capacity || m_bytes + size > m_byteCapacity)) {
        m_bytes -= m_records.front().bytes.size();
        m_records.pop_front();
        ++m_dropped;
    }
    m_records.push_back(record);
    m_bytes += size;
}

void TrafficBuffer::Clear() {
    m_records.clear();
    m_bytes = 0;
    m_dropped = 0;
}
