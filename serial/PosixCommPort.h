#pragma once

#include "CommPort.h"

#include <linux/serial.h>
#include <termios.h>

#include <atomic>
#include <optional>

// Reassembles the line's bytes from what a terminal in PARMRK mode hands over: a doubled 0xFF is one
// 0xFF, 0xFF 0x00 c is the byte c received with a parity or framing error, 0xFF 0x00 0x00 a break. A mark
// may be split across reads, so the state carries over.
//
// What the marks can tell: a break apart from a bad byte, but not a parity error apart from a framing
// error. The kernel marks both alike, and only while input parity checking (INPCK) is on; without it a
// byte with either error arrives unmarked. Overruns are never marked. Where the driver keeps error
// counters, the port reports from those instead (see TakeEvents).
class TParmrkDecoder {
public:
    struct TOptions {
        bool IgnoreNull = false;
        bool ReplaceErrors = false;
        char ErrorChar = 0;
    };
    // Decodes count bytes into out, which has room for capacity bytes; returns the bytes produced. A lone
    // 0xFF carried from the previous call can make one byte more than count: it is held for the next call.
    // errorFlags gains CE_BREAK for a break and, for a marked byte, CE_RXPARITY | CE_FRAME: one of the
    // two happened, and the mark does not say which.
    quint32 Decode(const char* in, quint32 count, char* out, quint32 capacity, const TOptions& options,
                   quint32& errorFlags);
    bool HasHeld() const { return m_hasHeld; }

private:
    enum { Normal, GotFF, GotFF00 } m_state = Normal;
    bool m_hasHeld = false;
    char m_held = 0;
};

// The serial port on a POSIX terminal (Linux): termios for the line record, poll for waits, TIOCGICOUNT
// and TIOCMGET for line errors and modem changes where the driver has them.
class TPosixCommPort : public TCommPort {
public:
    ~TPosixCommPort() override;

    bool Open(const QByteArray& name) override;
    bool SetupComm(quint32 rxSize, quint32 txSize) override;
    void Close() override;
    void Purge(quint32 flags) override;
    void SetCommState(const TCommState& state) override;

    TPortStatus WaitInput(int closeFd, qint64 timeoutUs, int wakeFd) override;
    TPortStatus Read(char* buffer, quint32 capacity, quint32& got) override;
    TPortStatus TakeEvents(quint32& lineErrors, quint32& modemEvents) override;
    bool HasPortEvents() const override { return m_icountSupported || m_modemSupported; }

    TPortStatus Write(const char* data, quint32 length, int closeFd) override;

    int Descriptor() const { return m_fd; }

private:
    void takeCounterBaseline();
    bool setRtsOnSend(bool on);

    int m_fd = -1;
    bool m_marked = true; // input arrives in PARMRK form; fixed while the port is open
    // Decoding options, written by the GUI thread and read by the receive thread.
    std::atomic<bool> m_ignoreNull{false};
    std::atomic<bool> m_replaceErrors{false};
    std::atomic<char> m_errorChar{0};
    // The driver's RS-485 settings from before RTS was handed to it for sending (GUI thread only).
    std::optional<serial_rs485> m_rs485Before;

    // Receive thread only (and Open, before the threads exist).
    TParmrkDecoder m_decoder;
    quint32 m_markErrors = 0;
    bool m_icountSupported = false;
    bool m_modemSupported = false;
    struct {
        int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0, rng = 0, dcd = 0;
    } m_counts;
    int m_modemLines = 0;
};

// The terminal settings for a line record, speed aside: raw input, the record's format and flow control;
// marked asks for PARMRK input (see TParmrkDecoder).
void SetTermiosFromCommState(const TCommState& state, bool marked, termios& tio);

// Sets a rate that has no Bxxx constant (termios2 with BOTHER), as input and output speed; false when
// the driver refuses it.
bool SetCustomBaudRate(int fd, quint32 rate);
