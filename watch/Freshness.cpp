#include "Freshness.h"

#include "ModbusFrame.h"

bool Freshness::Go(bool live) {
    const bool changed = live != m_live;
    m_live = live;
    return changed;
}

bool Freshness::SetLineOpen(bool open) {
    m_open = open;
    if (!open)
        m_health.Reset();
    return open ? false : Go(false);
}

bool Freshness::SetPolling(bool polling) {
    m_polling = polling;
    if (!polling)
        m_health.Reset();
    return polling ? false : Go(false);
}

bool Freshness::SetAddress(quint8 address) {
    if (address == m_address)
        return false;
    m_address = address;
    m_health.Reset();
    return Go(false);
}

bool Freshness::Take(const TrafficRecord& record) {
    if (record.source != TrafficSource::PollCycle || record.address != m_address)
        return false;
    m_health.Take(record);
    if (record.direction == TrafficDirection::Rx && record.verdict == Verdict::Accepted &&
        record.function == kReadHoldingRegisters) {
        m_lastUtcMs = record.utcMs;
        return Go(m_open && m_polling);
    }
    return m_health.Failing() ? Go(false) : false;
}
