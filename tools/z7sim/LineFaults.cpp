#include "LineFaults.h"

const std::array<const char*, kLineFaultCount> kLineFaultNames = {
    "good", "crc", "split", "noreply", "exception", "otheraddr", "garbage", "delay", "flood",
};

std::uint16_t ModbusCrc(const std::uint8_t* data, std::size_t n) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

void AppendCrc(Bytes& frame) {
    const std::uint16_t crc = ModbusCrc(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

FaultInjector::FaultInjector(const FaultSettings& settings, std::uint64_t seed)
    : m_settings(settings), m_random(seed ^ 0x5A7EF417u) {}

LineFault FaultInjector::pick() {
    // One draw per reply keeps the fault sequence a function of the seed and the reply count alone.
    const double u = m_random.unit();
    double edge = 0.0;
    for (int k = 1; k < kLineFaultCount; ++k) {
        edge += m_settings.probability[k];
        if (u < edge)
            return static_cast<LineFault>(k);
    }
    return LineFault::None;
}

Bytes FaultInjector::randomBytes(int n) {
    Bytes out(static_cast<std::size_t>(n));
    for (auto& b : out)
        b = static_cast<std::uint8_t>(m_random.next() >> 56);
    return out;
}

std::vector<LineChunk> FaultInjector::Apply(const Bytes& reply, LineFault* chosen) {
    LineFault fault = reply.size() >= 4 ? pick() : LineFault::None;
    if (fault == LineFault::Split && reply.size() < 2)
        fault = LineFault::None;
    *chosen = fault;

    switch (fault) {
    case LineFault::None:
        return {{0, reply}};
    case LineFault::Crc: {
        Bytes bad = reply;
        bad.back() ^= 0xFF;
        return {{0, bad}};
    }
    case LineFault::Split: {
        const auto cut = static_cast<std::ptrdiff_t>(m_random.range(1, static_cast<int>(reply.size()) - 1));
        return {{0, Bytes(reply.begin(), reply.begin() + cut)},
                {m_settings.splitMs, Bytes(reply.begin() + cut, reply.end())}};
    }
    case LineFault::NoReply:
        return {};
    case LineFault::Exception: {
        Bytes ex = {reply[0], static_cast<std::uint8_t>(reply[1] | 0x80), 0x04};
        AppendCrc(ex);
        return {{0, ex}};
    }
    case LineFault::OtherAddress: {
        Bytes other(reply.begin(), reply.end() - 2);
        other[0] = static_cast<std::uint8_t>(other[0] % 247 + 1);
        AppendCrc(other);
        return {{0, other}};
    }
    case LineFault::Garbage: {
        Bytes noisy = randomBytes(m_random.range(1, 16));
        noisy.insert(noisy.end(), reply.begin(), reply.end());
        return {{0, noisy}};
    }
    case LineFault::Delay:
        return {{m_settings.delayMs, reply}};
    case LineFault::Flood:
        return {{0, randomBytes(m_settings.floodBytes)}};
    case LineFault::Count:
        break;
    }
    return {};
}
