#pragma once
// How the windows name what the poll cycle decided: the verdicts and directions of the traffic records
// in the operator's language. The traffic log keeps the keywords of Verdict.h.

#include "Traffic.h"

#include <QString>

// The verdict alone: "异常应答".
QString VerdictName(Verdict verdict);
// The verdict, and for an exception its code and name: "异常应答 02 ILLEGAL DATA ADDRESS".
QString VerdictText(Verdict verdict, quint8 exceptionCode = 0);
QString DirectionText(TrafficDirection direction);
// A response time in milliseconds with one decimal: "102.4 ms".
QString MillisecondsText(qint64 us);
