#pragma once

#include "CommPort.h"

#include <QObject>
#include <QSocketNotifier>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

class TComm;

// Notifications that the worker threads post to the component's notification window.
enum TCommNotification {
    SPM_RECEIVE_DATA = 0x0400 + 1,
    SPM_RECEIVE_ERROR = 0x0400 + 2,
    SPM_REQUEST_HANGUP = 0x0400 + 3,
    SPM_MODEM_STATE_CHANGE = 0x0400 + 4,
    SPM_SEND_DATA_EMPTY = 0x0400 + 5,
    // Not from the line's threads: a network port's opening thread is done (param: which opening).
    SPM_OPEN_DONE = 0x0400 + 6,
    // Framing by length: the expected reply's time ran out and not one byte had come.
    SPM_NO_REPLY = 0x0400 + 7,
};

// Lives in the GUI thread; the threads post to it and it raises the component's events there, one per
// notification, in the order posted. Notifications wait in its own queue and an eventfd watched by the
// GUI thread's event loop rings for them, so no Qt object crosses threads and each block changes owner
// under a lock the thread checkers see. Notifications never delivered (the component destroyed first)
// still release their blocks.
class TCommWindow : public QObject {
    Q_OBJECT
public:
    explicit TCommWindow(TComm* owner);
    ~TCommWindow() override;
    // Callable from any thread; false when the notification could not be posted. `detail` goes with a
    // received block: why its chunk ended (TChunkEnd).
    bool Post(TCommNotification kind, quint32 param, std::unique_ptr<char[]> block = {}, quint32 detail = 0);
    // Whether a received block waits to be raised. GUI thread.
    bool HoldsReceivedData();
    // Whether posts can reach the GUI thread at all.
    bool CanPost() const { return m_bellFd >= 0; }

private:
    void deliver();
    void raise(TCommNotification kind, quint32 param, quint32 detail, const char* block);

    struct TNotification {
        TCommNotification Kind;
        quint32 Param;
        quint32 Detail;
        std::unique_ptr<char[]> Block;
    };
    TComm* m_owner;
    int m_bellFd = -1;
    QSocketNotifier* m_bell = nullptr;
    std::mutex m_mutex;
    std::deque<TNotification> m_queue;
};

// A worker thread created suspended: its body runs only after Resume, and a thread that is stopped
// before that ends without running it.
class TCommThread {
public:
    TCommThread(TCommPort* port, int closeFd, TCommWindow* window, int priorityBoost);
    virtual ~TCommThread();
    TCommThread(const TCommThread&) = delete;
    TCommThread& operator=(const TCommThread&) = delete;

    void Create(); // throws std::system_error when the thread cannot be created
    void Resume();
    void Cancel(); // a thread not yet resumed ends without running its body
    bool WaitFor(int ms);
    // Waits for the end without a limit. Every concrete thread calls it in its destructor, so that the
    // body never runs on a half-destroyed object.
    void Join();

protected:
    virtual void Execute() = 0;
    bool CloseRequested() const;
    void PostHangup() { m_window->Post(SPM_REQUEST_HANGUP, 0); }

    TCommPort* m_port;
    int m_closeFd;
    TCommWindow* m_window;

private:
    void run();

    int m_priorityBoost;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_resumed = false;
    bool m_cancelled = false;
    bool m_finished = false;
};

class TReadThread : public TCommThread {
public:
    // wakeFd, readable when the framing rule or the expected reply changed, is emptied by the thread.
    TReadThread(TCommPort* port, int closeFd, int wakeFd, TCommWindow* window, int priorityBoost)
        : TCommThread(port, closeFd, window, priorityBoost), m_wakeFd(wakeFd) {}
    ~TReadThread() override { Join(); }

    // Whether the thread holds bytes of a chunk not yet handed on. Any thread.
    bool Holding() const { return m_holding.load(); }

protected:
    void Execute() override;

private:
    // The thread's work; false when it ended on a descriptor closed under it.
    bool receive();
    bool passOn(const char* bytes, quint32 count, TChunkEnd end);
    TPortStatus handleEvents();
    // Framing by length: hands on what the rule says is done; false when the thread must end.
    bool frameByLength(char* chunk, quint32& pending, std::chrono::steady_clock::time_point lastByte,
                       const TFramingRule& rule, const TReplyExpectation& expected);

    int m_wakeFd;
    std::atomic<bool> m_holding{false};
};

// A block queued by SendData; it belongs to the transmit thread once queued.
struct TWriteBlock {
    std::unique_ptr<char[]> Data;
    quint16 Length = 0;
};

class TWriteThread : public TCommThread {
public:
    TWriteThread(TCommPort* port, int closeFd, TCommWindow* window, int priorityBoost);
    ~TWriteThread() override;
    // GUI thread. False when the thread has ended and takes no more blocks; the block is then released.
    bool Queue(TWriteBlock block);

protected:
    void Execute() override;

private:
    bool take(TWriteBlock& block);
    void endQueue();

    int m_queueFd = -1; // readable while blocks wait in the queue
    std::mutex m_queueMutex;
    std::deque<TWriteBlock> m_queue;
    bool m_queueClosed = false;
};
