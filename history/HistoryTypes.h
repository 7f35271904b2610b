#pragma once
// What the history records: the blocks the poll cycle accepted and the events around them.

#include <QString>
#include <QtGlobal>

#include <array>
#include <optional>

// The device a reading or an event belongs to: the port name and the slave address. Shown and written
// to CSV as "/dev/ttyUSB0#1".
struct DeviceKey {
    QString port;
    quint8 address = 0;

    QString Name() const { return port + QLatin1Char('#') + QString::number(address); }
    friend bool operator==(const DeviceKey&, const DeviceKey&) = default;
};

// One accepted read reply: its ten registers as the device sent them.
struct BlockSample {
    qint64 utcMs = 0;
    DeviceKey device;
    quint8 block = 0; // first register: 0, 10 or 20
    std::array<quint16, 10> registers{};
};

enum class EventKind : quint8 {
    AlarmSet,
    AlarmClear,
    Run,
    Stop,
    Command,
    CommandConfirmed,
    CommandRefused,
    CommandUnanswered,
    PortOpen,
    PortClose,
    PortVanished,
    LinkLost,
    LinkRestored,
    RecordingStarted,
    RecordingStopped,
    StateAtStart,
};
inline constexpr int kEventKindCount = int(EventKind::StateAtStart) + 1;

// "alarm-set", "alarm-clear", "run", "stop", "command", "command-confirmed", "command-refused",
// "command-unanswered", "port-open", "port-close", "port-vanished", "link-lost", "link-restored",
// "recording-started", "recording-stopped", "state-at-start": the kind as the database and the CSV
// files hold it.
const char* EventKindKeyword(EventKind kind);
std::optional<EventKind> EventKindFromKeyword(QStringView keyword);

struct HistoryEvent {
    qint64 utcMs = 0;
    DeviceKey device;
    EventKind kind = EventKind::Command;
    // The alarm's name for alarms; register and value for commands; the port for ports; for a state
    // found at start, "run" or the alarm's name; how the recording ended for its stop.
    QString detail;
    friend bool operator==(const HistoryEvent&, const HistoryEvent&) = default;
};
