#pragma once

#include <QString>
#include <QStringList>

// The serial devices of this machine, in the order the port list shows them: /dev/serial/by-id/*
// first, then ttyUSB*, ttyACM*, and the ttyS* ports that have a UART behind them. The roots are
// parameters so that the rule can be checked on a prepared tree.
QStringList ListSerialDevices(const QString& devRoot = QStringLiteral("/dev"),
                              const QString& ttyClassRoot = QStringLiteral("/sys/class/tty"));
