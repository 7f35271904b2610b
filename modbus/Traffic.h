#pragma once
#include "Verdict.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// One frame on the line, or one missing answer, with the poll cycle's verdict on it.
enum class TrafficDirection : quint8 {
    Tx,      // a request handed to the port
    Rx,      // a delivered chunk of received bytes
    Missing, // an answer that never came
};

// Who put the frame on the line: the poll cycle (polls and commands) or the bus scan.
enum class TrafficSource : quint8 { PollCycle, BusScan };

struct TrafficRecord {
    qint64 monotonicUs = 0; // steady clock, for intervals
    qint64 utcMs = 0;       // wall clock, milliseconds since 1970-01-01 UTC
    TrafficSource source = TrafficSource::PollCycle;
    TrafficDirection direction = TrafficDirection::Tx;
    Verdict verdict = Verdict::Sent;
    QByteArray bytes;         // the request, or the whole delivered chunk; empty for a missing answer
    quint8 exceptionCode = 0; // for Verdict::Exception

    // The request this record is about: the one sent, or for a delivery and a missing answer the one
    // that was awaited. function 0 means none was awaited.
    quint8 address = 0;
    quint8 function = 0;
    quint16 firstRegister = 0; // read: start register; write: the register
    quint16 countOrValue = 0;  // read: register count; write: the value
    // When that request was handed to the port (monotonicUs), 0 if none; a delivery's response time is
    // monotonicUs - requestUs.
    qint64 requestUs = 0;
    // A delivery's chunk ended after the line had been silent for the port's read interval, so that the
    // time from the request to it holds that interval. A chunk cut at the port's receive size or handed
    // on as the port failed ended otherwise, at no moment the device chose: it has no response time.
    bool endedBySilence = true;
};

// The clocks every record is stamped with.
qint64 TrafficMonotonicUs();
qint64 TrafficUtcMs();
void StampNow(TrafficRecord& record);

// "2026-12-10T08:15:02.123Z": ISO 8601 in UTC with milliseconds.
QString IsoUtcMs(qint64 utcMs);
// "01 03 00 00": upper-case hex pairs separated by single spaces.
QString HexPairs(const QByteArray& bytes);
// "tx", "rx" or "--".
const char* DirectionKeyword(TrafficDirection direction);

// One line of the traffic log, without its line end:
//   2026-12-10T08:15:02.123Z tx sent 01 03 00 00 00 0A C5 CD
// The bytes follow for tx and rx only.
QString TrafficLogLine(const TrafficRecord& record);
