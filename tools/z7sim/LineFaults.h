#pragma once

#include "Z7Model.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// CRC-16/MODBUS of `data`, as the value whose low byte goes on the line first.
std::uint16_t ModbusCrc(const std::uint8_t* data, std::size_t n);
// Appends the CRC, low byte first.
void AppendCrc(Bytes& frame);

// What the line does to one reply of the device. At most one fault per reply.
enum class LineFault : int {
    None,
    Crc,          // last CRC byte inverted
    Split,        // the reply cut in two by a silence longer than the master's 100 ms read gap
    NoReply,      // the reply is dropped
    Exception,    // an exception reply (code 04, device failure) instead of the reply
    OtherAddress, // the reply comes from another slave address, with a correct CRC
    Garbage,      // 1 to 16 random bytes straight before the reply, in the same burst
    Delay,        // the reply held back for a while
    Flood,        // N random bytes, without gaps, instead of the reply
    Count
};

constexpr int kLineFaultCount = static_cast<int>(LineFault::Count);
// Names used by the command-line options (--fault-NAME) and by the counts printed at exit.
extern const std::array<const char*, kLineFaultCount> kLineFaultNames;

struct FaultSettings {
    std::array<double, kLineFaultCount> probability{}; // index 0 (None) unused
    int splitMs = 250;
    int delayMs = 500;
    int floodBytes = 4096;
};

// A burst of bytes and the silence before it.
struct LineChunk {
    int pauseMs = 0;
    Bytes bytes;
};

class FaultInjector {
public:
    FaultInjector(const FaultSettings& settings, std::uint64_t seed);

    // Picks this reply's fault and turns the reply into the bursts that go on the line.
    std::vector<LineChunk> Apply(const Bytes& reply, LineFault* chosen);

private:
    LineFault pick();
    Bytes randomBytes(int n);

    FaultSettings m_settings;
    SimRandom m_random;
};
