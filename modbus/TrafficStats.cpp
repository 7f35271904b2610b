#include "TrafficStats.h"

#include "ModbusFrame.h"

#include <algorithm>

void TrafficStats::Add(const TrafficRecord& record) {
    if (record.source != TrafficSource::PollCycle)
        return;
    ++m_counts[size_t(record.verdict)];
    if (record.function == kReadHoldingRegisters) {
        if (record.direction == TrafficDirection::Tx)
            ++m_polls;
        else if (record.verdict == Verdict::Accepted)
            ++m_acceptedPolls;
    }
    if (IsProblem(record.verdict))
        m_lastProblem = Problem{record.verdict, record.utcMs, record.exceptionCode};
    if (record.direction == TrafficDirection::Tx)
        m_requestUntimed = record.verdict == Verdict::Sent;
    if (record.direction != TrafficDirection::Rx)
        return;
    ++m_deliveries;
    if (!m_requestUntimed || record.requestUs == 0)
        return;
    m_requestUntimed = false;
    // Only the line's silence ends a chunk a known interval after its last byte.
    if (!record.endedBySilence)
        return;
    const qint64 us = std::max<qint64>(record.monotonicUs - record.requestUs, 0);
    if (m_responseCount == 0) {
        m_minUs = m_maxUs = us;
        m_histogram.assign(size_t(kHistogramUs / kResolutionUs) + 1, 0);
    }
    ++m_responseCount;
    m_lastUs = us;
    m_minUs = std::min(m_minUs, us);
    m_maxUs = std::max(m_maxUs, us);
    m_sumUs += us;
    ++m_histogram[size_t(std::min(us, kHistogramUs) / kResolutionUs)];
}

void TrafficStats::Reset() {
    *this = TrafficStats();
}

std::optional<double> TrafficStats::AcceptedShare() const {
    if (m_polls == 0)
        return std::nullopt;
    return double(m_acceptedPolls) / double(m_polls);
}

qint64 TrafficStats::RefusedDeliveries() const {
    return m_deliveries - Count(Verdict::Accepted) - Count(Verdict::Confirmed);
}

TrafficStats::ResponseTimes TrafficStats::Responses(qint64 lessUs) const {
    ResponseTimes r = Responses();
    if (r.count == 0)
        return r;
    for (qint64* us : {&r.lastUs, &r.minUs, &r.meanUs, &r.p95Us, &r.maxUs})
        *us = std::max<qint64>(*us - lessUs, 0);
    return r;
}

TrafficStats::ResponseTimes TrafficStats::Responses() const {
    ResponseTimes r;
    r.count = m_responseCount;
    if (m_responseCount == 0)
        return r;
    r.lastUs = m_lastUs;
    r.minUs = m_minUs;
    r.maxUs = m_maxUs;
    r.meanUs = m_sumUs / m_responseCount;
    // The smallest time that at least 95 % of the responses do not exceed: the upper edge of its bin,
    // never beyond the longest time seen.
    const qint64 rank = (m_responseCount * 95 + 99) / 100;
    qint64 seen = 0;
    const size_t last = size_t(std::min(m_maxUs, kHistogramUs) / kResolutionUs);
    for (size_t bin = size_t(std::min(m_minUs, kHistogramUs) / kResolutionUs); bin <= last; ++bin) {
        seen += m_histogram[bin];
        if (seen >= rank) {
            // The last bin holds every longer time: only the longest is known there.
            r.p95Us = bin + 1 == m_histogram.size() ? m_maxUs
                                                    : std::min(qint64(bin + 1) * kResolutionUs - 1, m_maxUs);
            break;
        }
    }
    return r;
}
