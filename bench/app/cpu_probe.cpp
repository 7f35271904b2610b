// CPU time of the panel polling the device simulator, or of a bare Qt window with two timers (1000 and
// 500 ms, like the panel's), over the same span. Prints "cpu_ms=N span_ms=M" once the span is over.
// "window" and "window-monitor" poll like "panel" inside the main window frame, with the monitor
// window 通讯监视 closed or open and following; "window-alarm" with an alarm held set on the device, which
// the alarm strip shows flashing, unacknowledged, all along, and "window-alarm-ack" with the same alarm
// acknowledged before the span, shown steady.
// Usage: panel_cpu_probe panel|panel-quiet|window|window-monitor|window-alarm|window-alarm-ack Z7SIM LINK
//        SECONDS
//        panel_cpu_probe bare SECONDS
// An argument after SECONDS sets the seconds to settle before the span (2 by default).
#include "CRC16.h"
#include "Controls.h"
#include "Fonts.h"
#include "MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/resource.h>

namespace {

double CpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// Two seconds (or `settle`) to settle, then the measured span; the result is printed and the program
// quits.
void MeasureSpan(int seconds, int settle = 2) {
    QTimer::singleShot(settle * 1000, [seconds] {
        const double cpu0 = CpuMs();
        auto* span = new QElapsedTimer;
        span->start();
        QTimer::singleShot(seconds * 1000, [cpu0, span] {
            std::printf("cpu_ms=%.1f span_ms=%lld\n", CpuMs() - cpu0,
                        static_cast<long long>(span->elapsed()));
            std::fflush(stdout);
            delete span;
            QCoreApplication::quit();
        });
    });
}

} // namespace

int main(int argc, char* argv[]) {
    // "panel-quiet": the port open but the box unticked, so the share of the line's polling shows.
    const bool args = argc == 5 || argc == 6;
    const bool quiet = args && std::strcmp(argv[1], "panel-quiet") == 0;
    const bool monitor = args && std::strcmp(argv[1], "window-monitor") == 0;
    const bool acknowledged = args && std::strcmp(argv[1], "window-alarm-ack") == 0;
    const bool alarm = acknowledged || (args && std::strcmp(argv[1], "window-alarm") == 0);
    const bool framed = monitor || alarm || (args && std::strcmp(argv[1], "window") == 0);
    const bool panel = quiet || framed || (args && std::strcmp(argv[1], "panel") == 0);
    const bool bare = argc == 3 && std::strcmp(argv[1], "bare") == 0;
    if (!panel && !bare) {
        std::fprintf(stderr,
                     "usage: %s panel|panel-quiet|window|window-monitor|window-alarm Z7SIM LINK SECONDS | %s "
                     "bare SECONDS\n",
                     argv[0], argv[0]);
        return 2;
    }
    LoadFontAliases();
    QApplication app(argc, argv);
    ApplyClassicLook(app);
    if (bare) {
        QWidget window;
        window.resize(801, 556);
        window.show();
        QTimer timer1;
        QTimer timer2;
        QObject::connect(&timer1, &QTimer::timeout, [] {});
        QObject::connect(&timer2, &QTimer::timeout, [] {});
        timer1.start(1000);
        timer2.start(500);
        MeasureSpan(std::atoi(argv[2]));
        return app.exec();
    }
    const QString link = QString::fromLocal8Bit(argv[3]);
    QProcess sim;
    QStringList simArgs{"--link", link};
    if (alarm)
        simArgs << "--alarm"
                << "0x10";
    sim.start(QString::fromLocal8Bit(argv[2]), simArgs);
    for (int i = 0; i < 100 && !QFileInfo(link).isSymLink(); ++i)
        QThread::msleep(50);
    std::unique_ptr<TMainWindow> window;
    std::unique_ptr<TForm1> alone;
    if (framed)
        window = std::make_unique<TMainWindow>();
    else
        alone = std::make_unique<TForm1>();
    TForm1& form = framed ? *window->Form() : *alone;
    form.PresetPort(link);
    if (framed)
        window->show();
    else
        form.show();
    if (monitor)
        window->MonitorAction->trigger();
    form.BitBtn7->click();
    if (!form.Comm1->IsOpen())
        return 1;
    if (!quiet)
        form.CheckBox2->click();
    // The alarm block is read in the first seconds of polling; the span starts after them.
    if (acknowledged)
        QTimer::singleShot(2500, window.get(), [&window] { window->AcknowledgeAction->trigger(); });
    MeasureSpan(std::atoi(argv[4]), argc == 6 ? std::atoi(argv[5]) : 2);
    const int status = app.exec();
    sim.terminate();
    sim.waitForFinished(3000);
    return status;
}
