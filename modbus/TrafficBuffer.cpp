#include "TrafficBuffer.h"

#include <algorithm>

TrafficBuffer::TrafficBuffer(qsizetype capacity) : m_capacity(std::max<qsizetype>(capacity, 1)) {}

void TrafficBuffer::Append(const TrafficRecord& record) {
    if (qsizetype(m_records.size()) < m_capacity) {
        m_records.push_back(record);
        return;
    }
    m_records[size_t(m_head)] = record;
    m_head = (m_head + 1) % m_capacity;
    ++m_dropped;
}

void TrafficBuffer::Clear() {
    m_records.clear();
    m_head = 0;
    m_dropped = 0;
}

const TrafficRecord& TrafficBuffer::At(qsizetype i) const {
    return m_records[size_t((m_head + i) % qsizetype(m_records.size()))];
}
