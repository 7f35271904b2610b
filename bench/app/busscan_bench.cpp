// How long the bus scan takes over slave addresses 1 to 247 against z7sim, which answers at one of
// them: the wall time from the start button to the line given back, against the budget of 247 waits
// and against a bare chain of 247 single-shot timers of the same wait in the same process, run just
// before each scan. Every scan must find exactly the simulator's address.
//
//   busscan_bench [RUNS] [WAIT_MS]      (default 3 runs of the default wait, 250 ms)
#include "BusScanWindow.h"
#include "CRC16.h"
#include "MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kAddresses = 247;
constexpr int kSimAddress = 17;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The same waits as the scan's, one after another, with nothing sent and nothing received.
double TimerChainSeconds(int waitMs) {
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(waitMs);
    QEventLoop loop;
    int left = kAddresses;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (--left > 0)
            timer.start();
        else
            loop.quit();
    });
    QElapsedTimer clock;
    clock.start();
    timer.start();
    loop.exec();
    return double(clock.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int runs = args.size() > 1 ? args[1].toInt() : 3;
    const int requestedWait = args.size() > 2 ? args[2].toInt() : 0;

    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyZ7"));
    QProcess sim;
    sim.start(QStringLiteral(Z7_SIM), {"--link", link, "--address", QString::number(kSimAddress)});
    QElapsedTimer started;
    started.start();
    while (!QFileInfo(link).isSymLink() && started.elapsed() < 10000)
        QThread::msleep(20);
    if (!QFileInfo(link).isSymLink()) {
        std::fprintf(stderr, "busscan_bench: z7sim did not start\n");
        return 1;
    }

    TMainWindow window;
    TForm1* form = window.Form();
    form->PresetPort(link);
    form->BitBtn7Click(form->BitBtn7);
    if (!form->Comm1->IsOpen()) {
        std::fprintf(stderr, "busscan_bench: cannot open %s\n", qPrintable(link));
        return 1;
    }
    window.ScanAction->trigger();
    auto* scanWindow = window.findChild<TBusScanWindow*>();
    scanWindow->FirstAddressBox->setValue(1);
    scanWindow->LastAddressBox->setValue(kAddresses);
    if (requestedWait > 0)
        scanWindow->WaitBox->setValue(requestedWait);
    const int waitMs = scanWindow->WaitBox->value();
    const double budget = kAddresses * waitMs / 1000.0;

    std::printf("| run | scan | timer chain | scan / budget | scan / timer chain |\n|---|---|---|---|---|\n");
    std::vector<double> scans, chains;
    for (int run = 1; run <= runs; ++run) {
        chains.push_back(TimerChainSeconds(waitMs));
        QEventLoop loop;
        QObject::connect(scanWindow, &TBusScanWindow::scanEnded, &loop, &QEventLoop::quit);
        QElapsedTimer clock;
        clock.start();
        scanWindow->StartButton->click();
        loop.exec();
        scans.push_back(double(clock.nsecsElapsed()) / 1e9);
        const BusScan* result = scanWindow->Scan();
        if (result->Ending() != BusScan::End::Completed || result->Answers().size() != 1 ||
            result->Answers()[0].probe.address != kSimAddress) {
            std::fprintf(stderr, "busscan_bench: run %d did not find exactly address %d\n", run, kSimAddress);
            return 1;
        }
        std::printf("| %d | %.3f s | %.3f s | %.4f | %.4f |\n", run, scans.back(), chains.back(),
                    scans.back() / budget, scans.back() / chains.back());
        std::fflush(stdout);
    }
    const double scan = Median(scans);
    const double chain = Median(chains);
    std::printf("\n%d addresses, wait %d ms: budget %.3f s (+10 %%: %.3f s)\n", kAddresses, waitMs, budget,
                budget * 1.1);
    std::printf(
        "median scan %.3f s, median timer chain %.3f s: scan / budget %.4f, scan / timer chain %.4f\n", scan,
        chain, scan / budget, scan / chain);
    sim.terminate();
    sim.waitForFinished(5000);
    return scan <= budget * 1.1 ? 0 : 2;
}
