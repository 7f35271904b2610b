#include "BusScan.h"

#include "PollCycle.h"

#include <algorithm>
#include <utility>

QList<BusScan::Probe> BusScan::AddressRange(quint8 first, quint8 last, quint32 baudRate,
                                            const QString& format) {
    QList<Probe> probes;
    for (int address = first; address <= last; ++address)
        probes.append({quint8(address), baudRate, format});
    return probes;
}

QList<BusScan::Probe> BusScan::LineSweep(quint8 address, const QList<quint32>& baudRates,
                                         const QStringList& formats) {
    QList<Probe> probes;
    for (const quint32 baudRate : baudRates)
        for (const QString& format : formats)
            probes.append({address, baudRate, format});
    return probes;
}

BusScan::BusScan(QList<Probe> probes) : m_probes(std::move(probes)) {
    if (m_probes.isEmpty())
        m_end = End::Completed;
}

std::optional<BusScan::Probe> BusScan::Next() const {
    if (m_end != End::None || m_awaiting || m_next >= m_probes.size())
        return std::nullopt;
    return m_probes[m_next];
}

QByteArray BusScan::Request() const {
    const std::optional<Probe> probe = Next();
    if (!probe)
        return {};
    return WireBytes(BuildReadRequest(probe->address, 0, PollCycle::kBlockRegisters));
}

TrafficRecord BusScan::Record(TrafficDirection direction, Verdict verdict, const Awaited* about) {
    TrafficRecord record;
    StampNow(record);
    record.source = TrafficSource::BusScan;
    record.direction = direction;
    record.verdict = verdict;
    if (about) {
        record.address = about->probe.address;
        record.function = kReadHoldingRegisters;
        record.firstRegister = 0;
        record.countOrValue = PollCycle::kBlockRegisters;
        record.requestUs = about->sentUs;
    }
    return record;
}

TrafficRecord BusScan::Sent(bool taken) {
    Q_ASSERT(Next());
    const Awaited sent{m_probes.value(m_next), TrafficMonotonicUs(), false, std::nullopt};
    TrafficRecord record = Record(TrafficDirection::Tx, taken ? Verdict::Sent : Verdict::Refused, &sent);
    record.monotonicUs = sent.sentUs;
    record.bytes = Request();
    ++m_next;
    if (taken)
        m_awaiting = sent;
    else
        m_end = End::Refused;
    return record;
}

TrafficRecord BusScan::Delivered(const char* data, qsizetype length, bool endedBySilence) {
    QByteArray bytes(data, length);
    if (!m_awaiting) {
        TrafficRecord record = Record(TrafficDirection::Rx, Verdict::Unexpected, nullptr);
        record.bytes = std::move(bytes);
        record.endedBySilence = endedBySilence;
        return record;
    }
    // Judged as the poll cycle judges a delivery: on what its receive buffer keeps of it.
    const ReplyCheck check = CheckReadReply(reinterpret_cast<const quint8*>(bytes.constData()),
                                            PollCycle::KeptLength(length), m_awaiting->probe.address);
    TrafficRecord record =
        Record(TrafficDirection::Rx, PollCycle::DeliveryVerdict(check.verdict, length), &*m_awaiting);
    record.bytes = std::move(bytes);
    record.exceptionCode = check.exceptionCode;
    record.endedBySilence = endedBySilence;
    m_awaiting->anythingCame = true;
    const Answer answer{m_awaiting->probe, record.verdict, record.exceptionCode,
                        record.monotonicUs - m_awaiting->sentUs};
    if (record.verdict == Verdict::Accepted || record.verdict == Verdict::Exception) {
        m_answers.append(answer);
        Advance();
    } else if (record.verdict != Verdict::Address && !m_awaiting->garbled) {
        // Another slave's good frame says nothing of this address; bytes that make no frame may.
        m_awaiting->garbled = answer;
    }
    return record;
}

std::optional<TrafficRecord> BusScan::Expired() {
    if (!m_awaiting)
        return std::nullopt;
    std::optional<TrafficRecord> record;
    if (!m_awaiting->anythingCame)
        record = Record(TrafficDirection::Missing, Verdict::NoReply, &*m_awaiting);
    if (m_awaiting->garbled)
        m_answers.append(*m_awaiting->garbled);
    Advance();
    return record;
}

void BusScan::Advance() {
    m_awaiting.reset();
    ++m_done;
    if (m_end == End::None && m_next >= m_probes.size())
        m_end = End::Completed;
}

void BusScan::Cancel() {
    if (m_end == End::None)
        m_end = End::Cancelled;
}

void BusScan::Abandon() {
    m_awaiting.reset();
    if (m_end == End::None)
        m_end = End::LineLost;
}
