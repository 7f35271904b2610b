// The history's costs on the GUI thread and in the trend window:
//   - handing one accepted block to the history (detector and the writer thread's queue), against
//     committing it on the calling thread, which the writer thread spares the GUI;
//   - the trend over 7 days recorded at full resolution (about 600 000 blocks) as the window reads them,
//     and read block by block: query and reduction, then with the chart's series updated and drawn;
//   - the trend over 30 days from minute rows, the same;
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
#include <QDir>
#include <QFile>
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

// The query and the reduction to 1000 columns, no window.
void QueryAndReduce(benchmark::State& state, const QString& path, qint64 from, qint64 to,
                    TrendSource source) {
    HistoryStore store;
    store.Open(path, HistoryStore::Access::ReadOnly, nullptr);
    const int id = *store.DeviceId(kBenchDevice);
    qint64 points = 0, minutes = 0;
    for (auto _ : state) {
        const TrendData data = QueryTrend(store, id, from, to, 1000, kAllOffered, source);
        for (const ColumnReducer& r : data.series)
            points += r.Points().size();
        minutes += data.minutesForBlocks;
        benchmark::DoNotOptimize(points);
    }
    state.counters["points"] = double(points) / double(state.iterations());
    state.counters["minute_rows_for_blocks"] = double(minutes) / double(state.iterations());
}

// 7 days recorded at full resolution, as the window reads them at 1000 columns (10 minutes each):
// the minutes inside a column from their minute rows, the minutes across column borders block by block.
void BM_Trend7Days_QueryAndReduce(benchmark::State& state) {
    QueryAndReduce(state, g_week, g_now - 7 * kDayMs, g_now, TrendSource::Fastest);
}
BENCHMARK(BM_Trend7Days_QueryAndReduce)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The same 7 days read block by block: every one of the 604 800 blocks.
void BM_Trend7Days_EveryBlock_QueryAndReduce(benchmark::State& state) {
    QueryAndReduce(state, g_week, g_now - 7 * kDayMs, g_now, TrendSource::Blocks);
}
BENCHMARK(BM_Trend7Days_EveryBlock_QueryAndReduce)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// 30 days older than 14 days: minute rows only.
void BM_Trend30Days_MinuteRows_QueryAndReduce(benchmark::State& state) {
    QueryAndReduce(state, g_month, g_now - 60 * kDayMs, g_now - 30 * kDayMs, TrendSource::Fastest);
}
BENCHMARK(BM_Trend30Days_MinuteRows_QueryAndReduce)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// What reading the 43 200 minute rows of 30 days costs alone, no reduction: every column of the rows
// (some forty, as a full read of the table does), against the twenty the trend reads for the quantities
// drawn (their minima and maxima, the block counts, the alarm bits).
void ReadMinuteRows(benchmark::State& state, bool everyColumn) {
    HistoryStore store;
    store.Open(g_month, HistoryStore::Access::ReadOnly, nullptr);
    const int id = *store.DeviceId(kBenchDevice);
    QList<Quantity> read = kAllOffered;
    read << Quantity::Alarms;
    qint64 rows = 0, sum = 0;
    const auto sink = [&](const MinuteRow& m) {
        ++rows;
        sum += m.max[size_t(Quantity::CurrentR)];
    };
    for (auto _ : state) {
        if (everyColumn)
            store.ForEachMinute(id, g_now - 60 * kDayMs, g_now - 30 * kDayMs, sink);
        else
            store.ForEachMinuteOf(id, g_now - 60 * kDayMs, g_now - 30 * kDayMs, read, sink);
        benchmark::DoNotOptimize(sum);
    }
    state.counters["rows"] = double(rows) / double(state.iterations());
}

void BM_MinuteRows30Days_ReadEveryColumn(benchmark::State& state) {
    ReadMinuteRows(state, true);
}
BENCHMARK(BM_MinuteRows30Days_ReadEveryColumn)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_MinuteRows30Days_ReadDrawnColumns(benchmark::State& state) {
    ReadMinuteRows(state, false);
}
BENCHMARK(BM_MinuteRows30Days_ReadDrawnColumns)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Query, reduction, the series replaced and the chart drawn into an image of the window's size, as the
// window does it at its plot's width.
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
    state.counters["columns"] = window.Columns();
    state.counters["points"] = 0;
    for (const ColumnReducer& r : window.Data().series)
        state.counters["points"] += double(r.Points().size());
    state.counters["minute_rows_for_blocks"] = window.Data().minutesForBlocks;
}

void BM_Trend7Days_Drawn(benchmark::State& state) {
    TrendDrawn(state, g_week, g_now - 7 * kDayMs, g_now);
}
BENCHMARK(BM_Trend7Days_Drawn)
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

// Notes the first paint of a widget.
class TFirstPaint : public QObject {
public:
    explicit TFirstPaint(QWidget* widget) : QObject(widget) { widget->installEventFilter(this); }
    bool Seen() const { return m_seen; }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            m_seen = true;
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};

// From nothing to the first frame of the window on 7 days (preset 7 d), through the event loop as the
// panel opens it: the window made, its device chosen, shown and laid out, the data reduced, and the
// chart painted. The plot's width and the columns reduced at that frame are reported: when they agree,
// no second reduction follows.
void BM_OpenTrendWindow7Days(benchmark::State& state) {
    double columns = 0, plotWidth = 0;
    for (auto _ : state) {
        auto* window = new TTrendWindow(g_week);
        const TFirstPaint* painted = new TFirstPaint(window->ChartView()->viewport());
        window->SetPreset(TTrendWindow::Days7);
        window->ShowDevice(kBenchDevice);
        window->show();
        while (!painted->Seen())
            QApplication::processEvents();
        state.PauseTiming();
        columns = window->Columns();
        plotWidth = int(window->ChartView()->chart()->plotArea().width());
        delete window;
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["columns"] = columns;
    state.counters["plot_width"] = plotWidth;
}
BENCHMARK(BM_OpenTrendWindow7Days)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Z7_BENCH_DATA=DIR keeps the generated files in DIR and reuses them on the next run (for profiling);
// "now" is then the end of the kept week.
bool PrepareData() {
    const QString keep = qEnvironmentVariable("Z7_BENCH_DATA");
    const QString dir = keep.isEmpty() ? g_dir->path() : keep;
    g_week = dir + QStringLiteral("/week.sqlite");
    g_month = dir + QStringLiteral("/month.sqlite");
    if (!keep.isEmpty() && QFile::exists(g_week) && QFile::exists(g_month)) {
        HistoryStore week;
        if (!week.Open(g_week, HistoryStore::Access::ReadOnly, nullptr))
            return false;
        const auto span = week.BlockSpan(*week.DeviceId(kBenchDevice));
        g_now = span->second + 1000;
        return true;
    }
    QDir().mkpath(dir);
    g_now = QDateTime::currentMSecsSinceEpoch() / 1000 * 1000;
    std::fprintf(stderr, "generating 7 days at full resolution and 30 days of minute rows...\n");
    HistoryStore week, month;
    if (!week.Open(g_week, HistoryStore::Access::ReadWrite, nullptr) ||
        !GenerateHistory(week, g_now - 7 * kDayMs, g_now, false) ||
        !month.Open(g_month, HistoryStore::Access::ReadWrite, nullptr) ||
        !GenerateHistory(month, g_now - 60 * kDayMs, g_now - 30 * kDayMs, false) ||
        // The trim counts back from the newest record: one at g_now lets it take every block of the month.
        !month.Append({GeneratedBlock(g_now / 1000, g_now)}, {}) || !month.Trim(g_now)) {
        std::fprintf(stderr, "cannot generate the history: %s %s\n", qPrintable(week.LastError()),
                     qPrintable(month.LastError()));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    LoadFontAliases();
    QApplication app(argc, argv);
    QTemporaryDir dir;
    g_dir = &dir;
    if (!PrepareData())
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
