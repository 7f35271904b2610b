// Resident memory of the panel's main window holding traffic records, with the monitor window open
// and following, against the same window holding none, measured in the same process: RSS from
// /proc/self/statm after the window has been shown, used (1000 records, then cleared), filled with
// RECORDS records, and filled once more (the ring buffer replacing every record).
// Records are a poll's request (8 bytes) and its reply (REPLY bytes, 25 for a read of ten registers),
// each with bytes of its own as the poll cycle makes them.
// Usage: monitor_memory [RECORDS] [REPLY]      (QT_QPA_PLATFORM=offscreen)
#include "Controls.h"
#include "Fonts.h"
#include "MainWindow.h"
#include "ScriptedCommPort.h"
#include "TrafficMonitor.h"

#include <QAction>
#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

long ResidentKiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void Report(TMainWindow& window, qint64 count, int reply, qint64& id) {
    for (qint64 i = 0; i < count; ++i, ++id) {
        TrafficRecord r;
        StampNow(r);
        const bool tx = id % 2 == 0;
        r.direction = tx ? TrafficDirection::Tx : TrafficDirection::Rx;
        r.verdict = tx ? Verdict::Sent : Verdict::Accepted;
        r.bytes = QByteArray(tx ? 8 : reply, char(id));
        r.function = 0x03;
        r.requestUs = tx ? 0 : r.monotonicUs - 105000;
        window.Form()->ReportTraffic(r);
    }
    window.findChild<TTrafficMonitor*>()->syncRows();
    QApplication::processEvents();
}

} // namespace

int main(int argc, char* argv[]) {
    const qint64 records = argc > 1 ? std::atoll(argv[1]) : 100000;
    const int reply = argc > 2 ? std::atoi(argv[2]) : 25;
    LoadFontAliases();
    QApplication app(argc, argv);
    ApplyClassicLook(app);
    TMainWindow window(std::make_unique<TScriptedCommPort>());
    window.Form()->Timer1->stop();
    window.Form()->Timer2->stop();
    window.show();
    window.MonitorAction->trigger();
    QApplication::processEvents();
    qint64 id = 0;
    Report(window, 1000, reply, id);
    window.Line()->ClearTraffic();
    QApplication::processEvents();
    const long baseline = ResidentKiB();
    Report(window, records, reply, id);
    const long held = ResidentKiB();
    Report(window, records, reply, id);
    const long wrapped = ResidentKiB();
    std::printf("records=%lld reply_bytes=%d held=%lld dropped=%lld baseline_kib=%ld held_kib=%ld "
                "wrapped_kib=%ld extra_mib=%.1f extra_wrapped_mib=%.1f bytes_per_record=%.0f\n",
                static_cast<long long>(records), reply,
                static_cast<long long>(window.Line()->Traffic().Size()),
                static_cast<long long>(window.Line()->Traffic().Dropped()), baseline, held, wrapped,
                (held - baseline) / 1024.0, (wrapped - baseline) / 1024.0,
                (held - baseline) * 1024.0 / double(records));
    return 0;
}
