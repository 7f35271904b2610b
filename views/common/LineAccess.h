#pragma once
// What a window beyond the form may use of the running panel's line: its traffic with the statistics,
// and the line itself for a window that borrows it (the bus scan). The frame implements it over the
// form and hands it to the windows it makes, so that no window needs the form or the frame.

#include "LineFormat.h"
#include "TrafficBuffer.h"
#include "TrafficStats.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <functional>

class TComm;

class LineAccess : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The newest records of the line and their statistics.
    virtual const TrafficBuffer& Traffic() const = 0;
    virtual const TrafficStats& Stats() const = 0;
    // The monotonic time (TrafficMonotonicUs) at which the panel started: the origin of shown times.
    virtual qint64 StartUs() const = 0;
    // Empties Traffic() (and its dropped count) and says so (trafficCleared); the statistics stay.
    virtual void ClearTraffic() = 0;
    virtual void ResetStats() = 0;

    // The serial component on the line, for its state and settings, and for sending while borrowed.
    virtual TComm* Comm() const = 0;
    // The serial component's silence interval in milliseconds, which every answer waits out.
    virtual int SilenceMs() const = 0;
    // Whether the panel polls the device ("通讯" ticked), and the slave address it polls.
    virtual bool Polling() const = 0;
    virtual quint8 Address() const = 0;
    // The baud rates and formats the panel offers, read as its boxes read them.
    virtual QList<quint32> OfferedBaudRates() const = 0;
    virtual QStringList OfferedFormats() const = 0;

    // Borrows the line: every received chunk goes to `receiver` and not to the poll cycle, and the
    // panel's polling, baud-rate and format controls are held still. An empty receiver gives it back.
    using Receiver = std::function<void(const char* data, quint16 length)>;
    virtual void Borrow(Receiver receiver) = 0;
    // Hands a record of the borrower's traffic to the line's listeners, as the panel's own.
    virtual void Report(const TrafficRecord& record) = 0;
    // Makes a device the panel's: its address, baud rate and format (empty: unchanged) into the panel's
    // boxes, applied as if the operator had chosen them.
    virtual void Use(quint8 address, quint32 baudRate, const QString& format) = 0;

signals:
    void trafficCleared();
    // The panel brought its status up to date: windows showing the line take what came since now, so
    // that every window is painted in one pass.
    void refreshed();
    void portEvent(PortEvent event);
    // The panel's polling was switched on or off.
    void pollingChanged(bool polling);
};
