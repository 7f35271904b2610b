#pragma once
// Watches the panel's line for the operator and the recording alike: every traffic record, port change
// and operator command goes through one event detector, so the history, the alarm strip, the command
// line and the stale veil are told the same facts. Whether the readings are live is decided here too.

#include "AlarmStates.h"
#include "CommandFate.h"
#include "EventDetector.h"
#include "Freshness.h"
#include "RegisterTable.h"

#include <QObject>

class LineWatch : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The device the panel talks to now (its port and address); the watch notes an address change.
    void SetDevice(const DeviceKey& device);
    DeviceKey Device() const { return m_device; }
    // What became of the port: opened, closed or vanished.
    void OnPort(PortChange change);
    void SetPolling(bool polling);
    // One record of the line, in order.
    void Take(const TrafficRecord& record);
    // The operator set a command for the current device; `sent` is false when polling held it back.
    void OnCommand(quint8 writeRegister, quint16 writeValue, bool sent);
    // The form no longer holds a command pending (its display tick gave it up or it was answered).
    void OnCommandEnded();
    // The operator `user` (the operating system's) acknowledged these alarms: one event alarm-ack per
    // device, for the recording.
    void OnAcknowledge(const std::vector<AlarmEntry>& acknowledged, const QString& user, qint64 utcMs);

    const Freshness& Readings() const { return m_freshness; }
    const EventDetector& Detector() const { return m_detector; }
    // The newest command's fate.
    const CommandFate& Commands() const { return m_commands; }
    // The registers last read from the current device, from the accepted blocks the detector gives.
    const RegisterTable& Registers() const { return m_registers; }

signals:
    // What the detector made of each fact: a reading and the events around it.
    void detected(const EventDetector::Output& out);
    // The readings turned live (an accepted reply) or stale.
    void liveChanged(bool live);
    // The newest command's fate changed (Commands()).
    void commandFateChanged();

private:
    void Detected(const EventDetector::Output& out, qint64 monotonicUs);

    DeviceKey m_device;
    EventDetector m_detector;
    Freshness m_freshness;
    CommandFate m_commands;
    RegisterTable m_registers;
};
