#pragma once
#include "Traffic.h"

#include <array>
#include <optional>
#include <vector>

// Counts and response times over the poll cycle's traffic records (polls and commands) since the start
// or the last reset. A bus scan's records are the scan's own: they are shown with the traffic but
// counted by the scan, not here, so they neither spoil the polling figures nor stand as its last problem.
//
// A response time runs from the moment a request was handed to the port to the delivery of the first
// chunk that answers it, whatever its verdict, when that chunk ended by the line's silence: the serial
// component then delivers it once the line has been silent for its read interval (100 ms on the panel),
// so the time holds that interval, and Responses(interval) gives the device's own part. A first chunk
// that ended otherwise (cut at the port's receive size, handed on as the port failed) leaves its request
// untimed.
class TrafficStats {
public:
    struct ResponseTimes {
        qint64 count = 0;
        qint64 lastUs = 0;
        qint64 minUs = 0;
        qint64 meanUs = 0;
        qint64 p95Us = 0; // to the histogram's resolution, kResolutionUs
        qint64 maxUs = 0;
    };
    // Resolution of the 95th percentile; longer times than kHistogramUs fall in one last bin.
    static constexpr qint64 kResolutionUs = 10;
    static constexpr qint64 kHistogramUs = 4000000;

    // The last refusal or missing answer.
    struct Problem {
        Verdict verdict = Verdict::NoReply;
        qint64 utcMs = 0;
        quint8 exceptionCode = 0;
    };

    void Add(const TrafficRecord& record);
    void Reset();

    qint64 Count(Verdict verdict) const { return m_counts[size_t(verdict)]; }
    // Requests handed to the port, taken or not.
    qint64 Requests() const { return Count(Verdict::Sent) + Count(Verdict::Refused); }
    // The poll cycle's read requests handed to the port, taken or not.
    qint64 Polls() const { return m_polls; }
    // The poll cycle's accepted read replies as a share of Polls(), 0 to 1; empty before the first poll.
    std::optional<double> AcceptedShare() const;
    // Deliveries, and those that were refused (any verdict but accepted and confirmed).
    qint64 Deliveries() const { return m_deliveries; }
    qint64 RefusedDeliveries() const;
    ResponseTimes Responses() const;
    // Each figure less `lessUs` (the silence interval), never below zero: bytes that began before the
    // request can end a chunk sooner than the interval after it.
    ResponseTimes Responses(qint64 lessUs) const;
    std::optional<Problem> LastProblem() const { return m_lastProblem; }

private:
    std::array<qint64, kVerdictCount> m_counts{};
    qint64 m_polls = 0;
    qint64 m_acceptedPolls = 0;
    qint64 m_deliveries = 0;
    std::optional<Problem> m_lastProblem;
    // Whether the last request sent awaits its first chunk; later chunks for it are not timed again.
    bool m_requestUntimed = false;
    qint64 m_responseCount = 0;
    qint64 m_lastUs = 0;
    qint64 m_minUs = 0;
    qint64 m_maxUs = 0;
    qint64 m_sumUs = 0;
    std::vector<quint32> m_histogram; // allocated at the first response
};
