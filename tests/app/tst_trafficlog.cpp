// The traffic log's write failures as the operator sees them: the status bar while writing fails, one
// message box a run, and the records lost once writing works again.
#include "Language.h"
#include "TrafficLogAlerts.h"
#include "TrafficLogFile.h"

#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QMessageBox>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

namespace {

TrafficRecord Made(int id) {
    TrafficRecord r;
    StampNow(r);
    r.bytes = QByteArray("\x01\x03\x00", 3) + char(id);
    return r;
}

// The path leads to a full disk, or to a file with room.
void DiskFull(const QString& path, bool full) {
    QFile::remove(path);
    if (full)
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), path));
    else
        QVERIFY(QFile(path).open(QIODevice::WriteOnly));
}

bool HasChinese(const QString& text) {
    static const QRegularExpression han(QStringLiteral("\\p{Han}"));
    return text.contains(han);
}

} // namespace

class TestTrafficLog : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { ApplyLanguage(Language::Chinese); }
    void failureShownAndLostRecordsCounted_data();
    void failureShownAndLostRecordsCounted();
};

void TestTrafficLog::failureShownAndLostRecordsCounted_data() {
    QTest::addColumn<Language>("language");
    QTest::addColumn<QString>("resumed"); // for 2 records lost; %1 the path
    QTest::newRow("Chinese") << Language::Chinese
                             << QStringLiteral("通讯记录文件 %1 恢复写入；丢失的记录：2 条");
    QTest::newRow("English") << Language::English
                             << QStringLiteral("Traffic log %1 written again; records lost: 2");
}

void TestTrafficLog::failureShownAndLostRecordsCounted() {
    QFETCH(Language, language);
    QFETCH(QString, resumed);
    QVERIFY(ApplyLanguage(
        language, {qEnvironmentVariable("Z7_BINARY_DIR") + QStringLiteral("/share/z7panel/translations")}));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("traffic.log"));
    DiskFull(path, true);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("QM_Modbus RTU"));
    window.show();
    TrafficLogFile log;
    QVERIFY(log.Open(path, nullptr));
    ReportTrafficLogTrouble(log, window, QStringLiteral("z7panel"));
    const QString reason = qt_error_string(ENOSPC);

    log.Write(Made(1));
    log.Write(Made(2));
    const QString failure = window.statusBar()->currentMessage();
    QVERIFY2(failure.contains(path) && failure.contains(reason), qPrintable(failure));
    QList<QMessageBox*> boxes = window.findChildren<QMessageBox*>();
    QCOMPARE(boxes.size(), 1);
    QVERIFY(boxes[0]->isVisible());
    QVERIFY(!boxes[0]->isModal());
    QVERIFY2(boxes[0]->text().contains(path), qPrintable(boxes[0]->text()));
    QVERIFY2(boxes[0]->informativeText().contains(reason), qPrintable(boxes[0]->informativeText()));
    if (language == Language::English)
        QVERIFY(!HasChinese(failure + boxes[0]->text() + boxes[0]->informativeText()));
    boxes[0]->close();
    QTRY_VERIFY(window.findChildren<QMessageBox*>().isEmpty());

    DiskFull(path, false);
    log.Write(Made(3));
    QCOMPARE(window.statusBar()->currentMessage(), resumed.arg(path));

    // A second failure in the run: the status bar says so again, without another box.
    DiskFull(path, true);
    log.Write(Made(4));
    QCOMPARE(window.statusBar()->currentMessage(), failure);
    QCoreApplication::processEvents();
    QVERIFY(window.findChildren<QMessageBox*>().isEmpty());
}

QTEST_MAIN(TestTrafficLog)
#include "tst_trafficlog.moc"
