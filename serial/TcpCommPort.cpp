#include "TcpCommPort.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// How often the waiting main thread looks whether the connection is made.
constexpr int kLookMs = 5;

struct TConnectResult {
    int Fd = -1;
    QString Error; // why no connection was made, for the operator
};

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

void signalFd(int fd) {
    const quint64 one = 1;
    while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

bool fdSignalled(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

// Errors after which the connection is gone for both directions.
bool connectionLost(int error) {
    return error == EPIPE || error == ECONNRESET || error == ETIMEDOUT || error == ENOTCONN;
}

void setOptions(int fd) {
    const int one = 1;
    const int idle = TTcpCommPort::kKeepIdleS, interval = TTcpCommPort::kKeepIntervalS,
              count = TTcpCommPort::kKeepCount;
    const unsigned userTimeout = TTcpCommPort::kUserTimeoutMs;
    // A system that refuses one of these still carries the bytes, only with its own timing; the connection
    // is not given up for that.
    (void)::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    (void)::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
    (void)::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    (void)::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    (void)::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
    (void)::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeout, sizeof userTimeout);
}

enum class TWaitEnd { Connected, Failed, TimedOut, Abandoned };

// Waits for a non-blocking connect to finish; error is the system's reason when it failed.
TWaitEnd awaitConnection(int fd, int abortFd, Clock::time_point deadline, int& error) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return TWaitEnd::TimedOut;
        pollfd fds[2] = {{abortFd, POLLIN, 0}, {fd, POLLOUT, 0}};
        const int r = ::poll(fds, 2, int(left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            error = errno;
            return TWaitEnd::Failed;
        }
        if (fds[0].revents & POLLIN)
            return TWaitEnd::Abandoned;
        if (r == 0)
            continue; // the deadline is looked at again above
        socklen_t size = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
            error = errno;
        return error == 0 ? TWaitEnd::Connected : TWaitEnd::Failed;
    }
}

// Resolves the host and connects to its addresses in turn, all of them within one time-out.
TConnectResult connectTo(const TTcpAddress& address, int abortFd) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const QByteArray service = QByteArray::number(address.Port);
    const int rc = ::getaddrinfo(address.Host.constData(), service.constData(), &hints, &found);
    if (rc != 0) {
        const QString why =
            rc == EAI_SYSTEM ? systemError(errno) : QString::fromLocal8Bit(::gai_strerror(rc));
        return {-1, QStringLiteral("the host name is not known (%1)").arg(why)};
    }
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(TTcpCommPort::kConnectTimeoutMs);
    QString error;
    for (const addrinfo* a = list.get(); a; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            error = systemError(errno);
            continue;
        }
        setOptions(fd);
        int err = 0;
        TWaitEnd end = TWaitEnd::Connected;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            err = errno;
            end = err == EINPROGRESS ? awaitConnection(fd, abortFd, deadline, err) : TWaitEnd::Failed;
        }
        if (end == TWaitEnd::Connected)
            return {fd, {}};
        ::close(fd);
        if (end == TWaitEnd::TimedOut)
            return {-1, QStringLiteral("no answer within %1 s").arg(TTcpCommPort::kConnectTimeoutMs / 1000)};
        if (end == TWaitEnd::Abandoned)
            return {-1, QStringLiteral("the opening was abandoned")};
        error = systemError(err);
    }
    return {-1, error};
}

// Runs the connection on a thread of its own. The main thread meanwhile turns its event loop for painting
// and timers only: input and socket notifiers wait, so neither an operator's click nor a notification of
// the port's previous opening runs inside this one. With socket notifiers held, the loop looks for the end
// on a short timer of its own; the worker touches no Qt object. Another thread simply waits.
TConnectResult connectAside(const TTcpAddress& address) {
    const int doneFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const int abortFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const int eventError = errno;
    const auto closeFds = [&] {
        if (doneFd >= 0)
            ::close(doneFd);
        if (abortFd >= 0)
            ::close(abortFd);
    };
    if (doneFd < 0 || abortFd < 0) {
        closeFds();
        return {-1, systemError(eventError)};
    }
    TConnectResult result;
    std::thread worker;
    try {
        worker = std::thread([&] {
            result = connectTo(address, abortFd);
            signalFd(doneFd);
        });
    } catch (const std::system_error& e) {
        closeFds();
        return {-1, QString::fromLocal8Bit(e.what())};
    }
    const QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread()) {
        QEventLoop loop;
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, &loop, [&] {
            if (fdSignalled(doneFd))
                loop.quit();
        });
        look.start(kLookMs);
        // The loop also ends when the program quits: the opening is then abandoned.
        loop.exec(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
    } else {
        pollfd p{doneFd, POLLIN, 0};
        while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
        }
    }
    if (!fdSignalled(doneFd))
        signalFd(abortFd);
    worker.join();
    closeFds();
    return result;
}

} // namespace

bool IsTcpPortName(const QString& name) {
    return name.startsWith(QLatin1String("tcp://"), Qt::CaseInsensitive);
}

std::optional<TTcpAddress> ParseTcpPortName(const QByteArray& name) {
    if (!IsTcpPortName(QString::fromLatin1(name.left(6))))
        return std::nullopt;
    const QByteArray rest = name.mid(6);
    QByteArray host, port;
    if (rest.startsWith('[')) {
        const qsizetype close = rest.indexOf(']');
        if (close < 0 || rest.mid(close + 1, 1) != ":")
            return std::nullopt;
        host = rest.mid(1, close - 1);
        port = rest.mid(close + 2);
        if (!host.contains(':'))
            return std::nullopt;
    } else {
        const qsizetype colon = rest.lastIndexOf(':');
        if (colon < 0)
            return std::nullopt;
        host = rest.left(colon);
        port = rest.mid(colon + 1);
        // An IPv6 address needs its brackets, or its last group would pass for the port.
        if (host.contains(':'))
            return std::nullopt;
    }
    if (host.isEmpty() || port.isEmpty() || port.size() > 5)
        return std::nullopt;
    for (const char c : host)
        if (c <= ' ' || c == '/' || c == '[' || c == ']' || c == 0x7F)
            return std::nullopt;
    if (!std::all_of(port.cbegin(), port.cend(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int number = port.toInt();
    if (number < 1 || number > 65535)
        return std::nullopt;
    return TTcpAddress{host, quint16(number)};
}

TTcpCommPort::~TTcpCommPort() {
    Close();
}

bool TTcpCommPort::Open(const QByteArray& name) {
    if (m_fd >= 0 || m_opening)
        return false;
    m_lastError.clear();
    const QString shown = QString::fromLocal8Bit(name);
    const std::optional<TTcpAddress> address = ParseTcpPortName(name);
    if (!address) {
        m_lastError = QStringLiteral("%1: not a network port name; write tcp://HOST:PORT, an IPv6 address "
                                     "in brackets (tcp://[::1]:502)")
                          .arg(shown);
        return false;
    }
    m_opening = true;
    const TConnectResult result = connectAside(*address);
    m_opening = false;
    if (result.Fd < 0) {
        m_lastError = QStringLiteral("%1: %2").arg(shown, result.Error);
        return false;
    }
    m_fd = result.Fd;
    return true;
}

bool TTcpCommPort::SetupComm(quint32, quint32) {
    // The system sizes the connection's buffers itself.
    return m_fd >= 0;
}

void TTcpCommPort::Close() {
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
}

void TTcpCommPort::Purge(quint32 flags) {
    // Sent bytes cannot be called back from the connection; received ones are discarded. Only what is
    // there now is taken, so a peer that keeps sending cannot hold the caller here. An emptied receive
    // queue also lets the close end the connection in order rather than with a reset.
    if (m_fd < 0 || !(flags & PURGE_RXCLEAR))
        return;
    int waiting = 0;
    if (::ioctl(m_fd, FIONREAD, &waiting) != 0)
        return;
    char discard[4096];
    while (waiting > 0) {
        const ssize_t n =
            ::recv(m_fd, discard, std::min<size_t>(sizeof discard, size_t(waiting)), MSG_DONTWAIT);
        if (n <= 0)
            return;
        waiting -= int(n);
    }
}

TPortStatus TTcpCommPort::WaitInput(int closeFd, qint64 timeoutUs) {
    pollfd fds[2] = {{closeFd, POLLIN, 0}, {m_fd, POLLIN | POLLRDHUP, 0}};
    const timespec ts{time_t(std::max<qint64>(0, timeoutUs) / 1000000),
                      long(std::max<qint64>(0, timeoutUs) % 1000000) * 1000};
    const int r = ::ppoll(fds, 2, timeoutUs < 0 ? nullptr : &ts, nullptr);
    if (r < 0)
        return errno == EINTR ? TPortStatus::Timeout : TPortStatus::Failed;
    if (fds[0].revents & POLLIN)
        return TPortStatus::Stop;
    if (fds[1].revents & POLLNVAL)
        return TPortStatus::Invalid;
    // Bytes, or the end of the connection, which the read tells apart.
    return fds[1].revents ? TPortStatus::Ok : TPortStatus::Timeout;
}

TPortStatus TTcpCommPort::Read(char* buffer, quint32 capacity, quint32& got) {
    got = 0;
    if (capacity == 0)
        return TPortStatus::Ok;
    const ssize_t n = ::recv(m_fd, buffer, capacity, MSG_DONTWAIT);
    if (n > 0) {
        got = quint32(n);
        return TPortStatus::Ok;
    }
    if (n == 0)
        return TPortStatus::Failed; // closed by the other side
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return TPortStatus::Ok;
    return errno == EBADF || errno == ENOTSOCK ? TPortStatus::Invalid : TPortStatus::Failed;
}

TPortStatus TTcpCommPort::TakeEvents(quint32& lineErrors, quint32& modemEvents) {
    // A device server passes bytes only: no line errors and no modem lines reach this side.
    lineErrors = 0;
    modemEvents = 0;
    return TPortStatus::Ok;
}

TPortStatus TTcpCommPort::Write(const char* data, quint32 length, int closeFd) {
    while (length > 0) {
        const ssize_t n = ::send(m_fd, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            data += n;
            length -= quint32(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            if (errno == EBADF || errno == ENOTSOCK)
                return TPortStatus::Invalid;
            // The receive thread meets the same end and reports it, after the bytes that came before.
            return connectionLost(errno) ? TPortStatus::Invalid : TPortStatus::Failed;
        }
        // The connection's send buffer is full: wait for room, or for the close request.
        pollfd fds[2] = {{closeFd, POLLIN, 0}, {m_fd, POLLOUT, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return TPortStatus::Failed;
        }
        if (fds[0].revents & POLLIN)
            return TPortStatus::Stop;
        if (fds[1].revents & POLLNVAL)
            return TPortStatus::Invalid;
        // An error or hang-up is read by the next send.
    }
    return TPortStatus::Ok;
}
