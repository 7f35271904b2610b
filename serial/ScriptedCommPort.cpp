#include "ScriptedCommPort.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

TScriptedCommPort::TScriptedCommPort() {
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_writeWakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

TScriptedCommPort::~TScriptedCommPort() {
    ::close(m_wakeFd);
    ::close(m_writeWakeFd);
}

void TScriptedCommPort::HoldWrites(bool hold) {
    std::lock_guard lock(m_mutex);
    m_holdWrites = hold;
    const quint64 one = 1;
    (void)!::write(m_writeWakeFd, &one, sizeof one);
}

bool TScriptedCommPort::WriteWaiting() const {
    std::lock_guard lock(m_mutex);
    return m_writeWaiting;
}

void TScriptedCommPort::SetResponder(Responder responder) {
    std::lock_guard lock(m_mutex);
    m_responder = std::move(responder);
}

void TScriptedCommPort::wake() {
    const quint64 one = 1;
    (void)!::write(m_wakeFd, &one, sizeof one);
}

void TScriptedCommPort::SetOpenResult(bool ok) {
    std::lock_guard lock(m_mutex);
    m_openResult = ok;
}

void TScriptedCommPort::SetSetupResult(bool ok) {
    std::lock_guard lock(m_mutex);
    m_setupResult = ok;
}

void TScriptedCommPort::Feed(const QByteArray& bytes) {
    std::lock_guard lock(m_mutex);
    // Deep copies only: implicitly shared data would be released by Qt code the thread checkers cannot see.
    m_input.append(bytes.constData(), bytes.size());
    wake();
}

void TScriptedCommPort::RaiseLineErrors(quint32 flags) {
    std::lock_guard lock(m_mutex);
    m_lineErrors |= flags;
    wake();
}

void TScriptedCommPort::RaiseModemEvents(quint32 bits) {
    std::lock_guard lock(m_mutex);
    m_modemEvents |= bits;
    wake();
}

void TScriptedCommPort::FailRead(TPortStatus status) {
    std::lock_guard lock(m_mutex);
    m_readFailure = status;
    wake();
}

void TScriptedCommPort::FailEvents(TPortStatus status) {
    std::lock_guard lock(m_mutex);
    m_eventsFailure = status;
    wake();
}

void TScriptedCommPort::FailWrite(TPortStatus status) {
    std::lock_guard lock(m_mutex);
    m_writeFailure = status;
}

bool TScriptedCommPort::IsOpen() const {
    std::lock_guard lock(m_mutex);
    return m_open;
}

QByteArray TScriptedCommPort::OpenedName() const {
    std::lock_guard lock(m_mutex);
    return QByteArray(m_name.constData(), m_name.size());
}

int TScriptedCommPort::StateWrites() const {
    std::lock_guard lock(m_mutex);
    return m_stateWrites;
}

TCommState TScriptedCommPort::LastState() const {
    std::lock_guard lock(m_mutex);
    return m_state;
}

int TScriptedCommPort::TimeoutWrites() const {
    std::lock_guard lock(m_mutex);
    return m_timeoutWrites;
}

QByteArray TScriptedCommPort::Written() const {
    std::lock_guard lock(m_mutex);
    return QByteArray(m_written.constData(), m_written.size());
}

QList<quint32> TScriptedCommPort::Purges() const {
    std::lock_guard lock(m_mutex);
    return m_purges;
}

bool TScriptedCommPort::Open(const QByteArray& name) {
    std::lock_guard lock(m_mutex);
    if (!m_openResult || m_open)
        return false;
    m_open = true;
    m_name = QByteArray(name.constData(), name.size());
    return true;
}

bool TScriptedCommPort::SetupComm(quint32, quint32) {
    std::lock_guard lock(m_mutex);
    return m_setupResult;
}

void TScriptedCommPort::Close() {
    std::lock_guard lock(m_mutex);
    m_open = false;
}

void TScriptedCommPort::Purge(quint32 flags) {
    std::lock_guard lock(m_mutex);
    m_purges.append(flags);
}

void TScriptedCommPort::SetCommState(const TCommState& state) {
    std::lock_guard lock(m_mutex);
    ++m_stateWrites;
    m_state = state;
}

void TScriptedCommPort::SetCommTimeouts(const TCommTimeouts& timeouts) {
    {
        std::lock_guard lock(m_mutex);
        ++m_timeoutWrites;
    }
    TCommPort::SetCommTimeouts(timeouts);
}

bool TScriptedCommPort::readyLocked() const {
    return !m_input.isEmpty() || m_lineErrors || m_modemEvents || m_readFailure || m_eventsFailure;
}

TPortStatus TScriptedCommPort::WaitInput(int closeFd, qint64 timeoutUs, int wakeFd) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::microseconds(std::max<qint64>(0, timeoutUs));
    for (;;) {
        pollfd fds[3] = {{closeFd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        // The close request wins over anything scripted, as on a real port.
        if (::poll(fds, 1, 0) > 0)
            return TPortStatus::Stop;
        {
            std::lock_guard lock(m_mutex);
            quint64 count;
            (void)!::read(m_wakeFd, &count, sizeof count);
            if (readyLocked())
                return TPortStatus::Ok;
        }
        // Microseconds, as the terminal's wait: the receive thread's short silences depend on it.
        timespec ts{};
        if (timeoutUs >= 0) {
            const qint64 left = std::chrono::ceil<std::chrono::microseconds>(end - Clock::now()).count();
            if (left <= 0)
                return TPortStatus::Timeout;
            ts = {time_t(left / 1000000), long(left % 1000000) * 1000};
        }
        const int r = ::ppoll(fds, wakeFd < 0 ? 2 : 3, timeoutUs < 0 ? nullptr : &ts, nullptr);
        if (r < 0 && errno != EINTR)
            return TPortStatus::Failed;
        if (r > 0 && !(fds[0].revents & POLLIN) && (fds[2].revents & POLLIN))
            return TPortStatus::Timeout;
    }
}

TPortStatus TScriptedCommPort::Read(char* buffer, quint32 capacity, quint32& got) {
    std::lock_guard lock(m_mutex);
    got = std::min<quint32>(capacity, quint32(m_input.size()));
    std::copy_n(m_input.constData(), got, buffer);
    m_input.remove(0, got);
    if (m_input.isEmpty() && m_readFailure) {
        const TPortStatus st = *m_readFailure;
        m_readFailure.reset();
        return st;
    }
    return TPortStatus::Ok;
}

TPortStatus TScriptedCommPort::TakeEvents(quint32& lineErrors, quint32& modemEvents) {
    std::lock_guard lock(m_mutex);
    lineErrors = modemEvents = 0;
    if (m_eventsFailure) {
        const TPortStatus st = *m_eventsFailure;
        m_eventsFailure.reset();
        return st;
    }
    lineErrors = std::exchange(m_lineErrors, 0);
    modemEvents = std::exchange(m_modemEvents, 0);
    return TPortStatus::Ok;
}

TPortStatus TScriptedCommPort::Write(const char* data, quint32 length, int closeFd) {
    std::unique_lock lock(m_mutex);
    while (m_holdWrites) {
        m_writeWaiting = true;
        lock.unlock();
        pollfd fds[2] = {{closeFd, POLLIN, 0}, {m_writeWakeFd, POLLIN, 0}};
        const int r = ::poll(fds, 2, -1);
        lock.lock();
        m_writeWaiting = false;
        if (r > 0 && (fds[0].revents & POLLIN))
            return TPortStatus::Stop;
        quint64 count;
        (void)!::read(m_writeWakeFd, &count, sizeof count);
    }
    if (m_writeFailure) {
        const TPortStatus st = *m_writeFailure;
        m_writeFailure.reset();
        return st;
    }
    m_written.append(data, qsizetype(length));
    if (m_responder) {
        const QByteArray answer = m_responder(QByteArray(data, qsizetype(length)), m_state);
        if (!answer.isEmpty()) {
            m_input.append(answer.constData(), answer.size());
            wake();
        }
    }
    return TPortStatus::Ok;
}
