#pragma once
#include "Verdict.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <array>

// Frames of the panel's Modbus RTU master: the two requests it sends (read ten holding registers,
// write one register), their CRC, and the tests that the poll cycle applies to what comes back.

// Every request is 8 bytes: address, function, two bytes of register, two of count or value (high
// byte first), then the CRC with the byte sent first in the high half of CalcCRC16.
using ModbusRequest = std::array<quint8, 8>;

inline constexpr quint8 kReadHoldingRegisters = 0x03;
inline constexpr quint8 kWriteSingleRegister = 0x06;
inline constexpr int kReadReplyLength = 25; // address, 03, byte count, 10 registers, CRC
inline constexpr quint8 kReadReplyByteCount = 20;

// Table-driven CRC-16/MODBUS. The result holds the byte to send first in its high half, which is the
// standard CRC value with its two bytes swapped. A count of 0 or less gives 0xFFFF.
quint16 CalcCRC16(const quint8* data, qint32 count);

// Digit pairs become bytes and other characters between pairs are skipped; a digit followed by a
// non-digit or the end becomes a byte of its own, and the character after it is passed over.
QByteArray HexTextToBytes(const QString& text);

// Two upper-case hexadecimal digits per byte, no separators ("01030000000AC5CD").
QString BytesToHexText(const quint8* data, qsizetype count);

// Slave address from the address box: the low eight bits of TextToInt, so "256" is 0 (broadcast).
quint8 SlaveAddress(const QString& addressText);

ModbusRequest BuildReadRequest(quint8 address, quint8 startRegister, quint8 count);
ModbusRequest BuildWriteRequest(quint8 address, quint8 writeRegister, quint16 writeValue);

// The bytes that go to the port: the request written as hex text and read back, as the panel has
// always sent it. For these frames the result equals the request.
QByteArray WireBytes(const ModbusRequest& request);

// The poll cycle's decision on what came back, with the exception code for Verdict::Exception. The
// checks run in the order of the frame's bytes, so the verdict names the first byte that is wrong:
// address, then an exception reply (5 bytes with its own CRC), function, byte count, length, CRC. Bytes
// whose address or function is not the answer's are Address or Function only when they hold a whole
// frame (HoldsFrame); otherwise they are Noise.
struct ReplyCheck {
    Verdict verdict = Verdict::Short;
    quint8 exceptionCode = 0;
};
ReplyCheck CheckReadReply(const quint8* bytes, qsizetype length, quint8 address);
// Against a write request: Confirmed only for an answer that repeats the request's 8 bytes; a
// well-formed answer (address, function 06, 8 bytes, good CRC) that differs is Echo.
ReplyCheck CheckWriteReply(const quint8* bytes, qsizetype length, const ModbusRequest& request);

// Whether the bytes start with a whole RTU frame with a right CRC: as long as its function says (a read
// reply by its byte count, an exception reply, a write answer), or else all the bytes as one frame.
bool HoldsFrame(const quint8* bytes, qsizetype length);

// A reply to a read of ten registers from `address`: at least 25 bytes delivered, the address, function
// 03, byte count 20, and a CRC over bytes 0 to 22 that matches bytes 23 and 24. Later bytes are ignored.
bool IsReadReply(const quint8* bytes, qsizetype length, quint8 address);

// Register i (0 to 9) of an accepted read reply, high byte first on the line.
inline quint16 ReadReplyRegister(const quint8* reply, int i) {
    return quint16(reply[3 + 2 * i] << 8 | reply[4 + 2 * i]);
}

// A good answer to a write single register repeats the 8 request bytes.
bool IsWriteEcho(const quint8* bytes, qsizetype length, const ModbusRequest& request);
