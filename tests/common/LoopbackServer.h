#pragma once
// A serial device server played by the test on the loopback address: the code under test connects to
// Name(), the test accepts and plays the device with real bytes and real timing on the accepted socket.

#include <QByteArray>
#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <limits>

struct LoopbackServer {
    int listener = -1;
    int peer = -1;
    int filler = -1; // the connection left unaccepted by StopAnswering
    quint16 port = 0;
    bool ipv6 = false;

    // backlog 0 with one connection left unaccepted makes a server that no longer answers new ones.
    explicit LoopbackServer(bool v6 = false, int backlog = 4) : ipv6(v6) {
        listener = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage a{};
        socklen_t size = 0;
        if (v6) {
            auto* in6 = reinterpret_cast<sockaddr_in6*>(&a);
            in6->sin6_family = AF_INET6;
            in6->sin6_addr = in6addr_loopback;
            size = sizeof *in6;
        } else {
            auto* in = reinterpret_cast<sockaddr_in*>(&a);
            in->sin_family = AF_INET;
            in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            size = sizeof *in;
        }
        if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&a), size) != 0 ||
            ::listen(listener, backlog) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &size) != 0)
            return;
        port = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&a)->sin6_port
                        : reinterpret_cast<sockaddr_in*>(&a)->sin_port);
    }
    ~LoopbackServer() {
        ClosePeer();
        StopListening();
        if (filler >= 0)
            ::close(filler);
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    QString Name() const {
        return QStringLiteral("tcp://%1:%2")
            .arg(ipv6 ? QStringLiteral("[::1]") : QStringLiteral("127.0.0.1"))
            .arg(port);
    }

    // The server's address as connect takes it, written into `a`; its size.
    socklen_t Address(sockaddr_storage& a) const {
        a = {};
        if (ipv6) {
            auto* in6 = reinterpret_cast<sockaddr_in6*>(&a);
            in6->sin6_family = AF_INET6;
            in6->sin6_addr = in6addr_loopback;
            in6->sin6_port = htons(port);
            return sizeof *in6;
        }
        auto* in = reinterpret_cast<sockaddr_in*>(&a);
        in->sin_family = AF_INET;
        in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        in->sin_port = htons(port);
        return sizeof *in;
    }

    // On a server made with backlog 0: one connection that nobody accepts fills its queue, so that it
    // answers no further one (a connection to it neither succeeds nor fails).
    bool StopAnswering() {
        filler = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage a;
        const socklen_t size = Address(a);
        return filler >= 0 && ::connect(filler, reinterpret_cast<sockaddr*>(&a), size) == 0;
    }

    // Nobody listens on the port any more: connections to it are refused.
    void StopListening() {
        if (listener >= 0)
            ::close(listener);
        listener = -1;
    }

    // Takes the next connection, waiting up to timeoutMs; each burst written leaves at once.
    bool Accept(int timeoutMs = 5000) {
        pollfd p{listener, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) != 1)
            return false;
        peer = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        const int one = 1;
        ::setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return peer >= 0;
    }

    // Ends the connection in order, or with a reset.
    void ClosePeer(bool reset = false) {
        if (peer < 0)
            return;
        if (reset) {
            const linger now{1, 0};
            ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &now, sizeof now);
        }
        ::close(peer);
        peer = -1;
    }

    bool Write(const QByteArray& bytes) const {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n =
                ::send(peer, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    }

    // What the other side sent: waits up to firstMs for the first byte, then reads until the connection
    // stays quiet for quietMs or `limit` bytes are in.
    QByteArray ReadUntilQuiet(int firstMs, int quietMs,
                              qsizetype limit = std::numeric_limits<qsizetype>::max()) const {
        QByteArray out;
        char buf[4096];
        pollfd p{peer, POLLIN, 0};
        int waitMs = firstMs;
        while (out.size() < limit && ::poll(&p, 1, waitMs) > 0 && (p.revents & POLLIN)) {
            const ssize_t n =
                ::recv(peer, buf, size_t(std::min<qsizetype>(qsizetype(sizeof buf), limit - out.size())), 0);
            if (n <= 0)
                break;
            out.append(buf, n);
            waitMs = quietMs;
        }
        return out;
    }
};
