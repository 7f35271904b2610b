#pragma once
// Generated history for the benchmarks: one device polled without pause, a block a second in the
// order 0, 10, 20, with plausible readings (a load cycle of a few hours, noise on every current and on
// the voltage, the temperature following the load, TEMP MAX while it is high).

#include "HistoryStore.h"

#include <cmath>
#include <vector>

inline const DeviceKey kBenchDevice{QStringLiteral("/dev/ttyUSB0"), 1};

// The block polled at second `s` (counted from any origin) at time `utcMs`.
inline BlockSample GeneratedBlock(qint64 s, qint64 utcMs) {
    // A cheap deterministic hash for the noise.
    const auto noise = [s](int salt, int amplitude) {
        quint64 z = quint64(s) * 0x9E3779B97F4A7C15ull + quint64(salt) * 0xBF58476D1CE4E5B9ull;
        z ^= z >> 31;
        z *= 0x94D049BB133111EBull;
        z ^= z >> 29;
        return int(z % quint64(2 * amplitude + 1)) - amplitude;
    };
    const double load = 0.55 + 0.4 * std::sin(double(s) / 5400.0); // 0.15 to 0.95 over ~9.4 h
    const int output = int(load * 1000);
    const int temperature = 25 + int(65 * load);
    BlockSample b;
    b.utcMs = utcMs;
    b.device = kBenchDevice;
    b.block = quint8(10 * (s % 3));
    auto& r = b.registers;
    switch (b.block) {
    case 0:
        r = {quint16(output), 0, 0, 1, 1000, 100, 0, 0, 0, 0};
        break;
    case 10:
        r = {quint16(output),
             quint16(output + noise(1, 2)),
             quint16(temperature),
             quint16(temperature > 80 ? 0x10 : 0),
             0,
             3800,
             0,
             0,
             0,
             0};
        break;
    default:
        r = {quint16(output + noise(2, 30)),
             quint16(output * 0.97 + noise(3, 30)),
             quint16(output * 1.02 + noise(4, 30)),
             quint16(3800 - 40 * load + noise(5, 15)),
             0,
             0,
             0,
             0,
             0,
             0};
        break;
    }
    return b;
}

// Fills `store` with a block a second from `from` to `to`, an hour per transaction, trimming once a
// simulated day as the recorder does.
inline bool GenerateHistory(HistoryStore& store, qint64 from, qint64 to, bool trimDaily) {
    constexpr qint64 kHourS = 3600, kDayMs = 24 * 3600 * 1000LL;
    std::vector<BlockSample> batch;
    batch.reserve(kHourS);
    qint64 nextTrim = from + kDayMs;
    for (qint64 t = from; t < to; t += 1000) {
        batch.push_back(GeneratedBlock(t / 1000, t));
        if (qint64(batch.size()) == kHourS || t + 1000 >= to) {
            if (!store.Append(batch, {}))
                return false;
            batch.clear();
        }
        if (trimDaily && t >= nextTrim) {
            if (!store.Trim(t))
                return false;
            nextTrim += kDayMs;
        }
    }
    return store.CatchUpMinutes();
}
