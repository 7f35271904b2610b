#include "PollHealth.h"

#include "ModbusFrame.h"

bool PollHealth::Take(const TrafficRecord& record) {
    if (record.source != TrafficSource::PollCycle || record.function != kReadHoldingRegisters)
        return false;
    const bool before = Failing();
    switch (record.direction) {
    case TrafficDirection::Tx:
        if (record.verdict == Verdict::Refused)
            ++m_failed;
        break;
    case TrafficDirection::Missing:
        ++m_failed;
        break;
    case TrafficDirection::Rx:
        if (record.verdict == Verdict::Accepted) {
            m_failed = 0;
        } else if (record.verdict != Verdict::Unexpected && record.requestUs != m_countedRequestUs) {
            m_countedRequestUs = record.requestUs;
            ++m_failed;
        }
        break;
    }
    return Failing() != before;
}
