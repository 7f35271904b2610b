#pragma once
// The Z7's quantities as the panel shows them: which register holds each, the divisor that turns the
// register into the shown value, its unit and the label beside it in the window, and the names of the
// nine alarm bits. The display refresh, the history, its CSV columns and the documentation all read this
// one table, so they cannot disagree.

#include <QtGlobal>

#include <array>
#include <optional>

enum class Quantity : quint8 {
    InputSetting,   // register 0
    Run,            // register 3, bit 0
    MaxOutput,      // register 4
    MinOutput,      // register 5
    InputQuantity,  // register 10
    OutputQuantity, // register 11
    Temperature,    // register 12
    Alarms,         // register 13, bits 0 to 8
    FullScale,      // register 15
    CurrentR,       // register 20
    CurrentS,       // register 21
    CurrentT,       // register 22
    Voltage,        // register 23
};
inline constexpr int kQuantityCount = int(Quantity::Voltage) + 1;

enum class QuantityKind : quint8 {
    Scaled, // a number: register / divisor
    Bit,    // bit 0 of the register
    Bits,   // the register's bits as they are (the alarms)
};

struct QuantityInfo {
    Quantity quantity;
    QuantityKind kind;
    quint8 reg;      // holding register
    quint8 block;    // first register of the read block that carries it: 0, 10 or 20
    int divisor;     // 1, 10 or 100 for Scaled
    int decimals;    // digits after the point that the divisor gives
    const char* key; // CSV column and database column stem, e.g. "current_r_a"
    const char* unit;
    const char* label; // the text beside the widget in the window, UTF-8
};

// In the order of the CSV columns.
inline constexpr std::array<QuantityInfo, kQuantityCount> kQuantities = {{
    {Quantity::InputSetting, QuantityKind::Scaled, 0, 0, 100, 2, "input_setting_pct", "%", "输入："},
    {Quantity::Run, QuantityKind::Bit, 3, 0, 1, 0, "run", "", "RUN"},
    {Quantity::MaxOutput, QuantityKind::Scaled, 4, 0, 10, 1, "max_output_pct", "%", "最大输出量限制："},
    {Quantity::MinOutput, QuantityKind::Scaled, 5, 0, 10, 1, "min_output_pct", "%", "最小输出量限制："},
    {Quantity::InputQuantity, QuantityKind::Scaled, 10, 10, 10, 1, "input_pct", "%", "输入量："},
    {Quantity::OutputQuantity, QuantityKind::Scaled, 11, 10, 10, 1, "output_pct", "%", "输出量："},
    {Quantity::Temperature, QuantityKind::Scaled, 12, 10, 1, 0, "temperature_c", "°C", "温度："},
    {Quantity::Alarms, QuantityKind::Bits, 13, 10, 1, 0, "alarms", "", "警报："},
    {Quantity::FullScale, QuantityKind::Scaled, 15, 10, 10, 1, "full_scale_v", "V", "Volt"},
    {Quantity::CurrentR, QuantityKind::Scaled, 20, 20, 10, 1, "current_r_a", "A", "R_C"},
    {Quantity::CurrentS, QuantityKind::Scaled, 21, 20, 10, 1, "current_s_a", "A", "S_C"},
    {Quantity::CurrentT, QuantityKind::Scaled, 22, 20, 10, 1, "current_t_a", "A", "T_C"},
    {Quantity::Voltage, QuantityKind::Scaled, 23, 20, 10, 1, "voltage_v", "V", "Volt"},
}};

constexpr const QuantityInfo& Info(Quantity q) {
    return kQuantities[size_t(q)];
}

// The quantity held in holding register `reg`, if the table names one.
constexpr std::optional<Quantity> QuantityAtRegister(int reg) {
    for (const QuantityInfo& info : kQuantities)
        if (info.reg == reg)
            return info.quantity;
    return std::nullopt;
}

// The shown value of a register content (0 to 65535): divided in double precision, as the display does.
constexpr double ScaledValue(Quantity q, qint32 raw) {
    const QuantityInfo& info = Info(q);
    switch (info.kind) {
    case QuantityKind::Bit:
        return raw & 1;
    case QuantityKind::Bits:
        return raw;
    case QuantityKind::Scaled:
        break;
    }
    return info.divisor == 1 ? double(raw) : raw / double(info.divisor);
}

// The alarm bits of register 13, named as above their LEDs in the window: bit k lights iLedRound(k + 1).
inline constexpr int kAlarmCount = 9;
inline constexpr std::array<const char*, kAlarmCount> kAlarmNames = {
    "PWER", "R", "S", "T", "TEMP MAX", "TEMP LOA", "CUUR MAX", "CUUR PLO", "CUUR SHO"};
inline constexpr quint16 kAlarmMask = (1u << kAlarmCount) - 1;

// The read blocks: start register 0, 10 or 20, each of ten registers.
inline constexpr std::array<quint8, 3> kBlockStarts = {0, 10, 20};
inline constexpr int kBlockLength = 10;
// The index (0 to 2) of the block that starts at `firstRegister`, if it is one of them.
constexpr std::optional<int> BlockIndex(int firstRegister) {
    for (int i = 0; i < int(kBlockStarts.size()); ++i)
        if (kBlockStarts[size_t(i)] == firstRegister)
            return i;
    return std::nullopt;
}
