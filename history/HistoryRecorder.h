#pragma once
// Records into the history without holding up the poll cycle: the GUI thread only queues what it hands
// over; a writer thread commits it, one transaction per batch, and trims the file at start and once a
// day.

#include "HistoryStore.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class HistoryRecorder {
public:
    HistoryRecorder();
    ~HistoryRecorder();
    HistoryRecorder(const HistoryRecorder&) = delete;
    HistoryRecorder& operator=(const HistoryRecorder&) = delete;

    // Opens (or creates) the file in the calling thread, so the caller learns at once whether recording
    // is possible, then starts the writer. `nowMs` gives the wall clock for the retention (tests replace it).
    bool Open(const QString& path, QString* error, std::function<qint64()> nowMs = {});
    // Writes what is queued, the open minute rows, and stops the writer.
    void Close();
    bool IsOpen() const { return m_thread.joinable(); }
    QString Path() const { return m_path; }

    // Queued for the writer; never waits for the disk.
    void Record(const BlockSample& block);
    void Record(const HistoryEvent& event);
    // Waits until everything queued before the call is committed (or failed).
    void Flush();

    // Run in the writer thread: after each commit that wrote something; once with the reason when
    // writing fails (later failures are not reported again until a write succeeds); and once when a
    // write succeeds after a failure. While writes fail, the newest hour of blocks and the newest
    // 10000 events are held to be tried again every second; older ones are given up.
    void SetCommitted(std::function<void()> committed);
    void SetFailed(std::function<void(const QString& why)> failed);
    void SetRecovered(std::function<void()> recovered);

private:
    void Run();

    HistoryStore m_store;
    QString m_path;
    std::function<qint64()> m_now;
    std::function<void()> m_committed;
    std::function<void(const QString&)> m_failed;
    std::function<void()> m_recovered;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::vector<BlockSample> m_blocks;
    std::vector<HistoryEvent> m_events;
    quint64 m_queued = 0;  // items handed over so far
    quint64 m_settled = 0; // of those, committed or given up
    bool m_stop = false;
    std::thread m_thread;
};
