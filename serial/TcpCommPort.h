#pragma once

#include "CommPort.h"

#include <QString>

#include <optional>

// Where a port name of the form tcp://HOST:PORT leads: a serial device server that passes the line's
// bytes unchanged over one TCP connection ("RTU over TCP").
struct TTcpAddress {
    QByteArray Host; // a name, an IPv4 address or an IPv6 address (written in brackets in the name)
    quint16 Port = 0;
    bool operator==(const TTcpAddress&) const = default;
};

// Whether the name asks for the network port layer (scheme "tcp://", any case).
bool IsTcpPortName(const QString& name);
// The address of a tcp:// name; nothing when the rest is not HOST:PORT with a port from 1 to 65535.
std::optional<TTcpAddress> ParseTcpPortName(const QByteArray& name);

// The serial line reached through a serial device server. The bytes are the line's bytes, so everything
// above this layer (chunking by silence, events, messages) stays as on a terminal. Line settings and
// modem lines have no meaning here: the component stores them and this layer applies them to nothing.
//
// Opening resolves the name and connects on a thread of its own, with a time-out of kConnectTimeoutMs
// for the connection. When the opening comes from the application's main thread, that thread runs a
// local event loop meanwhile, so the window keeps painting and its timers keep running; input events and
// socket notifiers wait until the opening is over, so no operator action and no notification of an
// earlier opening runs halfway through this one.
//
// The connection sends at once (no Nagle delay) and probes an idle peer, so a server that vanished
// without closing is noticed within about 30 s. A connection closed or reset by the other side, or timed
// out, is a failure of the receive thread (one hang-up, after the bytes that came before); the transmit
// thread, which meets the same lost connection, ends silently so that the owner hears of it once.
class TTcpCommPort : public TCommPort {
public:
    static constexpr int kConnectTimeoutMs = 3000;
    // Keep-alive: first probe after 10 s of silence, then every 5 s; the connection is given up 30 s after
    // the peer last answered, also while sent bytes wait for their acknowledgement.
    static constexpr int kKeepIdleS = 10;
    static constexpr int kKeepIntervalS = 5;
    static constexpr int kKeepCount = 4;
    static constexpr int kUserTimeoutMs = 30000;

    ~TTcpCommPort() override;

    bool Open(const QByteArray& name) override;
    bool SetupComm(quint32 rxSize, quint32 txSize) override;
    void Close() override;
    void Purge(quint32 flags) override;
    void SetCommState(const TCommState&) override {}

    TPortStatus WaitInput(int closeFd, qint64 timeoutUs) override;
    TPortStatus Read(char* buffer, quint32 capacity, quint32& got) override;
    TPortStatus TakeEvents(quint32& lineErrors, quint32& modemEvents) override;
    bool HasPortEvents() const override { return false; }

    TPortStatus Write(const char* data, quint32 length, int closeFd) override;

    QString LastError() const override { return m_lastError; }
    bool IsNetwork() const override { return true; }

    int Descriptor() const { return m_fd; }

private:
    int m_fd = -1;
    bool m_opening = false;
    QString m_lastError;
};
