// GUI-thread cost of the panel: a full repaint of the window and the display tick, offscreen.
// Each display tick is timed with the repaints it causes (the posted update requests are processed
// inside the timed region), and reports how many widget repaints it requested.
#include "CRC16.h"
#include "Controls.h"
#include "Fonts.h"
#include "ModbusFrame.h"
#include "ScriptedCommPort.h"
#include "iComponent.h"

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <array>

namespace {

// The window live on a scripted port, with its timers stopped so the benchmark drives every tick.
struct LivePanel {
    TForm1 form{std::make_unique<TScriptedCommPort>()};
    QList<TiComponent*> widgets;
    LivePanel() {
        form.Timer1->stop();
        form.Timer2->stop();
        form.show();
        form.BitBtn7->click();
        form.CheckBox2->setChecked(true);
        widgets = form.findChildren<TiComponent*>();
        QApplication::processEvents();
    }
    // Polls the three blocks and hands the window a reply to each, as the port would deliver it.
    void Load(quint16 base) {
        for (quint8 block = 0; block < 3; ++block) {
            form.Timer1Timer(form.Timer1);
            QByteArray reply;
            reply.append(char(1)).append(char(3)).append(char(20));
            for (int r = 0; r < 10; ++r) {
                // Every register differs between the two bases, and bit 0 of register 3 and every
                // alarm bit flip with them.
                const int reg = block * 10 + r;
                const quint16 v = reg == 13 ? (base & 1 ? 0x1FF : 0) : quint16(base + reg * 7);
                reply.append(char(v >> 8)).append(char(v & 0xFF));
            }
            const quint16 crc = CalcCRC16(reinterpret_cast<const quint8*>(reply.constData()), 23);
            reply.append(char(crc >> 8)).append(char(crc & 0xFF));
            form.Comm1ReceiveData(form.Comm1, reply.constData(), quint16(reply.size()));
        }
    }
    int RepaintRequests() const {
        int n = 0;
        for (const TiComponent* w : widgets)
            n += w->RepaintRequestCount();
        return n;
    }
};

LivePanel& Panel() {
    static LivePanel panel;
    return panel;
}

void BM_FullWindowRepaint(benchmark::State& state) {
    LivePanel& p = Panel();
    QImage image(p.form.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        p.form.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_FullWindowRepaint)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true);

void BM_DisplayTickAllChanged(benchmark::State& state) {
    LivePanel& p = Panel();
    quint16 base = 101;
    int requests = 0;
    for (auto _ : state) {
        state.PauseTiming();
        base = base == 101 ? 202 : 101;
        p.Load(base);
        const int before = p.RepaintRequests();
        state.ResumeTiming();
        p.form.Timer2Timer(p.form.Timer2);
        QApplication::processEvents();
        state.PauseTiming();
        requests = p.RepaintRequests() - before;
        state.ResumeTiming();
    }
    state.counters["repaint_requests"] = requests;
}
BENCHMARK(BM_DisplayTickAllChanged)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

void BM_DisplayTickUnchanged(benchmark::State& state) {
    LivePanel& p = Panel();
    p.Load(303);
    p.form.Timer2Timer(p.form.Timer2);
    QApplication::processEvents();
    const int before = p.RepaintRequests();
    for (auto _ : state) {
        p.form.Timer2Timer(p.form.Timer2);
        QApplication::processEvents();
    }
    state.counters["repaint_requests"] = p.RepaintRequests() - before;
}
BENCHMARK(BM_DisplayTickUnchanged)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char* argv[]) {
    LoadFontAliases();
    QApplication app(argc, argv);
    ApplyClassicLook(app);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
