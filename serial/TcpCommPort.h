#pragma once

#include "CommPort.h"

#include <QCoreApplication>
#include <QString>

#include <sys/socket.h>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

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

// One address a host resolved to, as connect takes it.
struct TTcpEndpoint {
    sockaddr_storage Address{};
    socklen_t Length = 0;
};

// What resolving a host gave: its addresses in the order to try them, or getaddrinfo's error code
// (EAI_*), with the system's error for EAI_SYSTEM.
struct TTcpResolution {
    int Code = 0;
    int SystemError = 0;
    std::vector<TTcpEndpoint> Endpoints;
};
using TTcpResolver = std::function<TTcpResolution(const TTcpAddress& address)>;
// The system's resolver: an address as it stands, a name through the hosts file and the name service.
TTcpResolution ResolveTcpAddress(const TTcpAddress& address);

// The serial line reached through a serial device server. The bytes are the line's bytes, so everything
// above this layer (chunking by silence, events, messages) stays as on a terminal. Line settings and
// modem lines have no meaning here: the component stores them and this layer applies them to nothing.
//
// Opening resolves the name and connects within kConnectTimeoutMs for both, on the calling thread and
// without turning any event loop: the component calls it on a thread of its own for a window, which
// can then cancel it through the abort descriptor. The name is resolved on a further thread that the
// opening leaves behind when the time is up or the opening is cancelled, since the system's resolver
// cannot be interrupted; it ends by itself once the resolver returns. The addresses are tried in turn:
// the next one starts when the one before failed, or kNextAddressDelayMs after it started while it is
// still trying, so an address that never answers does not hide one that works.
//
// The connection sends at once (no Nagle delay) and probes an idle peer, so a server that vanished
// without closing is noticed within about 30 s. A connection closed or reset by the other side, or timed
// out, is a failure of the receive thread (one hang-up, after the bytes that came before); the transmit
// thread, which meets the same lost connection, ends silently so that the owner hears of it once.
class TTcpCommPort : public TCommPort {
    Q_DECLARE_TR_FUNCTIONS(TTcpCommPort)
public:
    static constexpr int kConnectTimeoutMs = 3000;
    static constexpr int kNextAddressDelayMs = 250;
    // Keep-alive: first probe after 10 s of silence, then every 5 s; the connection is given up 30 s after
    // the peer last answered, also while sent bytes wait for their acknowledgement.
    static constexpr int kKeepIdleS = 10;
    static constexpr int kKeepIntervalS = 5;
    static constexpr int kKeepCount = 4;
    static constexpr int kUserTimeoutMs = 30000;

    // Host names are resolved by `resolver`, by the system's when it is empty.
    explicit TTcpCommPort(TTcpResolver resolver = {});
    ~TTcpCommPort() override;

    bool Open(const QByteArray& name) override { return OpenAbortable(name, -1); }
    bool OpenAbortable(const QByteArray& name, int abortFd) override;
    bool SetupComm(quint32 rxSize, quint32 txSize) override;
    void Close() override;
    void Purge(quint32 flags) override;
    void SetCommState(const TCommState&) override {}

    TPortStatus WaitInput(int closeFd, qint64 timeoutUs, int wakeFd) override;
    TPortStatus Read(char* buffer, quint32 capacity, quint32& got) override;
    TPortStatus TakeEvents(quint32& lineErrors, quint32& modemEvents) override;
    bool HasPortEvents() const override { return false; }

    TPortStatus Write(const char* data, quint32 length, int closeFd) override;

    // The port name and every cause of the last failed opening, in the language shown now: each address
    // tried with what became of it, when the name stood for more than that one address.
    QString LastError() const override;
    bool IsNetwork() const override { return true; }

    int Descriptor() const { return m_fd; }

private:
    // Why one step of an opening failed.
    struct TCause {
        enum Kind {
            NotAPortName,
            HostUnknown,       // the name service knows no such host
            NameServerSilent,  // the name service gave no answer in its own time (EAI_AGAIN)
            NotResolvedInTime, // the name was not resolved within the time limit
            NotResolved,       // any other failure of the resolver
            NoAnswer,          // an address did not answer within the time limit
            Cancelled,
            System, // the system's error, as it words it
        };
        Kind What;
        QString Address; // the address tried, empty for a step before any
        QString Detail;  // the system's words
    };

    static QString causeText(const TCause& cause);
    // Connects to the first address that answers, trying them in turn until the deadline; the causes of
    // the others are added, each with its address when `named`.
    bool connectInTurn(const std::vector<TTcpEndpoint>& endpoints, int abortFd,
                       std::chrono::steady_clock::time_point deadline, bool named);

    TTcpResolver m_resolver;
    int m_fd = -1;
    QString m_name;
    std::vector<TCause> m_causes;
};
