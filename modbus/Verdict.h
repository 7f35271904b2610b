#pragma once
#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <optional>

// What became of one frame on the line, as the poll cycle decided it. The traffic monitor, its
// statistics, the traffic log, the status bar and the history all report this decision; none of them
// looks at the bytes again.
enum class Verdict : quint8 {
    Sent,       // a request the port took
    Refused,    // a request the port did not take
    Accepted,   // a read reply stored in the register image
    Confirmed,  // a write answer that repeats the request
    Exception,  // an exception reply: the function code with its high bit set, and a code
    Crc,        // the CRC does not match
    Address,    // a whole frame with a right CRC, from another slave address
    Noise,      // bytes that neither start like the answer nor hold a whole frame
    Function,   // another function code
    Count,      // a read reply with another byte count
    Short,      // too few bytes for the frame it starts
    Unexpected, // a delivery while no answer was awaited: nothing asked, or answered, or given up
    Echo,       // a well-formed write answer that differs from the request
    Oversize,   // a delivery cut at the receive buffer, not accepted
    NoReply,    // a request still unanswered when the cycle stopped waiting for it
};
inline constexpr int kVerdictCount = int(Verdict::NoReply) + 1;

// The keyword of the traffic log: "sent", "refused", ..., "noreply".
const char* VerdictKeyword(Verdict verdict);
std::optional<Verdict> VerdictFromKeyword(QStringView keyword);

// Refusals and missing answers: what a monitor shows in colour and the status bar as the last problem.
bool IsProblem(Verdict verdict);

// The Modbus standard's name of an exception code (0x01 to 0x0B), e.g. "ILLEGAL DATA ADDRESS";
// empty for a code the standard does not name.
QString ModbusExceptionName(quint8 code);
