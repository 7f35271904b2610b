#pragma once
// The registers the poll has read from the current device, each with the moment of its last accepted
// read: what the register window shows. It is filled from the accepted blocks the event detector
// gives, so no reply is decoded twice and no request is added. The registers the form's image does
// not keep (16 to 19, 25 to 29) are in those replies all the same, so all thirty are here.

#include "HistoryTypes.h"

#include <QtGlobal>

#include <array>
#include <optional>

class RegisterTable {
public:
    static constexpr int kRegisterCount = 30; // the three read blocks of ten

    // The device the panel talks to now; another one than before empties the table, since what was
    // read belongs to that one.
    void SetDevice(const DeviceKey& device);
    const DeviceKey& Device() const { return m_device; }

    // An accepted block of ten registers, read at `monotonicUs` (TrafficRecord::monotonicUs). A block
    // of another device than Device() (a late reply to the address before) is left out, and so is one
    // that does not start at 0, 10 or 20, which the poll never asks for.
    void Take(const BlockSample& block, qint64 monotonicUs);

    // The register's content as last read; nothing before any read of it.
    std::optional<quint16> Value(int reg) const;
    // How long ago the register was last read, in microseconds, at monotonic time `nowUs`; nothing
    // before any read of it. Never negative.
    std::optional<qint64> AgeUs(int reg, qint64 nowUs) const;

    void Clear();

private:
    struct Entry {
        quint16 value = 0;
        qint64 readUs = 0;
        bool read = false;
    };
    DeviceKey m_device;
    std::array<Entry, kRegisterCount> m_entries{};
};
