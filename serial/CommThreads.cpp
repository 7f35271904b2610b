#include "CommThreads.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <limits>
#include <system_error>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;
using std::chrono::milliseconds;

constexpr quint32 kReadSize = 2048;
// While nothing is pending, how often the receive thread looks for line errors and modem changes on a
// port that can report them without input.
constexpr microseconds kEventTick = milliseconds(50);
constexpr quint32 kNoInterval = std::numeric_limits<quint32>::max();

bool fdSignalled(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

} // namespace

// Threads

TCommThread::TCommThread(TCommPort* port, int closeFd, TCommWindow* window, int priorityBoost)
    : m_port(port), m_closeFd(closeFd), m_window(window), m_priorityBoost(priorityBoost) {}

TCommThread::~TCommThread() {
    Join();
}

void TCommThread::Join() {
    if (m_thread.joinable()) {
        Cancel();
        m_thread.join();
    }
}

void TCommThread::Create() {
    m_thread = std::thread([this] { run(); });
}

void TCommThread::Resume() {
    std::lock_guard lock(m_mutex);
    m_resumed = true;
    m_cv.notify_all();
}

void TCommThread::Cancel() {
    std::lock_guard lock(m_mutex);
    m_cancelled = true;
    m_cv.notify_all();
}

bool TCommThread::WaitFor(int ms) {
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, milliseconds(ms), [this] { return m_finished; });
}

bool TCommThread::CloseRequested() const {
    return fdSignalled(m_closeFd);
}

void TCommThread::run() {
    bool start;
    {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [this] { return m_resumed || m_cancelled; });
        start = m_resumed && !m_cancelled;
    }
    if (start) {
        // A higher priority is asked for; where the system refuses it the thread runs at normal priority.
        errno = 0;
        const int nice = ::getpriority(PRIO_PROCESS, 0);
        if (errno == 0)
            (void)::setpriority(PRIO_PROCESS, ::gettid(), nice - m_priorityBoost);
        Execute();
    }
    std::lock_guard lock(m_mutex);
    m_finished = true;
    m_cv.notify_all();
}

// Receive thread

bool TReadThread::passOn(const char* bytes, quint32 count, TChunkEnd end) {
    std::unique_ptr<char[]> block(new (std::nothrow) char[count + 1]());
    if (!block) {
        PostHangup();
        return false;
    }
    std::copy(bytes, bytes + count, block.get());
    // A block that cannot be posted is released with the failed post.
    if (!m_window->Post(SPM_RECEIVE_DATA, count, std::move(block), quint32(end))) {
        PostHangup();
        return false;
    }
    // Only once the block waits in the window's queue: the bytes are always in one place or the other.
    m_holding = false;
    return true;
}

// Line errors and modem changes gathered since the last look. Failed is left to the caller, which hands
// over the chunk received so far before it ends with a hang-up; Stop means the thread must end at once
// (a notification could not be posted, the hang-up already is).
TPortStatus TReadThread::handleEvents() {
    quint32 errors = 0, modem = 0;
    const TPortStatus st = m_port->TakeEvents(errors, modem);
    if (st != TPortStatus::Ok)
        return st;
    modem &= MODEM_EVENT_RING | MODEM_EVENT_CARRIER;
    if ((errors && !m_window->Post(SPM_RECEIVE_ERROR, errors)) ||
        (modem && !m_window->Post(SPM_MODEM_STATE_CHANGE, modem))) {
        PostHangup();
        return TPortStatus::Stop;
    }
    return TPortStatus::Ok;
}

void TReadThread::Execute() {
    // The receive queue is emptied at the end, except on a descriptor closed under the thread, whose
    // number may already belong to something else.
    if (receive())
        m_port->Purge(PURGE_RXABORT | PURGE_RXCLEAR);
    m_holding = false;
}

bool TReadThread::receive() {
    char chunk[kReadSize];
    quint32 pending = 0;
    Clock::time_point readStart = Clock::now();
    Clock::time_point lastByte = readStart;

    // A chunk ends after more than ReadIntervalTimeout ms of silence following its last byte, at 2048
    // bytes, or when the non-zero total read time-out of the read runs out.
    for (;;) {
        const TCommTimeouts t = m_port->CommTimeouts();
        // The largest interval means: hand over whatever has arrived without waiting for more.
        const bool anyAtOnce = t.ReadIntervalTimeout == kNoInterval;
        const bool interval = t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != kNoInterval;
        const bool total = t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0;
        const Clock::time_point totalEnd =
            readStart +
            milliseconds(qint64(t.ReadTotalTimeoutMultiplier) * kReadSize + t.ReadTotalTimeoutConstant);
        const milliseconds silence(t.ReadIntervalTimeout);

        Clock::time_point now = Clock::now();
        qint64 timeoutUs = -1;
        auto limit = [&](Clock::time_point end) {
            const qint64 us = std::max<qint64>(0, std::chrono::ceil<microseconds>(end - now).count());
            timeoutUs = timeoutUs < 0 ? us : std::min(timeoutUs, us);
        };
        if (pending && interval)
            limit(lastByte + silence + microseconds(1));
        if (total)
            limit(totalEnd);
        if (m_port->HasPortEvents())
            limit(now + kEventTick);

        const TPortStatus waited = m_port->WaitInput(m_closeFd, timeoutUs);
        if (waited == TPortStatus::Stop)
            return true;
        if (waited == TPortStatus::Invalid)
            return false;
        bool failed = waited == TPortStatus::Failed;
        // On a vanished device the events call may be the first to fail (every ioctl of a hung-up
        // terminal does): the bytes the driver still holds are read all the same.
        TPortStatus events = handleEvents();
        if (events == TPortStatus::Invalid)
            return false;
        if (events == TPortStatus::Stop)
            return true;
        failed = failed || events == TPortStatus::Failed;
        if (waited == TPortStatus::Ok) {
            while (pending < kReadSize) {
                quint32 got = 0;
                const TPortStatus st = m_port->Read(chunk + pending, kReadSize - pending, got);
                if (st == TPortStatus::Invalid)
                    return false;
                if (st == TPortStatus::Stop)
                    return true;
                if (got) {
                    pending += got;
                    lastByte = Clock::now();
                    m_holding = true;
                }
                if (st == TPortStatus::Failed) {
                    failed = true;
                    break;
                }
                if (!got)
                    break;
            }
            // Marks decoded from the input may carry line errors of their own.
            events = handleEvents();
            if (events == TPortStatus::Invalid)
                return false;
            if (events == TPortStatus::Stop)
                return true;
            failed = failed || events == TPortStatus::Failed;
        }
        if (failed) {
            // A vanished device: what arrived before it is still delivered, then the owner hears of it once.
            // (A chunk that cannot be passed on has already raised the hang-up.)
            if (!pending || passOn(chunk, pending, TChunkEnd::Hangup))
                PostHangup();
            return true;
        }
        now = Clock::now();
        const bool full = pending == kReadSize;
        const bool silent = pending && interval && now - lastByte > silence;
        const bool atOnce = anyAtOnce && pending;
        const bool timedOut = total && now >= totalEnd;
        if (full || silent || atOnce || timedOut) {
            const TChunkEnd end = full     ? TChunkEnd::Full
                                  : silent ? TChunkEnd::Silence
                                  : atOnce ? TChunkEnd::AtOnce
                                           : TChunkEnd::TotalTimeout;
            // A read whose total time-out ran out with nothing in it is issued again.
            if (pending && !passOn(chunk, pending, end))
                return true;
            pending = 0;
            readStart = now;
        }
    }
}

// Transmit thread

TWriteThread::TWriteThread(TCommPort* port, int closeFd, TCommWindow* window, int priorityBoost)
    : TCommThread(port, closeFd, window, priorityBoost) {
    m_queueFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_queueFd < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
}

TWriteThread::~TWriteThread() {
    Join();
    ::close(m_queueFd);
}

bool TWriteThread::Queue(TWriteBlock block) {
    std::lock_guard lock(m_queueMutex);
    if (m_queueClosed)
        return false;
    m_queue.push_back(std::move(block));
    const quint64 one = 1;
    while (::write(m_queueFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
    return true;
}

bool TWriteThread::take(TWriteBlock& block) {
    std::lock_guard lock(m_queueMutex);
    if (m_queue.empty()) {
        quint64 count;
        // Cleared under the lock so that a block queued after this read signals it again.
        (void)!::read(m_queueFd, &count, sizeof count);
        return false;
    }
    block = std::move(m_queue.front());
    m_queue.pop_front();
    return true;
}

// Blocks still queued are released unwritten, and later ones are refused.
void TWriteThread::endQueue() {
    std::deque<TWriteBlock> unwritten;
    {
        std::lock_guard lock(m_queueMutex);
        m_queueClosed = true;
        unwritten.swap(m_queue);
    }
}

void TWriteThread::Execute() {
    bool emptyNotice = true;
    bool purge = true;
    for (;;) {
        TWriteBlock block;
        if (!take(block)) {
            if (emptyNotice && !m_window->Post(SPM_SEND_DATA_EMPTY, 0)) {
                PostHangup();
                break;
            }
            emptyNotice = false;
            pollfd fds[2] = {{m_closeFd, POLLIN, 0}, {m_queueFd, POLLIN, 0}};
            const int r = ::poll(fds, 2, -1);
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0) {
                PostHangup();
                break;
            }
            if (fds[0].revents & POLLIN)
                break;
            continue;
        }
        if (CloseRequested())
            break;
        const TPortStatus st = m_port->Write(block.Data.get(), block.Length, m_closeFd);
        block.Data.reset();
        if (st == TPortStatus::Invalid) {
            purge = false;
            break;
        }
        if (st == TPortStatus::Failed)
            PostHangup();
        if (st != TPortStatus::Ok)
            break;
        emptyNotice = true;
    }
    endQueue();
    if (purge)
        m_port->Purge(PURGE_TXABORT | PURGE_TXCLEAR);
}
