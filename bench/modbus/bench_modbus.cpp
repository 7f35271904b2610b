// The table-driven CRC against a bitwise CRC-16/MODBUS in the same run, and the cost of handling one
// delivered read reply (copy into the receive buffer, reply test, storing the block, clearing), each
// after the poll request it answers.
#include "ModbusFrame.h"
#include "PollCycle.h"

#include <benchmark/benchmark.h>
#include <vector>

namespace {

quint16 BitwiseCrc(const quint8* data, qint32 count) {
    quint16 crc = 0xFFFF;
    for (qint32 i = 0; i < count; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return quint16(crc << 8 | crc >> 8); // same byte order as CalcCRC16
}

std::vector<quint8> Message(qint32 length) {
    std::vector<quint8> bytes(static_cast<size_t>(length));
    for (qint32 i = 0; i < length; ++i)
        bytes[size_t(i)] = quint8(i * 37 + 11);
    return bytes;
}

void BM_CalcCRC16(benchmark::State& state) {
    const qint32 length = qint32(state.range(0));
    const std::vector<quint8> bytes = Message(length);
    if (CalcCRC16(bytes.data(), length) != BitwiseCrc(bytes.data(), length))
        state.SkipWithError("table and bitwise CRC disagree");
    for (auto _ : state) {
        benchmark::DoNotOptimize(bytes.data());
        benchmark::DoNotOptimize(CalcCRC16(bytes.data(), length));
    }
    state.SetBytesProcessed(state.iterations() * length);
}

void BM_BitwiseCRC16(benchmark::State& state) {
    const qint32 length = qint32(state.range(0));
    const std::vector<quint8> bytes = Message(length);
    for (auto _ : state) {
        benchmark::DoNotOptimize(bytes.data());
        benchmark::DoNotOptimize(BitwiseCrc(bytes.data(), length));
    }
    state.SetBytesProcessed(state.iterations() * length);
}

// 6: a request; 23: the reply test; 256: a long chunk.
BENCHMARK(BM_CalcCRC16)->Arg(6)->Arg(23)->Arg(256);
BENCHMARK(BM_BitwiseCRC16)->Arg(6)->Arg(23)->Arg(256);

std::vector<quint8> Reply(quint8 address) {
    std::vector<quint8> r{address, 0x03, 20};
    for (int i = 0; i < 20; ++i)
        r.push_back(quint8(i * 13));
    const quint16 crc = CalcCRC16(r.data(), qint32(r.size()));
    r.push_back(quint8(crc >> 8));
    r.push_back(quint8(crc & 0xFF));
    return r;
}

PollCycle Cycle() {
    return PollCycle({[](const char*, quint16) { return true; }, [](int) {}});
}

// A poll of a device that never answers: the tick's request, handed to a port that takes it.
void BM_PollTick(benchmark::State& state) {
    PollCycle cycle = Cycle();
    for (auto _ : state)
        benchmark::DoNotOptimize(cycle.Tick(true, 1));
}

// One delivered reply. state.range(0): 1 for a reply that is accepted, 0 for one from another address
// that is rejected. A rejected reply leaves its request awaited, so the same delivery is timed again and
// again; an accepted one ends the wait, so each needs the tick's request of its own, timed with it: its
// receive path costs the difference to BM_PollTick.
void BM_ReceiveReply(benchmark::State& state) {
    const bool good = state.range(0) == 1;
    PollCycle cycle = Cycle();
    const std::vector<quint8> reply = Reply(good ? 1 : 2);
    const auto* data = reinterpret_cast<const char*>(reply.data());
    const CommLamp expected = good ? CommLamp::Lit : CommLamp::Unlit;
    // One poll outside the timing proves the path: an accepted reply lands in the image.
    cycle.Tick(true, 1);
    if (cycle.Receive(data, quint16(reply.size())) != expected ||
        cycle.Register(9) != (good ? reply[21] << 8 | reply[22] : 0))
        state.SkipWithError("reply not handled as intended");
    if (!good)
        cycle.Tick(true, 1);
    for (auto _ : state) {
        if (good)
            cycle.Tick(true, 1);
        const CommLamp lamp = cycle.Receive(data, quint16(reply.size()));
        if (lamp != expected) {
            state.SkipWithError("reply not handled as intended");
            break;
        }
        benchmark::DoNotOptimize(lamp);
    }
}

BENCHMARK(BM_PollTick);
BENCHMARK(BM_ReceiveReply)->Arg(1)->Arg(0);

} // namespace

BENCHMARK_MAIN();
