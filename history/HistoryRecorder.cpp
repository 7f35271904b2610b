#include "HistoryRecorder.h"

#include <QDateTime>

#include <chrono>

namespace {

constexpr qint64 kTrimIntervalMs = 24LL * 3600 * 1000;
// A batch that could not be written is tried again with the next; beyond this many blocks (an hour of
// polling) or events the oldest are given up, so a full disk cannot eat the memory.
constexpr size_t kRetryLimit = 3600;
constexpr size_t kEventRetryLimit = 10000;

} // namespace

HistoryRecorder::HistoryRecorder() = default;

HistoryRecorder::~HistoryRecorder() {
    Close();
}

bool HistoryRecorder::Open(const QString& path, QString* error, std::function<qint64()> nowMs) {
    Close();
    if (!m_store.Open(path, HistoryStore::Access::ReadWrite, error))
        return false;
    m_path = path;
    m_now = nowMs ? std::move(nowMs) : [] { return QDateTime::currentMSecsSinceEpoch(); };
    m_stop = false;
    m_thread = std::thread([this] { Run(); });
    return true;
}

void HistoryRecorder::Close() {
    if (!m_thread.joinable())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
    m_store.Close();
}

void HistoryRecorder::SetCommitted(std::function<void()> committed) {
    const std::lock_guard lock(m_mutex);
    m_committed = std::move(committed);
}

void HistoryRecorder::SetFailed(std::function<void(const QString&)> failed) {
    const std::lock_guard lock(m_mutex);
    m_failed = std::move(failed);
}

void HistoryRecorder::SetRecovered(std::function<void()> recovered) {
    const std::lock_guard lock(m_mutex);
    m_recovered = std::move(recovered);
}

void HistoryRecorder::Record(const BlockSample& block) {
    {
        const std::lock_guard lock(m_mutex);
        m_blocks.push_back(block);
        ++m_queued;
    }
    m_wake.notify_one();
}

void HistoryRecorder::Record(const HistoryEvent& event) {
    {
        const std::lock_guard lock(m_mutex);
        m_events.push_back(event);
        ++m_queued;
    }
    m_wake.notify_one();
}

void HistoryRecorder::Flush() {
    std::unique_lock lock(m_mutex);
    const quint64 target = m_queued;
    m_done.wait(lock, [&] { return m_settled >= target || !m_thread.joinable(); });
}

void HistoryRecorder::Run() {
    // The writer owns the connection from here on.
    qint64 nextTrim = 0;
    std::vector<BlockSample> blocks;
    std::vector<HistoryEvent> events;
    bool failing = false;
    std::unique_lock lock(m_mutex);
    for (;;) {
        const qint64 now = m_now();
        if (now >= nextTrim) {
            lock.unlock();
            // Blocks of a recording that ended without writing its minute rows (a crash) get them now.
            m_store.CatchUpMinutes();
            m_store.Trim(now);
            nextTrim = now + kTrimIntervalMs;
            lock.lock();
            continue;
        }
        // A batch that failed is tried again without waiting for more.
        if (m_blocks.empty() && m_events.empty() && blocks.empty() && events.empty() && !m_stop) {
            m_wake.wait_for(lock, std::chrono::milliseconds(std::min<qint64>(nextTrim - now, 60000)));
            continue;
        }
        const bool stopping = m_stop;
        const quint64 taken = m_blocks.size() + m_events.size();
        blocks.insert(blocks.end(), m_blocks.begin(), m_blocks.end());
        events.insert(events.end(), m_events.begin(), m_events.end());
        m_blocks.clear();
        m_events.clear();
        lock.unlock();

        const bool any = !blocks.empty() || !events.empty();
        const bool ok = !any || m_store.Append(blocks, events);
        if (ok) {
            blocks.clear();
            events.clear();
        } else {
            if (blocks.size() > kRetryLimit)
                blocks.erase(blocks.begin(), blocks.end() - qsizetype(kRetryLimit));
            if (events.size() > kEventRetryLimit)
                events.erase(events.begin(), events.end() - qsizetype(kEventRetryLimit));
        }
        if (stopping)
            m_store.CatchUpMinutes();

        lock.lock();
        const auto committed = m_committed;
        const auto failed = m_failed;
        const auto recovered = m_recovered;
        m_settled += taken;
        lock.unlock();
        m_done.notify_all();
        if (ok && any && failing && recovered)
            recovered();
        if (ok && any && committed)
            committed();
        if (!ok && !failing && failed)
            failed(m_store.LastError());
        if (any)
            failing = !ok;
        if (stopping)
            return;
        if (!ok)
            std::this_thread::sleep_for(std::chrono::seconds(1));
        lock.lock();
    }
}
