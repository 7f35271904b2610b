#pragma once
// Helpers shared by the Modbus tests and the fuzz target: byte strings from hex text, and frames
// closed with a bitwise CRC-16/MODBUS that does not share code with the table-driven one under test.
#include <QByteArray>
#include <QList>
#include <QtGlobal>
#include <initializer_list>

namespace modbus_test {

inline quint16 BitwiseCrc(const quint8* data, qsizetype count) {
    quint16 crc = 0xFFFF;
    for (qsizetype i = 0; i < count; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

// Appends the CRC, low-order byte first, as it travels on the line.
inline QByteArray WithCrc(QByteArray frame) {
    const quint16 crc = BitwiseCrc(reinterpret_cast<const quint8*>(frame.constData()), frame.size());
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    return frame;
}

inline QByteArray Hex(const char* text) {
    return QByteArray::fromHex(text);
}

// A well-formed reply to a read of ten registers.
inline QByteArray ReadReply(quint8 address, const QList<quint16>& registers) {
    QByteArray frame;
    frame.append(char(address));
    frame.append(char(0x03));
    frame.append(char(20));
    for (int i = 0; i < 10; ++i) {
        const quint16 v = i < registers.size() ? registers[i] : 0;
        frame.append(char(v >> 8));
        frame.append(char(v & 0xFF));
    }
    return WithCrc(frame);
}

} // namespace modbus_test
