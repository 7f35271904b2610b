#include "TrafficLogAlerts.h"

#include "CRC16.h"
#include "MainWindow.h"
#include "TrafficLogFile.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QStatusBar>

#include <cstdio>

namespace {

struct TrafficLogAlerts {
    Q_DECLARE_TR_FUNCTIONS(TrafficLogAlerts)
};

// How long the news that writing works again stays in the status bar.
constexpr int kResumedShownMs = 10000;

} // namespace

void ReportTrafficLogTrouble(TrafficLogFile& log, QMainWindow& window, const QString& programName) {
    QObject::connect(
        &log, &TrafficLogFile::writeFailed, &window,
        [&log, &window, programName, boxShown = false](const QString& why) mutable {
            const QString failure = TrafficLogAlerts::tr("通讯记录文件 %1 写入失败：%2").arg(log.Path(), why);
            std::fprintf(stderr, "%s: %s\n", qPrintable(programName), qPrintable(failure));
            // Stands until writing works again.
            window.statusBar()->showMessage(failure);
            if (boxShown)
                return;
            boxShown = true;
            auto* box = new QMessageBox(QMessageBox::Warning, window.windowTitle(),
                                        TrafficLogAlerts::tr("无法写入通讯记录文件 %1。").arg(log.Path()),
                                        QMessageBox::Ok, &window);
            box->setInformativeText(
                TrafficLogAlerts::tr(
                    "%1\n\n在写入恢复之前，通讯记录会丢失；恢复后，文件里有一行写明丢失了多少条"
                    "（\"log lost 条数\"）。状态栏显示当前的情况；该文件被移走或删除，"
                    "或面板收到 SIGHUP 时，会重新打开该文件。")
                    .arg(why));
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setWindowModality(Qt::NonModal);
            box->show();
        });
    QObject::connect(&log, &TrafficLogFile::writeResumed, &window, [&log, &window, programName](qint64 lost) {
        const QString news =
            TrafficLogAlerts::tr("通讯记录文件 %1 恢复写入；丢失的记录：%2 条").arg(log.Path()).arg(lost);
        std::fprintf(stderr, "%s: %s\n", qPrintable(programName), qPrintable(news));
        window.statusBar()->showMessage(news, kResumedShownMs);
    });
}

void AttachTrafficLog(TrafficLogFile& log, TMainWindow& window, const QString& programName) {
    QObject::connect(window.Form(), &TForm1::trafficRecorded, &log,
                     [&log](const TrafficRecord& record) { log.Write(record); });
    ReportTrafficLogTrouble(log, window, programName);
    QString why;
    if (!log.ReopenOnHangUp(&why))
        std::fprintf(stderr, "%s: SIGHUP: %s\n", qPrintable(programName), qPrintable(why));
}
