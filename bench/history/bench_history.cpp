// The history's costs on the GUI thread and in the trend window:
//   - handing one accepted block to the history (detector and the writer thread's queue), against
//     committing it on the calling thread, which the writer thread spares the GUI;
//   - the trend over 7 days at full resolution (about 600 000 blocks): query and reduction, then with
//     the chart's series updated and the chart drawn;
//   - the trend over 30 days from minute rows;
//   - opening the trend window on 7 days, to its first drawn frame.
// The generated files are made once per run in a temporary folder (about a minute).
#include "EventDetector.h"
#include "Fonts.h"
#include "HistoryGen.h"
#include "HistoryRecorder.h"
#include "ModbusFrame.h"
#include "TrendWindow.h"

#include <QApplication>
#include <QDateTime>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

namespace {

constexpr qint64 kDayMs = 24 * 3600 * 1000LL;
QTemporaryDir* g_dir = nullptr;
QString g_week;  // 7 days of blocks up to now
QString g_month; // 30 days, all older than 14 days: minute rows only
qint64 g_now = 0;

TrafficRecord AcceptedRecord(const BlockSample& b) {
    QByteArray reply(kReadReplyLength, '\0');
    reply[0] = 1;
    reply[1] = 3;
    reply[2] = 20;
    for (int i = 0; i < 10; ++i) {
        reply[3 + 2 * i] = char(b.registers[size_t(i)] >> 8);
        reply[4 + 2 * i] = char(b.registers[size_t(i)] & 0xFF);
    }
    const quint16 crc = CalcCRC16(reinterpret_cast<const quint8*>(reply.constData()), 23);
    reply[23] = char(crc >> 8);
    reply[24] = char(crc & 0xFF);
    TrafficRecord r;
    StampNow(r);
    r.direction = TrafficDirection::Rx;
    r.verdict = Verdict::Accepted;
    r.bytes = reply;
    r.address = 1;
    r.function = 3;
    r.firstRegister = b.block;
    r.countOrValue = 10;
    return r;
}

// What the GUI thread does for each accepted reply: detect events, queue the block for the writer.
// Timed by hand around exactly that, so building the record and waiting for the writer stay outside.
void BM_RecordBlock_Queued(benchmark::State& state) {
    HistoryRecorder recorder;
    recorder.Open(g_dir->filePath(QStringLiteral("queued.sqlite")), nullptr);
    EventDetector detector;
    const QString port = QStringLiteral("/dev/ttyUSB0");
    qint64 s = 0;
    for (auto _ : state) {
        const TrafficRecord record = AcceptedRecord(GeneratedBlock(s, g_now + s * 1000));
        ++s;
        const auto start = std::chrono::steady_clock::now();
        const EventDetector::Output out = detector.OnTraffic(record, port);
        recorder.Record(*out.block);
        for (const HistoryEvent& e : out.events)
            recorder.Record(e);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        // A block a second in the panel: the writer has committed the last before the next comes.
        recorder.Flush();
    }
}
BENCHMARK(BM_RecordBlock_Queued)
    ->UseManualTime()
    ->Iterations(300)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The baseline: the same block committed (and synced) on the calling thread.
void BM_RecordBlock_Synchronous(benchmark::State& state) {
    HistoryStore store;
    store.Open(g_dir->filePath(QStringLiteral("sync.sqlite")), HistoryStore::Access::ReadWrite, nullptr);
    EventDetector detector;
    const QString port = QStringLiteral("/dev/ttyUSB0");
    qint64 s = 0;
    for (auto _ : state) {
        const TrafficRecord record = AcceptedRecord(GeneratedBlock(s, g_now + s * 1000));
        ++s;
        const auto start = std::chrono::steady_clock::now();
        const EventDetector::Output out = detector.OnTraffic(record, port);
        store.Append({*out.block}, out.events);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}
BENCHMARK(BM_RecordBlock_Synchronous)
    ->UseManualTime()
    ->Iterations(300)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

const QList<Quantity> kAllOffered = {Quantity::CurrentR,      Quantity::CurrentS,    Quantity::CurrentT,
                                     Quantity::Voltage,       Quantity::Temperature, Quantity::OutputQuantity,
                                     Quantity::InputQuantity, Quantity::InputSetting};

void BM_Trend7Days_QueryAndReduce(benchmark::State& state) {
    HistoryStore store;
    store.Open(g_week, HistoryStore::Access::ReadOnly, nullptr);
    const int id = *store.DeviceId(kBenchDevice);
    qint64 points = 0;
    for (auto _ : state) {
        const TrendData data = QueryTrend(store, id, g_now - 7 * kDayMs, g_now, 1000, kAllOffered);
        for (const ColumnReducer& r : data.series)
            points += r.Points().size();
        benchmark::DoNotOptimize(points);
    }
    state.counters["points"] = double(points) / double(state.iterations());
}
BENCHMARK(BM_Trend7Days_QueryAndReduce)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Query, reduction, the series replaced and the chart drawn into an image of the window's size.
void TrendDrawn(benchmark::State& state, const QString& path, qint64 from, qint64 to) {
    TTrendWindow window(path);
    window.SetQuantities(kAllOffered);
    window.ShowDevice(kBenchDevice);
    window.show();
    QApplication::processEvents();
    QImage image(window.ChartView()->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        window.SetRange(from, to);
        window.Reload();
        QPainter painter(&image);
        window.ChartView()->render(&painter);
    }
    state.counters["points"] = 0;
    for (const ColumnReducer& r : window.Data().series)
        state.counters["points"] += double(r.Points().size());
}

void BM_Trend7Days_FullResolution_Drawn(benchmark::State& state) {
    TrendDrawn(state, g_week, g_now - 7 * kDayMs, g_now);
}
BENCHMARK(BM_Trend7Days_FullResolution_Drawn)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_Trend30Days_MinuteRows_Drawn(benchmark::State& state) {
    TrendDrawn(state, g_month, g_now - 60 * kDayMs, g_now - 30 * kDayMs);
}
BENCHMARK(BM_Trend30Days_MinuteRows_Drawn)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// From nothing to the first frame of the window on 7 days (preset 7 d).
void BM_OpenTrendWindow7Days(benchmark::State& state) {
    for (auto _ : state) {
        TTrendWindow window(g_week);
        window.SetPreset(TTrendWindow::Days7);
        window.ShowDevice(kBenchDevice);
        window.show();
        QImage image(window.size(), QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        window.render(&painter);
        state.PauseTiming();
        painter.end();
        window.close();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenTrendWindow7Days)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv) {
    LoadFontAliases();
    QApplication app(argc, argv);
    QTemporaryDir dir;
    g_dir = &dir;
    g_now = QDateTime::currentMSecsSinceEpoch() / 1000 * 1000;
    g_week = dir.filePath(QStringLiteral("week.sqlite"));
    g_month = dir.filePath(QStringLiteral("month.sqlite"));
    {
        std::fprintf(stderr, "generating 7 days at full resolution and 30 days of minute rows...\n");
        HistoryStore week, month;
        if (!week.Open(g_week, HistoryStore::Access::ReadWrite, nullptr) ||
            !GenerateHistory(week, g_now - 7 * kDayMs, g_now, false) ||
            !month.Open(g_month, HistoryStore::Access::ReadWrite, nullptr) ||
            !GenerateHistory(month, g_now - 60 * kDayMs, g_now - 30 * kDayMs, false) || !month.Trim(g_now)) {
            std::fprintf(stderr, "cannot generate the history: %s %s\n", qPrintable(week.LastError()),
                         qPrintable(month.LastError()));
            return 1;
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
