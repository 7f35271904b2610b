#include "TcpCommPort.h"

#include <QStringList>

#include <arpa/inet.h>
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
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

void signalFd(int fd) {
    const quint64 one = 1;
    while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
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

// An address as the operator writes it: 192.0.2.7, [2001:db8::7].
QString endpointText(const TTcpEndpoint& endpoint) {
    char text[INET6_ADDRSTRLEN] = {};
    const auto* a = &endpoint.Address;
    if (a->ss_family == AF_INET6) {
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr, text, sizeof text);
        return QStringLiteral("[%1]").arg(QString::fromLatin1(text));
    }
    if (a->ss_family == AF_INET)
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a)->sin_addr, text, sizeof text);
    return QString::fromLatin1(text);
}

// Milliseconds from now to `end`, rounded up, never below 0.
int msUntil(Clock::time_point end) {
    return int(std::max<qint64>(0, std::chrono::ceil<milliseconds>(end - Clock::now()).count()));
}

// A resolution running on a thread of its own, shared by that thread and the opening that waits for it,
// so that either may finish first. The opening reads Result only after joining the thread.
struct TResolveJob {
    int DoneFd = -1; // readable once Result is there
    TTcpResolution Result;
    ~TResolveJob() {
        if (DoneFd >= 0)
            ::close(DoneFd);
    }
};

enum class TWaitEnd { Done, TimedOut, Cancelled, Failed };

// Resolves on a thread of its own and waits for the answer until the deadline or the abort descriptor.
// The thread is joined once it answered; when the wait ends first, it is left to end by itself.
TWaitEnd resolveAside(const TTcpResolver& resolver, const TTcpAddress& address, int abortFd,
                      Clock::time_point deadline, TTcpResolution& result, int& error) {
    auto job = std::make_shared<TResolveJob>();
    job->DoneFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (job->DoneFd < 0) {
        error = errno;
        return TWaitEnd::Failed;
    }
    std::thread resolving;
    try {
        resolving = std::thread([job, resolver, address] {
            job->Result = resolver(address);
            signalFd(job->DoneFd);
        });
    } catch (const std::system_error& e) {
        error = e.code().value();
        return TWaitEnd::Failed;
    }
    for (;;) {
        pollfd fds[2] = {{abortFd, POLLIN, 0}, {job->DoneFd, POLLIN, 0}};
        const int r = ::poll(fds, 2, msUntil(deadline));
        if (r < 0 && errno == EINTR)
            continue;
        TWaitEnd end = TWaitEnd::TimedOut;
        if (r < 0) {
            error = errno;
            end = TWaitEnd::Failed;
        } else if (fds[0].revents & POLLIN) {
            end = TWaitEnd::Cancelled;
        } else if (fds[1].revents & POLLIN) {
            resolving.join();
            result = std::move(job->Result);
            return TWaitEnd::Done;
        } else if (Clock::now() < deadline) {
            continue;
        }
        // The system's resolver cannot be interrupted.
        resolving.detach();
        return end;
    }
}

} // namespace

TTcpResolution ResolveTcpAddress(const TTcpAddress& address) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const QByteArray service = QByteArray::number(address.Port);
    TTcpResolution result;
    result.Code = ::getaddrinfo(address.Host.constData(), service.constData(), &hints, &found);
    if (result.Code != 0) {
        result.SystemError = result.Code == EAI_SYSTEM ? errno : 0;
        return result;
    }
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if (a->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        TTcpEndpoint endpoint;
        std::memcpy(&endpoint.Address, a->ai_addr, a->ai_addrlen);
        endpoint.Length = a->ai_addrlen;
        result.Endpoints.push_back(endpoint);
    }
    ::freeaddrinfo(found);
    return result;
}

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

TTcpCommPort::TTcpCommPort(TTcpResolver resolver)
    : m_resolver(resolver ? std::move(resolver) : TTcpResolver(&ResolveTcpAddress)) {}

TTcpCommPort::~TTcpCommPort() {
    Close();
}

bool TTcpCommPort::OpenAbortable(const QByteArray& name, int abortFd) {
    if (m_fd >= 0)
        return false;
    m_name = QString::fromLocal8Bit(name);
    m_causes.clear();
    const std::optional<TTcpAddress> address = ParseTcpPortName(name);
    if (!address) {
        m_causes.push_back({TCause::NotAPortName, {}, {}});
        return false;
    }
    // One limit for looking the name up and connecting.
    const Clock::time_point deadline = Clock::now() + milliseconds(kConnectTimeoutMs);
    TTcpResolution found;
    int error = 0;
    switch (resolveAside(m_resolver, *address, abortFd, deadline, found, error)) {
    case TWaitEnd::Done:
        break;
    case TWaitEnd::TimedOut:
        m_causes.push_back({TCause::NotResolvedInTime, {}, {}});
        return false;
    case TWaitEnd::Cancelled:
        m_causes.push_back({TCause::Cancelled, {}, {}});
        return false;
    case TWaitEnd::Failed:
        m_causes.push_back({TCause::System, {}, systemError(error)});
        return false;
    }
    if (found.Code != 0) {
        const QString words = QString::fromLocal8Bit(::gai_strerror(found.Code));
        switch (found.Code) {
        case EAI_NONAME:
        case EAI_NODATA:
        case EAI_ADDRFAMILY:
            m_causes.push_back({TCause::HostUnknown, {}, words});
            break;
        case EAI_AGAIN:
            m_causes.push_back({TCause::NameServerSilent, {}, words});
            break;
        case EAI_SYSTEM:
            m_causes.push_back({TCause::System, {}, systemError(found.SystemError)});
            break;
        default:
            m_causes.push_back({TCause::NotResolved, {}, words});
            break;
        }
        return false;
    }
    if (found.Endpoints.empty()) {
        m_causes.push_back({TCause::HostUnknown, {}, {}});
        return false;
    }
    // The address is named beside its cause unless the port name already says it.
    const bool named =
        found.Endpoints.size() > 1 ||
        endpointText(found.Endpoints.front()).remove(u'[').remove(u']') != QString::fromLatin1(address->Host);
    return connectInTurn(found.Endpoints, abortFd, deadline, named);
}

bool TTcpCommPort::connectInTurn(const std::vector<TTcpEndpoint>& endpoints, int abortFd,
                                 Clock::time_point deadline, bool named) {
    struct TAttempt {
        int Fd;
        size_t Index;
    };
    std::vector<TAttempt> trying;
    // Each address's cause, in the resolver's order whatever order they end in.
    std::vector<std::optional<TCause>> causes(endpoints.size());
    const auto fail = [&](size_t index, TCause::Kind what, const QString& detail = {}) {
        causes[index] = TCause{what, named ? endpointText(endpoints[index]) : QString(), detail};
    };
    const auto end = [&](int fd) {
        for (const TAttempt& a : trying)
            if (a.Fd != fd)
                ::close(a.Fd);
        if (fd < 0)
            for (std::optional<TCause>& cause : causes)
                if (cause)
                    m_causes.push_back(std::move(*cause));
        m_fd = fd;
        return fd >= 0;
    };
    size_t next = 0;
    Clock::time_point nextStart = Clock::now();
    for (;;) {
        // The next address starts at its turn, or at once when no other is being tried.
        while (next < endpoints.size() && Clock::now() < deadline &&
               (trying.empty() || Clock::now() >= nextStart)) {
            const size_t index = next++;
            const TTcpEndpoint& e = endpoints[index];
            const int fd =
                ::socket(e.Address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
            if (fd < 0) {
                fail(index, TCause::System, systemError(errno));
                continue;
            }
            setOptions(fd);
            if (::connect(fd, reinterpret_cast<const sockaddr*>(&e.Address), e.Length) == 0)
                return end(fd);
            if (errno != EINPROGRESS) {
                fail(index, TCause::System, systemError(errno));
                ::close(fd);
                continue;
            }
            trying.push_back({fd, index});
            nextStart = Clock::now() + milliseconds(kNextAddressDelayMs);
        }
        if (trying.empty())
            return end(-1); // every address failed, or the time was up before the next one's turn
        if (Clock::now() >= deadline) {
            for (const TAttempt& a : trying)
                fail(a.Index, TCause::NoAnswer);
            return end(-1);
        }
        std::vector<pollfd> fds{{abortFd, POLLIN, 0}};
        for (const TAttempt& a : trying)
            fds.push_back({a.Fd, POLLOUT, 0});
        const int r = ::poll(fds.data(), fds.size(),
                             msUntil(next < endpoints.size() ? std::min(deadline, nextStart) : deadline));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            const int err = errno;
            for (const TAttempt& a : trying)
                fail(a.Index, TCause::System, systemError(err));
            return end(-1);
        }
        if (fds[0].revents & POLLIN) {
            causes.assign(endpoints.size(), std::nullopt);
            m_causes.push_back({TCause::Cancelled, {}, {}});
            return end(-1);
        }
        for (size_t k = trying.size(); k-- > 0;) {
            if (!fds[k + 1].revents)
                continue;
            const TAttempt a = trying[k];
            int err = 0;
            socklen_t size = sizeof err;
            if (::getsockopt(a.Fd, SOL_SOCKET, SO_ERROR, &err, &size) != 0)
                err = errno;
            trying.erase(trying.begin() + std::ptrdiff_t(k));
            if (err == 0)
                return end(a.Fd);
            fail(a.Index, TCause::System, systemError(err));
            ::close(a.Fd);
            // A failed address hands its turn to the next one at once.
            nextStart = Clock::now();
        }
    }
}

QString TTcpCommPort::causeText(const TCause& cause) {
    const int limitS = kConnectTimeoutMs / 1000;
    switch (cause.What) {
    case TCause::NotAPortName:
        return tr("不是网络端口名；请写成 tcp://主机:端口，IPv6 地址加方括号（tcp://[::1]:502）");
    case TCause::HostUnknown:
        return cause.Detail.isEmpty() ? tr("主机名未知") : tr("主机名未知（%1）").arg(cause.Detail);
    case TCause::NameServerSilent:
        return tr("名称服务器未及时应答（%1）").arg(cause.Detail);
    case TCause::NotResolvedInTime:
        return tr("名称解析 %1 秒内无结果").arg(limitS);
    case TCause::NotResolved:
        return tr("名称解析失败（%1）").arg(cause.Detail);
    case TCause::NoAnswer:
        return tr("%1 秒内无应答").arg(limitS);
    case TCause::Cancelled:
        return tr("打开已取消");
    case TCause::System:
        break;
    }
    return cause.Detail;
}

QString TTcpCommPort::LastError() const {
    if (m_causes.empty())
        return {};
    QStringList causes;
    for (const TCause& cause : m_causes)
        causes << (cause.Address.isEmpty() ? causeText(cause)
                                           : QStringLiteral("%1: %2").arg(cause.Address, causeText(cause)));
    return QStringLiteral("%1: %2").arg(m_name, causes.join(QStringLiteral("; ")));
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

TPortStatus TTcpCommPort::WaitInput(int closeFd, qint64 timeoutUs, int wakeFd) {
    // A woken wait ends as one whose time has passed: the receive thread looks again at what it waits for.
    pollfd fds[3] = {{closeFd, POLLIN, 0}, {m_fd, POLLIN | POLLRDHUP, 0}, {wakeFd, POLLIN, 0}};
    const timespec ts{time_t(std::max<qint64>(0, timeoutUs) / 1000000),
                      long(std::max<qint64>(0, timeoutUs) % 1000000) * 1000};
    const int r = ::ppoll(fds, wakeFd < 0 ? 2 : 3, timeoutUs < 0 ? nullptr : &ts, nullptr);
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
