#pragma once

#include "CommPort.h"

#include <QByteArray>
#include <QList>

#include <functional>
#include <mutex>
#include <optional>

// A port layer driven by a script instead of a device, for tests: it injects bytes, line errors, modem
// events and failing calls, which a pseudo-terminal cannot produce, and records what the component asked
// of the platform. Safe to drive from the test's thread while the worker threads use it.
class TScriptedCommPort : public TCommPort {
public:
    TScriptedCommPort();
    ~TScriptedCommPort() override;

    // The script.
    void SetOpenResult(bool ok);
    void SetSetupResult(bool ok);
    void Feed(const QByteArray& bytes);
    void RaiseLineErrors(quint32 flags);
    void RaiseModemEvents(quint32 bits);
    // The next read (after the bytes already fed), event fetch or write ends with this status.
    void FailRead(TPortStatus status);
    void FailEvents(TPortStatus status);
    void FailWrite(TPortStatus status);
    // While held, a write waits (as on a stalled line) until released or the close request comes.
    void HoldWrites(bool hold);
    // Whether a write is waiting on the hold now.
    bool WriteWaiting() const;
    // A device on the line: called in the transmit thread with each written block and the line record
    // in force; what it returns is fed as input. It must build its answer afresh each call.
    using Responder = std::function<QByteArray(const QByteArray& written, const TCommState& state)>;
    void SetResponder(Responder responder);

    // What reached the platform.
    bool IsOpen() const;
    QByteArray OpenedName() const;
    int StateWrites() const;
    TCommState LastState() const;
    int TimeoutWrites() const;
    QByteArray Written() const;
    QList<quint32> Purges() const;

    bool Open(const QByteArray& name) override;
    bool SetupComm(quint32 rxSize, quint32 txSize) override;
    void Close() override;
    void Purge(quint32 flags) override;
    void SetCommState(const TCommState& state) override;
    void SetCommTimeouts(const TCommTimeouts& timeouts) override;
    TPortStatus WaitInput(int closeFd, qint64 timeoutUs, int wakeFd) override;
    TPortStatus Read(char* buffer, quint32 capacity, quint32& got) override;
    TPortStatus TakeEvents(quint32& lineErrors, quint32& modemEvents) override;
    bool HasPortEvents() const override { return true; }
    TPortStatus Write(const char* data, quint32 length, int closeFd) override;

private:
    void wake();
    bool readyLocked() const;

    mutable std::mutex m_mutex;
    int m_wakeFd = -1;
    bool m_openResult = true;
    bool m_setupResult = true;
    bool m_open = false;
    QByteArray m_name;
    QByteArray m_input;
    quint32 m_lineErrors = 0;
    quint32 m_modemEvents = 0;
    std::optional<TPortStatus> m_readFailure;
    std::optional<TPortStatus> m_eventsFailure;
    std::optional<TPortStatus> m_writeFailure;
    bool m_holdWrites = false;
    bool m_writeWaiting = false;
    int m_writeWakeFd = -1;
    int m_stateWrites = 0;
    TCommState m_state;
    int m_timeoutWrites = 0;
    QByteArray m_written;
    QList<quint32> m_purges;
    Responder m_responder;
};
