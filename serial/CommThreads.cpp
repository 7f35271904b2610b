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
    // bytes, or when the non-zero total read time-out of the read runs out. Framing by length has rules
    // of its own (frameByLength), and the read time-outs play no part in it.
    for (;;) {
        // Emptied before the rule and the expectation are read, so that a change made after this read
        // wakes the wait below.
        quint64 wakes;
        (void)!::read(m_wakeFd, &wakes, sizeof wakes);
        const TFramingRule rule = m_port->FramingRule();
        const bool byLength = rule.Mode == TFraming::Length;
        const TReplyExpectation expected = byLength ? m_port->Expectation() : TReplyExpectation{};
        const TCommTimeouts t = m_port->CommTimeouts();
        // The largest interval means: hand over whatever has arrived without waiting for more.
        const bool anyAtOnce = !byLength && t.ReadIntervalTimeout == kNoInterval;
        const bool interval = !byLength && t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != kNoInterval;
        const bool total =
            !byLength && (t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0);
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
        if (byLength && pending)
            limit(lastByte + microseconds(rule.SilenceUs) + microseconds(1));
        if (expected.Armed)
            limit(expected.Deadline);
        if (m_port->HasPortEvents())
            limit(now + kEventTick);

        const TPortStatus waited = m_port->WaitInput(m_closeFd, timeoutUs, m_wakeFd);
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
        if (byLength) {
            if (!frameByLength(chunk, pending, lastByte, rule, expected))
                return true;
            continue;
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

namespace {

// Where the expected reply starts among the bytes held: the first byte with its address that is followed
// by its function, or its function with 0x80, or by nothing yet; `count` when no byte can start it.
quint32 replyStart(const char* bytes, quint32 count, const TReplyShape& shape) {
    for (quint32 i = 0; i < count; ++i) {
        if (quint8(bytes[i]) != shape.Address)
            continue;
        if (i + 1 == count)
            return i;
        const quint8 function = quint8(bytes[i + 1]);
        if (function == shape.Function || function == (shape.Function | 0x80))
            return i;
    }
    return count;
}

} // namespace

// The expected reply goes on as soon as its length is in: 5 bytes for an exception, which the byte after
// the address tells, else the length expected. It is counted by what was expected, not by the byte count
// the reply carries, which the one who asked judges with the rest of the frame; a count damaged on the
// line would otherwise keep the reply waiting for bytes that never come. Bytes before the reply's start
// go on first, as a chunk of their own (Noise); bytes after its end stay for the next chunk.
// Otherwise a chunk ends after 3.5 characters of silence, at 2048 bytes, or when the expected reply's
// time is up. Noise alone (a bus turning round, an echo) leaves the reply expected; at its time, with
// no start of it come, that is told as no reply. So every expectation ends in one chunk other than
// Noise, or in no reply; bytes when none is expected end at silence.
bool TReadThread::frameByLength(char* chunk, quint32& pending, Clock::time_point lastByte,
                                const TFramingRule& rule, const TReplyExpectation& expected) {
    const quint32 start = expected.Armed ? replyStart(chunk, pending, expected.Shape) : 0;
    const auto handOn = [&](quint32 count, TChunkEnd end) {
        if (!passOn(chunk, count, end))
            return false;
        pending -= count;
        std::copy(chunk + count, chunk + count + pending, chunk);
        m_holding = pending > 0;
        return true;
    };
    if (expected.Armed && start < pending) {
        const TReplyShape& shape = expected.Shape;
        const bool exception =
            start + 1 < pending && quint8(chunk[start + 1]) == quint8(shape.Function | 0x80);
        const quint32 length = exception ? 5u : std::clamp<quint32>(shape.Length, 5u, kReadSize);
        if (pending - start >= length) {
            m_port->EndExpectation(expected.Serial);
            return (!start || handOn(start, TChunkEnd::Noise)) && handOn(length, TChunkEnd::Length);
        }
    }
    const Clock::time_point now = Clock::now();
    const bool full = pending == kReadSize;
    const bool silent = pending && now - lastByte > microseconds(rule.SilenceUs);
    const bool late = expected.Armed && now >= expected.Deadline;
    if (!full && !silent && !late)
        return true;
    if (!expected.Armed)
        return handOn(pending, full ? TChunkEnd::Full : TChunkEnd::Silence);
    if (start && !handOn(start, TChunkEnd::Noise))
        return false;
    if (pending) {
        m_port->EndExpectation(expected.Serial);
        return handOn(pending, full     ? TChunkEnd::Full
                               : silent ? TChunkEnd::Silence
                                        : TChunkEnd::ReplyTimeout);
    }
    if (!late)
        return true;
    m_port->EndExpectation(expected.Serial);
    if (!m_window->Post(SPM_NO_REPLY, 0)) {
        PostHangup();
        return false;
    }
    return true;
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
