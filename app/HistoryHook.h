#pragma once
// The panel's recording: what the line watch detects in every traffic record, port change and operator
// command of TForm1 goes to the history's writer thread. Opens the trend and event windows on the file.

#include "EventDetector.h"
#include "HistoryRecorder.h"
#include "LineWatch.h"

#include <QObject>
#include <QPointer>

class TForm1;
class TTrendWindow;
class TEventWindow;
class QWidget;

class THistoryHook : public QObject {
    Q_OBJECT
public:
    THistoryHook(TForm1* form, LineWatch* watch, QObject* parent = nullptr);
    ~THistoryHook() override;

    // Starts recording into `path`, with the event recording-started; false with the reason when the
    // file cannot be used, and then the panel records nothing.
    bool Start(const QString& path, QString* error);
    // A clean end: the event recording-stopped with `reason` ("window closed", "SIGTERM", ...), then
    // what is queued and the last minute's rows are written and the file is let go.
    void Stop(const QString& reason);
    bool IsRecording() const { return m_recorder.IsOpen(); }
    // Another panel was recording into the same file when this one started: both record into it.
    bool SharedWithAnotherPanel() const { return m_shared; }
    QString Path() const { return m_path; }
    HistoryRecorder& Recorder() { return m_recorder; }
    // The device the panel talks to now: the port box's port and the address box's address.
    DeviceKey CurrentDevice() const;

    TTrendWindow* TrendWindow() const;
    TEventWindow* EventWindow() const;

signals:
    // In the GUI thread, after the writer committed what was handed over.
    void committed();
    // In the GUI thread, when writing fails (a full disk, a removed file), and when it works again.
    void failed(const QString& why);
    void recovered();

public slots:
    void showTrend(QWidget* parent);
    void showEvents(QWidget* parent);

private:
    void record(const EventDetector::Output& out);
    void record(const std::vector<HistoryEvent>& events);

    TForm1* m_form;
    QString m_path;
    // Held open, with an flock while this panel is the file's only recorder, until the writer has let
    // the file go: closing a descriptor of the file earlier would drop the database's own locks.
    int m_claimFd = -1;
    bool m_shared = false;
    LineWatch* m_watch;
    HistoryRecorder m_recorder;
    QPointer<TTrendWindow> m_trend;
    QPointer<TEventWindow> m_events;
};
