#include "PollCycle.h"

#include <algorithm>
#include <cstring>
#include <utility>

PollCycle::PollCycle(ModbusLink link) : m_link(std::move(link)) {}

void PollCycle::Report(TrafficDirection direction, Verdict verdict, QByteArray bytes,
                       const SentRequest* awaited, quint8 exceptionCode, bool endedBySilence) const {
    TrafficRecord record;
    StampNow(record);
    // A request's record carries the moment it was handed to the port, which its answer refers to.
    if (direction == TrafficDirection::Tx && awaited)
        record.monotonicUs = awaited->sentUs;
    record.direction = direction;
    record.verdict = verdict;
    record.bytes = std::move(bytes);
    record.exceptionCode = exceptionCode;
    record.endedBySilence = endedBySilence;
    if (awaited) {
        const ModbusRequest& r = awaited->request;
        record.address = r[0];
        record.function = r[1];
        record.firstRegister = quint16(r[2] << 8 | r[3]);
        record.countOrValue = quint16(r[4] << 8 | r[5]);
        record.requestUs = awaited->sentUs;
    }
    m_link.report(record);
}

void PollCycle::GiveUp(std::optional<SentRequest>& unanswered) {
    if (unanswered && m_link.report)
        Report(TrafficDirection::Missing, Verdict::NoReply, {}, &*unanswered);
    unanswered.reset();
}

std::optional<PollCycle::SentRequest> PollCycle::Send(const ModbusRequest& request, int pauseMs) {
    const QByteArray bytes = WireBytes(request);
    const bool taken = m_link.sendData && m_link.sendData(bytes.constData(), quint16(bytes.size()));
    const SentRequest sent{request, TrafficMonotonicUs()};
    if (taken) {
        // A request on the line is the one an answer belongs to; a write that nothing came back for is
        // given up when the next one goes out.
        if (sent.IsWrite())
            GiveUp(m_unansweredWrite);
        m_awaited = sent;
        (sent.IsWrite() ? m_unansweredWrite : m_unansweredRead) = sent;
        m_lastSentUs = sent.sentUs;
        m_deliveryOwed = true;
    }
    if (m_link.report)
        Report(TrafficDirection::Tx, taken ? Verdict::Sent : Verdict::Refused, bytes, &sent);
    // The pause follows a refused send too: it spaces the requests on the line, not the replies.
    if (m_link.sleepMs)
        m_link.sleepMs(pauseMs);
    if (!taken)
        return std::nullopt;
    return sent;
}

CommLamp PollCycle::Tick(bool commTicked, quint8 address) {
    if (m_blockAnswered == 1) {
        if (++m_pollPhase > 2)
            m_pollPhase = 0;
        m_blockAnswered = 0;
    }
    // The tick is a read request's time-out: an answer later than this is not awaited any more.
    GiveUp(m_unansweredRead);
    if (m_awaited && !m_awaited->IsWrite())
        m_awaited.reset();
    if (!commTicked || m_writePending != 0)
        return CommLamp::Unlit;
    // A request sent at an earlier tick and still unanswered means the device is silent.
    const bool unanswered = m_readOutstanding;
    const CommLamp sent = SendReadRequest(address, quint8(m_pollPhase * kBlockRegisters), kBlockRegisters);
    return unanswered ? CommLamp::Unlit : sent;
}

CommLamp PollCycle::SendReadRequest(quint8 address, quint8 startRegister, quint8 count) {
    if (!Send(BuildReadRequest(address, startRegister, count), kReadPauseMs)) {
        m_readOutstanding = false;
        return CommLamp::Unlit;
    }
    m_readOutstanding = true;
    return CommLamp::Unchanged;
}

void PollCycle::SetWriteCommand(quint8 writeRegister, quint16 writeValue) {
    m_writePending = 1;
    m_writeRegister = writeRegister;
    m_writeValue = writeValue;
    // Until this command is on the wire, no reply can be its echo.
    m_writeSent = false;
    m_writeWaiting = false;
}

CommLamp PollCycle::SendWriteRequest(quint8 address) {
    m_writeAddress = address;
    m_writeWaiting = AnswerDue();
    if (m_writeWaiting)
        return CommLamp::Unchanged;
    return SendWrite();
}

CommLamp PollCycle::SendWaitingWrite() {
    if (!m_writeWaiting || AnswerDue())
        return CommLamp::Unchanged;
    m_writeWaiting = false;
    return SendWrite();
}

CommLamp PollCycle::SendWrite() {
    m_writeSent =
        Send(BuildWriteRequest(m_writeAddress, m_writeRegister, m_writeValue), kWritePauseMs).has_value();
    return m_writeSent ? CommLamp::Unchanged : CommLamp::Unlit;
}

bool PollCycle::AnswerDue() const {
    if (!m_deliveryOwed || !m_link.silenceMs)
        return false;
    return AnswerDueForUs() > 0 || (m_link.receiving && m_link.receiving());
}

qint64 PollCycle::AnswerDueForUs() const {
    if (!m_deliveryOwed || !m_link.silenceMs)
        return 0;
    const qint64 silenceUs = qint64(std::max(m_link.silenceMs(), 0)) * 1000;
    return std::max<qint64>(m_lastSentUs + silenceUs - TrafficMonotonicUs(), 0);
}

void PollCycle::WriteTimeoutStep() {
    if (m_writePending == 1) {
        if (++m_writeTimeoutCounter > 3) {
            m_writePending = 0;
            m_writeTimeoutCounter = 0;
            m_writeWaiting = false;
            GiveUp(m_unansweredWrite);
            if (m_awaited && m_awaited->IsWrite())
                m_awaited.reset();
        }
    } else {
        m_writeTimeoutCounter = 0;
    }
}

CommLamp PollCycle::Receive(const char* buffer, quint16 length, bool endedBySilence) {
    // A chunk may hold up to 2048 bytes; only the buffer's worth is kept, the rest is never looked at.
    const qsizetype kept = buffer ? KeptLength(length) : 0;
    if (kept > 0)
        std::memcpy(m_receiveBuffer.data(), buffer, size_t(kept));

    // Whatever it holds, the delivery came back for every request still unanswered.
    m_deliveryOwed = false;
    m_unansweredRead.reset();
    m_unansweredWrite.reset();

    ReplyCheck check{Verdict::Unexpected};
    std::optional<SentRequest> awaited;
    CommLamp lamp = CommLamp::Unlit;
    // The first delivery after a command ends it, whatever it holds, unless its request still waits
    // for the line; only the lamp tells whether the device repeated the request.
    const bool endsCommand = m_writePending == 1 && !m_writeWaiting;
    if (endsCommand && !m_writeSent) {
        // A command that never reached the wire has no answer, and takes the delivery all the same.
        m_awaited.reset();
    } else if (m_awaited && m_awaited->IsWrite()) {
        awaited = std::exchange(m_awaited, std::nullopt);
        check = CheckWriteReply(m_receiveBuffer.data(), kept, awaited->request);
        if (check.verdict == Verdict::Confirmed)
            lamp = CommLamp::Lit;
    } else if (m_awaited) {
        awaited = m_awaited;
        check = CheckReadReply(m_receiveBuffer.data(), kept, awaited->request[0]);
        if (check.verdict == Verdict::Accepted) {
            StoreBlock();
            m_blockAnswered = 1;
            m_readOutstanding = false;
            lamp = CommLamp::Lit;
        }
        // A whole answer of the device ends the wait; anything else may come before the answer.
        if (check.verdict == Verdict::Accepted || check.verdict == Verdict::Exception)
            m_awaited.reset();
    }
    if (endsCommand)
        m_writePending = 0;
    if (m_link.report) {
        const Verdict verdict = DeliveryVerdict(check.verdict, buffer ? length : 0);
        Report(TrafficDirection::Rx, verdict, buffer ? QByteArray(buffer, length) : QByteArray(),
               awaited ? &*awaited : nullptr, check.exceptionCode, endedBySilence);
    }
    m_receiveBuffer.fill(0);
    return lamp;
}

void PollCycle::StoreBlock() {
    // Registers 16 to 19 and 25 to 29 are read with their blocks but not kept.
    static constexpr struct {
        int firstIndex;
        int count;
    } kBlocks[3] = {{0, 10}, {10, 6}, {16, 5}};
    const auto& block = kBlocks[m_pollPhase];
    for (int i = 0; i < block.count; ++i)
        m_image[size_t(block.firstIndex + i)] = ReadReplyRegister(m_receiveBuffer.data(), i);
}

bool PollCycle::IsKeptRegister(int registerNumber) {
    return (registerNumber >= 0 && registerNumber <= 15) || (registerNumber >= 20 && registerNumber <= 24);
}

qint32 PollCycle::Register(int registerNumber) const {
    if (!IsKeptRegister(registerNumber))
        return 0;
    return m_image[size_t(registerNumber <= 15 ? registerNumber : registerNumber - 4)];
}
