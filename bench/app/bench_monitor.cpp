// GUI-thread cost of recording one traffic record through the main window (the buffer, the
// statistics and the status bar's timer), with the monitor window closed, open and
// following, and open with its rows taken in at every record; and the monitor's batched view update
// (rows, layout, scroll to the newest, statistics, paint) at several numbers of rows held. Offscreen,
// or under an X server with QT_QPA_PLATFORM unset.
//
// Each record is timed on its own; the counters median_us and p99_us are over the records of one
// repetition, and the aggregates over repetitions.
#include "Controls.h"
#include "Fonts.h"
#include "MainWindow.h"
#include "ScriptedCommPort.h"
#include "TrafficModel.h"
#include "TrafficMonitor.h"

#include <QAction>
#include <QApplication>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A poll second's records over and over: the request, its reply, every tenth reply refused for its CRC.
const std::vector<TrafficRecord>& Records() {
    static const std::vector<TrafficRecord> records = [] {
        std::vector<TrafficRecord> v;
        for (int i = 0; i < 1000; ++i) {
            TrafficRecord r;
            StampNow(r);
            r.monotonicUs += i * 500000;
            const bool tx = i % 2 == 0;
            r.direction = tx ? TrafficDirection::Tx : TrafficDirection::Rx;
            r.verdict = tx ? Verdict::Sent : (i % 20 == 19 ? Verdict::Crc : Verdict::Accepted);
            r.bytes = QByteArray(tx ? 8 : 25, char(i));
            r.function = 0x03;
            r.requestUs = tx ? 0 : r.monotonicUs - 105000;
            v.push_back(r);
        }
        return v;
    }();
    return records;
}

struct Window {
    TMainWindow main{std::make_unique<TScriptedCommPort>()};
    TTrafficMonitor* monitor = nullptr;
    qsizetype next = 0;

    explicit Window(bool withMonitor) {
        main.Form()->Timer1->stop();
        main.Form()->Timer2->stop();
        main.show();
        if (withMonitor) {
            main.MonitorAction->trigger();
            monitor = main.findChild<TTrafficMonitor*>();
        }
        QApplication::processEvents();
    }
    void Report() {
        const std::vector<TrafficRecord>& records = Records();
        main.Form()->ReportTraffic(records[size_t(next++ % qsizetype(records.size()))]);
    }
    // Empties the buffer and reports `held` records, with the view brought up to them.
    void Fill(qsizetype held) {
        main.Line()->ClearTraffic();
        for (qsizetype i = 0; i < held; ++i)
            Report();
        if (monitor)
            monitor->syncRows();
        QApplication::processEvents();
    }
};

// Made at the first use, gone before the application object.
std::unique_ptr<Window> g_closed;
std::unique_ptr<Window> g_open;

Window& Closed() {
    if (!g_closed)
        g_closed = std::make_unique<Window>(false);
    return *g_closed;
}

Window& Open() {
    if (!g_open)
        g_open = std::make_unique<Window>(true);
    return *g_open;
}

enum Mode { MonitorClosed, MonitorFollowing, RowPerRecord };

// Arguments: the mode, and whether the buffer is full (each record pushes out the oldest) or filling.
void BM_Record(benchmark::State& state) {
    const Mode mode = Mode(state.range(0));
    Window& w = mode == MonitorClosed ? Closed() : Open();
    w.Fill(state.range(1) ? w.main.Line()->Traffic().Capacity() : 0);
    std::vector<double> us;
    us.reserve(size_t(state.max_iterations));
    for (auto _ : state) {
        const Clock::time_point t0 = Clock::now();
        w.Report();
        if (mode == RowPerRecord)
            w.monitor->Model()->Sync();
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    std::sort(us.begin(), us.end());
    state.counters["median_us"] = us[us.size() / 2];
    state.counters["p99_us"] = us[us.size() * 99 / 100];
    state.counters["rows"] = w.monitor ? w.monitor->Model()->rowCount() : 0;
}
BENCHMARK(BM_Record)
    ->ArgNames({"mode", "full"})
    ->ArgsProduct({{MonitorClosed, MonitorFollowing, RowPerRecord}, {0, 1}})
    ->Iterations(20000)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

// Process CPU time so far, the X connection's and the painting helpers' threads included.
double CpuUs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
}

// One batch of the monitor as a poll second brings it: two records, then the rows taken in, the view
// scrolled to the newest and the statistics refreshed ("take"), and the window painted and flushed to
// the screen ("paint"). Argument: the records held before the first batch; with a full ring each batch
// pushes the oldest records out. Run under a real X server as well as offscreen: only there does the
// flush cost what it costs on a desktop.
void BM_ViewUpdate(benchmark::State& state) {
    Window& w = Open();
    w.Fill(state.range(0));
    std::vector<double> take;
    std::vector<double> paint;
    for (auto _ : state) {
        const double t0 = CpuUs();
        w.Report();
        w.Report();
        w.monitor->syncRows();
        w.monitor->refreshStatistics();
        const double t1 = CpuUs();
        QApplication::processEvents();
        const double t2 = CpuUs();
        take.push_back(t1 - t0);
        paint.push_back(t2 - t1);
    }
    std::sort(take.begin(), take.end());
    std::sort(paint.begin(), paint.end());
    state.counters["take_us"] = take[take.size() / 2];
    state.counters["paint_us"] = paint[paint.size() / 2];
    state.counters["following"] = w.monitor->Following();
}
BENCHMARK(BM_ViewUpdate)
    ->ArgName("held")
    ->Arg(60)
    ->Arg(10000)
    ->Arg(100000)
    ->Iterations(40)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char* argv[]) {
    LoadFontAliases();
    QApplication app(argc, argv);
    ApplyClassicLook(app);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_closed.reset();
    g_open.reset();
    return 0;
}
