#include "HistoryHook.h"

#include "CRC16.h"
#include "CommandLine.h"
#include "EventWindow.h"
#include "TrendWindow.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

THistoryHook::THistoryHook(TForm1* form, LineWatch* watch, QObject* parent)
    : QObject(parent), m_form(form), m_watch(watch) {}

THistoryHook::~THistoryHook() {
    // The windows read the file; the writer finishes its last batch before the file is let go.
    delete m_trend;
    delete m_events;
    if (IsRecording())
        Stop(QStringLiteral("window closed"));
    if (m_claimFd >= 0)
        ::close(m_claimFd);
}

bool THistoryHook::Start(const QString& path, QString* error) {
    if (!m_recorder.Open(path, error))
        return false;
    m_path = path;
    // Panels claim the file with flock, which the database's own (fcntl) locks do not see.
    m_claimFd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    m_shared = m_claimFd >= 0 && ::flock(m_claimFd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    // Called in the writer thread: hand over to the GUI thread, where this object lives.
    m_recorder.SetCommitted(
        [this] { QMetaObject::invokeMethod(this, &THistoryHook::committed, Qt::QueuedConnection); });
    m_recorder.SetFailed([this](const QString& why) {
        QMetaObject::invokeMethod(
            this, [this, why] { emit failed(why); }, Qt::QueuedConnection);
    });
    m_recorder.SetRecovered(
        [this] { QMetaObject::invokeMethod(this, &THistoryHook::recovered, Qt::QueuedConnection); });
    record({m_watch->Detector().OnRecording(true, CurrentDevice(), VersionText(),
                                            QDateTime::currentMSecsSinceEpoch())});
    // The watch's detector decides the events, for the operator and the recording alike.
    connect(m_watch, &LineWatch::detected, this,
            qOverload<const EventDetector::Output&>(&THistoryHook::record));
    return true;
}

void THistoryHook::Stop(const QString& reason) {
    if (!IsRecording())
        return;
    record({m_watch->Detector().OnRecording(false, CurrentDevice(), reason,
                                            QDateTime::currentMSecsSinceEpoch())});
    m_recorder.Close();
}

TTrendWindow* THistoryHook::TrendWindow() const {
    return m_trend;
}

TEventWindow* THistoryHook::EventWindow() const {
    return m_events;
}

DeviceKey THistoryHook::CurrentDevice() const {
    return DeviceKey{m_form->Comm1->CommName(), m_form->Address()};
}

void THistoryHook::record(const EventDetector::Output& out) {
    // Nothing is queued once the recording stopped: no writer would take it.
    if (!m_recorder.IsOpen())
        return;
    if (out.block)
        m_recorder.Record(*out.block);
    record(out.events);
}

void THistoryHook::record(const std::vector<HistoryEvent>& events) {
    if (!m_recorder.IsOpen())
        return;
    for (const HistoryEvent& e : events)
        m_recorder.Record(e);
}

void THistoryHook::showTrend(QWidget* parent) {
    if (!m_trend) {
        m_trend = new TTrendWindow(m_path, parent);
        connect(this, &THistoryHook::committed, m_trend, &TTrendWindow::newData);
    }
    m_trend->ShowDevice(CurrentDevice());
    m_trend->show();
    m_trend->raise();
    m_trend->activateWindow();
}

void THistoryHook::showEvents(QWidget* parent) {
    if (!m_events) {
        m_events = new TEventWindow(m_path, parent);
        connect(this, &THistoryHook::committed, m_events, &TEventWindow::newData);
    }
    m_events->show();
    m_events->raise();
    m_events->activateWindow();
}
