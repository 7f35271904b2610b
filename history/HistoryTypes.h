#pragma once
// What the history records: the blocks the poll cycle accepted and the events around them.

#include "Verdict.h"

#include <QString>
#include <QStringList>
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
    CommandUnconfirmed,
    PortOpen,
    PortClose,
    PortVanished,
    LinkLost,
    LinkRestored,
    RecordingStarted,
    RecordingStopped,
    StateAtStart,
    AlarmAck,
};
inline constexpr int kEventKindCount = int(EventKind::AlarmAck) + 1;

// "alarm-set", "alarm-clear", "run", "stop", "command", "command-confirmed", "command-refused",
// "command-unanswered", "command-unconfirmed", "port-open", "port-close", "port-vanished", "link-lost",
// "link-restored", "recording-started", "recording-stopped", "state-at-start", "alarm-ack": the kind as
// the database and the CSV files hold it.
const char* EventKindKeyword(EventKind kind);
std::optional<EventKind> EventKindFromKeyword(QStringView keyword);

struct HistoryEvent {
    qint64 utcMs = 0;
    DeviceKey device;
    EventKind kind = EventKind::Command;
    // The alarm's name for alarms; a CommandDetail for commands; the port for ports; for a state found
    // at start, "run" or the alarm's name; how the recording ended for its stop; for an acknowledgement,
    // who acknowledged which alarms (AlarmAckDetail). Keywords and raw numbers, never the operator's
    // language: files read the same whatever the windows showed.
    QString detail;
    friend bool operator==(const HistoryEvent&, const HistoryEvent&) = default;
};

// The detail of an acknowledgement: the operating-system user and the names of the alarms acknowledged,
// "user alice: TEMP MAX, PWER".
QString AlarmAckDetail(const QString& user, const QStringList& alarms);
// The user and the alarms of such a detail; nullopt for any other text.
struct AckDetail {
    QString user;
    QStringList alarms;
};
std::optional<AckDetail> ParseAlarmAckDetail(QStringView detail);

// The detail of a command event: "register 4 value 250", the register and the raw value written, then
// for any outcome but a plain one " reason " and a keyword with what it carries:
//   commoff              not sent: the communication box was unticked
//   port                 the port did not take the request
//   exception 02         the device refused the write with that exception code (hex)
//   noreply, crc, ...    the echo was lost or garbled: the traffic verdict's keyword on the answer
//   read held 240        settled by the next accepted read of the register, which held 240
struct CommandDetail {
    enum class Reason : quint8 { None, CommOff, Port, Answer, Read };

    quint16 reg = 0;
    quint16 value = 0;
    Reason reason = Reason::None;
    Verdict answer = Verdict::Confirmed; // Answer: the verdict on the answer, NoReply when none came
    quint8 exceptionCode = 0;            // Answer with Verdict::Exception
    quint16 held = 0;                    // Read: the register's content then
    // What follows the known part in details of earlier panels ("; answer: crc"), kept as it is.
    QString rest{};

    QString Text() const;
    // nullopt unless `detail` starts with "register N value N".
    static std::optional<CommandDetail> Parse(QStringView detail);
    friend bool operator==(const CommandDetail&, const CommandDetail&) = default;
};
