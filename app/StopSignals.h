#pragma once
// SIGTERM and SIGINT end the panel as closing its window does, so the history records the stop and
// writes its last minute instead of the process dying where it stands. The handler only writes the
// signal's number to a socket; the GUI thread reads it and says which came.

#include <QObject>
#include <QString>

class QSocketNotifier;

class TStopSignals : public QObject {
    Q_OBJECT
public:
    // Takes over SIGTERM and SIGINT; one object at a time. The destructor gives them back.
    explicit TStopSignals(QObject* parent = nullptr);
    ~TStopSignals() override;

signals:
    // In the GUI thread: "SIGTERM" or "SIGINT".
    void received(const QString& name);

private:
    void readSignal();

    QSocketNotifier* m_notifier = nullptr;
};
