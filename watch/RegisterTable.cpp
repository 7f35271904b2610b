#include "RegisterTable.h"

#include "Quantities.h"

#include <algorithm>

void RegisterTable::SetDevice(const DeviceKey& device) {
    if (device == m_device)
        return;
    m_device = device;
    Clear();
}

void RegisterTable::Take(const BlockSample& block, qint64 monotonicUs) {
    if (block.device != m_device || !BlockIndex(block.block))
        return;
    for (int i = 0; i < kBlockLength; ++i) {
        const int reg = block.block + i;
        if (reg >= kRegisterCount)
            break;
        m_entries[size_t(reg)] = {block.registers[size_t(i)], monotonicUs, true};
    }
}

std::optional<quint16> RegisterTable::Value(int reg) const {
    if (reg < 0 || reg >= kRegisterCount || !m_entries[size_t(reg)].read)
        return std::nullopt;
    return m_entries[size_t(reg)].value;
}

std::optional<qint64> RegisterTable::AgeUs(int reg, qint64 nowUs) const {
    if (reg < 0 || reg >= kRegisterCount || !m_entries[size_t(reg)].read)
        return std::nullopt;
    return std::max<qint64>(0, nowUs - m_entries[size_t(reg)].readUs);
}

void RegisterTable::Clear() {
    m_entries.fill(Entry{});
}
