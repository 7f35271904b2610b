#pragma once
// Small builders shared by the history tests.

#include "HistoryTypes.h"
#include "ModbusFrame.h"
#include "Traffic.h"

#include <QByteArray>

#include <initializer_list>
#include <utility>

// 2026-12-10T08:00:00.000Z
inline constexpr qint64 kT0 = 1796889600000;

inline const DeviceKey kDevice{QStringLiteral("/dev/ttyUSB0"), 1};

// A block whose registers are given as {register, value}; the others are 0.
inline BlockSample Block(qint64 utcMs, quint8 block, std::initializer_list<std::pair<int, quint16>> regs,
                         const DeviceKey& device = kDevice) {
    BlockSample b;
    b.utcMs = utcMs;
    b.device = device;
    b.block = block;
    for (const auto& [reg, value] : regs)
        b.registers[size_t(reg - block)] = value;
    return b;
}

// The 25 bytes of an accepted read reply carrying `block`'s registers.
inline QByteArray ReplyBytes(const BlockSample& b) {
    QByteArray reply(kReadReplyLength, '\0');
    reply[0] = char(b.device.address);
    reply[1] = 0x03;
    reply[2] = 20;
    for (int i = 0; i < 10; ++i) {
        reply[3 + 2 * i] = char(b.registers[size_t(i)] >> 8);
        reply[4 + 2 * i] = char(b.registers[size_t(i)] & 0xFF);
    }
    const quint16 crc = CalcCRC16(reinterpret_cast<const quint8*>(reply.constData()), 23);
    reply[23] = char(crc >> 8);
    reply[24] = char(crc & 0xFF);
    return reply;
}

// The record of a delivery answering a read of `b.block` with the verdict given.
inline TrafficRecord ReadRecord(const BlockSample& b, Verdict verdict = Verdict::Accepted) {
    TrafficRecord r;
    r.utcMs = b.utcMs;
    r.direction = TrafficDirection::Rx;
    r.verdict = verdict;
    r.bytes = ReplyBytes(b);
    r.address = b.device.address;
    r.function = 0x03;
    r.firstRegister = b.block;
    r.countOrValue = 10;
    return r;
}

inline TrafficRecord Record(TrafficDirection direction, Verdict verdict, quint8 function, quint16 reg,
                            quint16 countOrValue, qint64 utcMs, quint8 address = 1) {
    TrafficRecord r;
    r.utcMs = utcMs;
    r.direction = direction;
    r.verdict = verdict;
    r.address = address;
    r.function = function;
    r.firstRegister = reg;
    r.countOrValue = countOrValue;
    return r;
}
