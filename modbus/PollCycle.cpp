#include "PollCycle.h"

#include <algorithm>
#include <cstring>
#include <utility>

PollCycle::PollCycle(ModbusLink link) : m_link(std::move(link)) {}

bool PollCycle::Send(const ModbusRequest& request, int pauseMs) {
    const QByteArray bytes = WireBytes(request);
    const bool taken = m_link.sendData && m_link.sendData(bytes.constData(), quint16(bytes.size()));
    // The pause follows a refused send too: it spaces the requests on the line, not the replies.
    if (m_link.sleepMs)
        m_link.sleepMs(pauseMs);
    return taken;
}

CommLamp PollCycle::Tick(bool commTicked, quint8 address) {
    if (m_blockAnswered == 1) {
        if (++m_pollPhase > 2)
            m_pollPhase = 0;
        m_blockAnswered = 0;
    }
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
    m_readAddress = address;
    m_readOutstanding = true;
    return CommLamp::Unchanged;
}

void PollCycle::SetWriteCommand(quint8 writeRegister, quint16 writeValue) {
    m_writePending = 1;
    m_writeRegister = writeRegister;
    m_writeValue = writeValue;
    // Until this command is on the wire, no reply can be its echo.
    m_writeRequest.reset();
}

CommLamp PollCycle::SendWriteRequest(quint8 address) {
    const ModbusRequest request = BuildWriteRequest(address, m_writeRegister, m_writeValue);
    if (!Send(request, kWritePauseMs)) {
        m_writeRequest.reset();
        return CommLamp::Unlit;
    }
    m_writeRequest = request;
    return CommLamp::Unchanged;
}

void PollCycle::WriteTimeoutStep() {
    if (m_writePending == 1) {
        if (++m_writeTimeoutCounter > 3) {
            m_writePending = 0;
            m_writeTimeoutCounter = 0;
        }
    } else {
        m_writeTimeoutCounter = 0;
    }
}

CommLamp PollCycle::Receive(const char* buffer, quint16 length) {
    // A chunk may hold up to 2048 bytes; only the buffer's worth is kept, the rest is never looked at.
    const qsizetype kept = buffer ? std::min<qsizetype>(length, kReceiveBufferSize) : 0;
    if (kept > 0)
        std::memcpy(m_receiveBuffer.data(), buffer, size_t(kept));

    CommLamp lamp;
    if (m_writePending == 1) {
        // The first delivery after a command is its reply, whatever it holds; only the lamp tells
        // whether the device repeated the request.
        m_writePending = 0;
        const bool echoed = m_writeRequest && IsWriteEcho(m_receiveBuffer.data(), kept, *m_writeRequest);
        m_writeRequest.reset();
        lamp = echoed ? CommLamp::Lit : CommLamp::Unlit;
    } else if (m_readAddress && IsReadReply(m_receiveBuffer.data(), kept, *m_readAddress)) {
        StoreBlock();
        m_blockAnswered = 1;
        m_readOutstanding = false;
        lamp = CommLamp::Lit;
    } else {
        lamp = CommLamp::Unlit;
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
        m_image[size_t(block.firstIndex + i)] =
            m_receiveBuffer[size_t(3 + 2 * i)] << 8 | m_receiveBuffer[size_t(4 + 2 * i)];
}

bool PollCycle::IsKeptRegister(int registerNumber) {
    return (registerNumber >= 0 && registerNumber <= 15) || (registerNumber >= 20 && registerNumber <= 24);
}

qint32 PollCycle::Register(int registerNumber) const {
    if (!IsKeptRegister(registerNumber))
        return 0;
    return m_image[size_t(registerNumber <= 15 ? registerNumber : registerNumber - 4)];
}
