#pragma once
// The line at a glance, as the main window's status bar shows it.

#include "TrafficStats.h"

#include <QString>

class QFontMetrics;

struct LineStatusFacts {
    bool open = false;
    bool overTcp = false;      // the port is a TCP connection to a serial device server
    bool connecting = false;   // the port's connection is being made after the operator opened it
    bool reconnecting = false; // the port's connection was lost and is being made again
    QString port;
    quint32 baudRate = 0;
    QString format; // as the format box writes it, "8_N_2"
    int address = 0;
};

// Port, baud rate and format, slave address, polls, share accepted, last response time and the last
// refusal or missing answer with its local time (and date, when it was not today); only "端口已关闭"
// while the port is closed, and only the port with "正在连接…" or "重新连接中…" while its connection is
// being made.
QString LineStatusText(const LineStatusFacts& facts, const TrafficStats& stats);
// The same fitted into `width` pixels: the port name elided in its middle first, then the response
// time and then the poll count left out. The last problem's kind and time are never cut.
QString FittedLineStatusText(const LineStatusFacts& facts, const TrafficStats& stats,
                             const QFontMetrics& metrics, int width);
