#pragma once
// The line's character formats as the panel names them, and what became of a port: facts about the line
// that the form, the status bar, the bus scan and the history share.

#include "SerialComm.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What became of the port, for the status bar, the history and any window that uses the line. Opening:
// a network port's opening has begun and Opened or OpenFailed follows.
enum class PortEvent { Opened, OpenFailed, Closed, Vanished, Opening };

// A character format of the format box: "8_N_2", "8_E_1" or "8_O_1". Modbus RTU keeps 11 bits per
// character, so no parity takes a second stop bit.
struct LineFormat {
    TComm::TParity parity = TComm::None;
    TComm::TStopBits stopBits = TComm::_2;
};
// The baud rates the baud-rate box offers, slowest first; the fleet file accepts these and no other.
QList<quint32> BaudRateChoices();
// The format box's texts in its order, the first being the panel's default.
QStringList LineFormatChoices();
// The format a text of the format box names; empty for any other text, which leaves the line as it is.
std::optional<LineFormat> LineFormatFromText(const QString& text);
// The format box's text for a parity and stop bits; empty when none of its formats is that.
QString LineFormatText(TComm::TParity parity, TComm::TStopBits stopBits);
// Puts the format on the component and, when the port is open, on the line at once.
void ApplyLineFormat(TComm& comm, const LineFormat& format);
