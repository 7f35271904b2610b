#pragma once
// The fleet file: the lines the panel polls and the Z7s on each, as JSON (see docs/fleet.md). It is read
// strictly: a file with any fault is refused as a whole, with the place of the fault and what belongs
// there, so that no line starts with a setting the operator did not mean.

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// How the port layer tells where a reply ends: by its expected length (or 3.5 character times of
// silence), or by the form's 100 ms of silence.
enum class FleetFraming { Length, Silence };

struct FleetDevice {
    int address = 1;
    QString name; // DefaultDeviceName(address) when the file names none
    bool operator==(const FleetDevice&) const = default;
};

struct FleetLine {
    QString id;
    QString port; // a device path or tcp://HOST:PORT
    quint32 baud = 19200;
    QString format = QStringLiteral("8_N_2"); // one of LineFormatChoices()
    FleetFraming framing = FleetFraming::Length;
    int timeoutMs = 300;
    int gapMs = 5; // the pause between a reply and the next request
    QList<FleetDevice> devices;
    bool operator==(const FleetLine&) const = default;
};

struct Fleet {
    QList<FleetLine> lines;
    // Poll each line as fast as it answers instead of one block per device per second.
    bool asFastAsPossible = false;
    bool operator==(const Fleet&) const = default;
};

// Why a fleet file was refused: where (line and column from 1, the column in characters; 0 when the
// fault is not at a place in the text, such as a file that cannot be read) and what was expected.
struct FleetError {
    int line = 0;
    int column = 0;
    QString what;
    // "第 4 行第 17 列：地址应为 1 到 247 的整数", or `what` alone without a place.
    QString Text() const;
};

constexpr int kFleetMinTimeoutMs = 10;
constexpr int kFleetMaxTimeoutMs = 10000;
constexpr int kFleetMinGapMs = 0;
constexpr int kFleetMaxGapMs = 1000;
constexpr int kFleetMinAddress = 1;
constexpr int kFleetMaxAddress = 247; // Modbus's highest slave address; 0 is the broadcast
constexpr int kFleetMaxNameLength = 32;
constexpr int kFleetMaxIdLength = 32;
// A fleet file is a few kilobytes; anything far larger is the wrong file (or a device that never ends).
constexpr qsizetype kFleetMaxFileBytes = 1024 * 1024;

// "Z7 #7": the name of a device the file does not name.
QString DefaultDeviceName(int address);

// The fleet a JSON text describes, or nothing with `error` (when given) saying why.
std::optional<Fleet> ReadFleet(const QByteArray& json, FleetError* error);
std::optional<Fleet> ReadFleetFile(const QString& path, FleetError* error);
// The fleet as JSON that ReadFleet reads back to the same fleet, every key written out.
QByteArray WriteFleet(const Fleet& fleet);
