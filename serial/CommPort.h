#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <chrono>
#include <mutex>

// The platform calls of the serial port, behind one small interface so that the component and its
// threads can run on a real terminal (TPosixCommPort) or on a scripted line in tests (TScriptedCommPort).
// Settings calls come from the GUI thread, waits and reads from the receive thread and writes from the
// transmit thread, all at the same time: every implementation must allow that.

// Discard flags of Purge.
constexpr quint32 PURGE_TXABORT = 0x0001;
constexpr quint32 PURGE_RXABORT = 0x0002;
constexpr quint32 PURGE_TXCLEAR = 0x0004;
constexpr quint32 PURGE_RXCLEAR = 0x0008;

// Line-error flags reported by TakeEvents and passed on unchanged in OnReceiveError.
constexpr quint32 CE_RXOVER = 0x0001;
constexpr quint32 CE_OVERRUN = 0x0002;
constexpr quint32 CE_RXPARITY = 0x0004;
constexpr quint32 CE_FRAME = 0x0008;
constexpr quint32 CE_BREAK = 0x0010;

// Modem event bits reported by TakeEvents and passed on in OnModemStateChange.
constexpr quint32 MODEM_EVENT_RING = 4;
constexpr quint32 MODEM_EVENT_CARRIER = 8;

// Flag word of the line record, as the component builds it.
constexpr quint32 DCB_BINARY = 0x0001;
constexpr quint32 DCB_PARITY = 0x0002;
constexpr quint32 DCB_OUTX_CTS_FLOW = 0x0004;
constexpr quint32 DCB_OUTX_DSR_FLOW = 0x0008;
constexpr quint32 DCB_DTR_CONTROL_ENABLE = 0x0010;
constexpr quint32 DCB_DTR_CONTROL_HANDSHAKE = 0x0020;
constexpr quint32 DCB_DTR_CONTROL_MASK = 0x0030;
constexpr quint32 DCB_DSR_SENSITIVITY = 0x0040;
constexpr quint32 DCB_TX_CONTINUE_ON_XOFF = 0x0080;
constexpr quint32 DCB_OUTX = 0x0100;
constexpr quint32 DCB_INX = 0x0200;
constexpr quint32 DCB_ERROR_CHAR = 0x0400;
constexpr quint32 DCB_NULL = 0x0800;
constexpr quint32 DCB_RTS_CONTROL_ENABLE = 0x1000;
constexpr quint32 DCB_RTS_CONTROL_HANDSHAKE = 0x2000;
constexpr quint32 DCB_RTS_CONTROL_TOGGLE = 0x3000;
constexpr quint32 DCB_RTS_CONTROL_MASK = 0x3000;

// The whole line record, written at once.
struct TCommState {
    quint32 BaudRate = 0;
    quint32 Flags = DCB_BINARY;
    quint16 XonLim = 0;
    quint16 XoffLim = 0;
    quint8 ByteSize = 8; // data bits, 5 to 8
    quint8 Parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    quint8 StopBits = 0; // 0 one, 1 one and a half, 2 two
    char XonChar = 17;
    char XoffChar = 19;
    char ErrorChar = 0;
    bool operator==(const TCommState&) const = default;
};

struct TCommTimeouts {
    quint32 ReadIntervalTimeout = 0;
    quint32 ReadTotalTimeoutMultiplier = 0;
    quint32 ReadTotalTimeoutConstant = 0;
    quint32 WriteTotalTimeoutMultiplier = 0;
    quint32 WriteTotalTimeoutConstant = 0;
    bool operator==(const TCommTimeouts&) const = default;
};

// Why the receive thread handed a chunk of received bytes on.
enum class TChunkEnd : quint8 {
    Silence,      // the line was silent for longer than the read interval after the chunk's last byte
    Full,         // 2048 bytes were in
    TotalTimeout, // the read's total time-out ran out
    AtOnce,       // the largest interval: whatever had arrived, without waiting for silence
    Hangup,       // what had arrived when the device failed or vanished
    // Framing by length only (TFraming::Length):
    Length, // the expected reply is complete: its expected length has come, without waiting for silence
    Noise,  // bytes that came before the expected reply's start; the reply follows as a chunk of its own
    ReplyTimeout, // the expected reply's time-out ran out before it was complete or the line fell silent
};

// How the receive thread cuts the line's bytes into chunks.
enum class TFraming : quint8 {
    Silence, // after more than ReadIntervalTimeout ms of silence, by the line's read time-outs (the form's
             // rule)
    Length,  // as soon as the expected reply is complete, after 3.5 characters of silence, or at the reply's
             // time-out, whichever comes first; the read time-outs play no part
};

// The reply a request asks for, told to the component just before the request is sent. The component
// counts the reply from the first byte that carries the address followed by the function (or the
// function with 0x80, an exception of 5 bytes); the reply is judged by whoever asked, not here.
struct TReplyShape {
    quint8 Address = 0;
    quint8 Function = 0;
    quint16 Length = 0; // of the whole reply unless it is an exception; at least 5

    // A read of `registers` registers: address, function, byte count, the data, CRC.
    static TReplyShape Read(quint8 address, quint8 function, quint16 registers) {
        return {address, function, quint16(5 + 2 * registers)};
    }
    // A write answered by the echo of its first six bytes and their CRC.
    static TReplyShape WriteEcho(quint8 address, quint8 function) { return {address, function, 8}; }
    bool operator==(const TReplyShape&) const = default;
};

// What the receive thread applies when framing by length.
struct TFramingRule {
    TFraming Mode = TFraming::Silence;
    qint64 SilenceUs = 1750; // 3.5 characters at the line's rate and format, at least 1750 us
    bool operator==(const TFramingRule&) const = default;
};

// The reply the receive thread waits for, from ExpectReply until it is handed on or its time is up.
struct TReplyExpectation {
    bool Armed = false;
    quint32 Serial = 0; // tells this expectation from a later one
    TReplyShape Shape;
    std::chrono::steady_clock::time_point Deadline;
};

// Outcome of a call made by a worker thread.
enum class TPortStatus {
    Ok,      // done (for WaitInput: input or a port event may be waiting)
    Timeout, // WaitInput: the time limit passed with nothing to report
    Stop,    // the close event is set
    Invalid, // the port's descriptor was closed under the thread: end silently
    Failed   // the device failed or vanished: end with a hang-up
};

class TCommPort {
public:
    virtual ~TCommPort() = default;

    // Opens the named device exclusively, unchanged name; false when it is absent, held or refused.
    virtual bool Open(const QByteArray& name) = 0;
    // Opens as Open does, but gives up as soon as abortFd becomes readable. A network port's opening can
    // take seconds and runs on a thread of its own, which a cancelled opening ends this way; a layer whose
    // opening is quick need not watch the descriptor.
    virtual bool OpenAbortable(const QByteArray& name, int abortFd) {
        (void)abortFd;
        return Open(name);
    }
    // Sizes the driver queues; false when the open device cannot serve as a serial line.
    virtual bool SetupComm(quint32 rxSize, quint32 txSize) = 0;
    // Closes the device; the threads must have ended.
    virtual void Close() = 0;
    virtual void Purge(quint32 flags) = 0;
    // Results are not examined by the component: a refused value leaves the previous one in force.
    virtual void SetCommState(const TCommState& state) = 0;
    // The time-outs are kept here for the receive thread, which applies the interval rule itself.
    virtual void SetCommTimeouts(const TCommTimeouts& timeouts) {
        std::lock_guard lock(m_timeoutsMutex);
        m_timeouts = timeouts;
    }
    TCommTimeouts CommTimeouts() const {
        std::lock_guard lock(m_timeoutsMutex);
        return m_timeouts;
    }

    // The framing rule and the reply expected, kept here for the receive thread like the time-outs.
    void SetFramingRule(const TFramingRule& rule) {
        std::lock_guard lock(m_timeoutsMutex);
        m_framing = rule;
    }
    TFramingRule FramingRule() const {
        std::lock_guard lock(m_timeoutsMutex);
        return m_framing;
    }
    // A new expectation replaces the one before; its time runs from now.
    void ArmReply(const TReplyShape& shape, qint64 timeoutUs) {
        std::lock_guard lock(m_timeoutsMutex);
        m_expectation.Armed = true;
        ++m_expectation.Serial;
        m_expectation.Shape = shape;
        m_expectation.Deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(timeoutUs);
    }
    TReplyExpectation Expectation() const {
        std::lock_guard lock(m_timeoutsMutex);
        return m_expectation;
    }
    // Ends the expectation `serial`, unless a later one has replaced it meanwhile.
    void EndExpectation(quint32 serial) {
        std::lock_guard lock(m_timeoutsMutex);
        if (m_expectation.Serial == serial)
            m_expectation.Armed = false;
    }

    // Receive thread. Waits until input or a port event may be waiting, the close descriptor becomes
    // readable (Stop), the wake descriptor becomes readable (Timeout: the thread has something to
    // reconsider) or timeoutUs passes (negative: no limit).
    virtual TPortStatus WaitInput(int closeFd, qint64 timeoutUs, int wakeFd) = 0;
    // Reads the line's bytes without waiting; got may be 0.
    virtual TPortStatus Read(char* buffer, quint32 capacity, quint32& got) = 0;
    // Reads and clears the line-error flags and modem event bits gathered since the last call.
    virtual TPortStatus TakeEvents(quint32& lineErrors, quint32& modemEvents) = 0;
    // Whether port events can arise without input (the receive thread then wakes periodically).
    virtual bool HasPortEvents() const = 0;

    // Transmit thread. Writes the whole block unless the close descriptor becomes readable (Stop).
    virtual TPortStatus Write(const char* data, quint32 length, int closeFd) = 0;

    // Why the last Open failed, in this layer's words for the operator; empty where the system's error of
    // the device tells it.
    virtual QString LastError() const { return {}; }
    // Whether the line is reached over a network connection rather than a device of this machine.
    virtual bool IsNetwork() const { return false; }

private:
    mutable std::mutex m_timeoutsMutex;
    TCommTimeouts m_timeouts;
    TFramingRule m_framing;
    TReplyExpectation m_expectation;
};
