// The frame window around the instrument area: the area keeps its size and every control its place,
// the menus, and the status bar's account of the line.
#include "CRC16.h"
#include "LoopbackServer.h"
#include "BusScanWindow.h"
#include "MainWindow.h"
#include "TrafficMonitor.h"
#include "PtyPair.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

namespace {

// Every widget of the instrument area with its place in the area's coordinates.
QMap<QString, QRect> Places(QWidget* area) {
    QMap<QString, QRect> places;
    int unnamed = 0;
    for (QWidget* w : area->findChildren<QWidget*>()) {
        const QString key = w->objectName().isEmpty()
                                ? QStringLiteral("%1#%2").arg(w->metaObject()->className()).arg(unnamed++)
                                : w->objectName();
        places.insert(key, QRect(w->mapTo(area, QPoint(0, 0)), w->size()));
    }
    return places;
}

TrafficRecord Record(TrafficDirection direction, Verdict verdict, quint8 function = 0x03) {
    TrafficRecord r;
    StampNow(r);
    r.direction = direction;
    r.verdict = verdict;
    r.function = function;
    return r;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void instrumentAreaUnchanged();
    void menus_data();
    void menus();
    void statusFollowsTheLine();
    void statusSaysTheLineIsReachedOverTcp();
    void toolWindowsCarryTheIconAndCloseWithEsc();
};

void TestMainWindow::instrumentAreaUnchanged() {
    TForm1 alone;
    alone.show();
    TMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    TForm1* area = window.Form();
    QCOMPARE(area->size(), QSize(801, 556));
    QCOMPARE(window.centralWidget(), area);
    // The bars lie outside the area, above and below it.
    QCOMPARE(area->y(), window.menuBar()->geometry().bottom() + 1);
    QVERIFY(window.statusBar()->geometry().top() >= area->geometry().bottom() + 1);
    const QMap<QString, QRect> expected = Places(&alone);
    const QMap<QString, QRect> actual = Places(area);
    QCOMPARE(actual.keys(), expected.keys());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QVERIFY2(actual.value(it.key()) == it.value(), qPrintable(it.key()));
    QCOMPARE(window.windowTitle(), QStringLiteral("QM_Modbus RTU"));
}

void TestMainWindow::menus_data() {
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::newRow("save") << "文件"
                          << "保存通讯记录…" << QKeySequence();
    QTest::newRow("quit") << "文件"
                          << "退出" << QKeySequence(QStringLiteral("Ctrl+Q"));
    QTest::newRow("monitor") << "查看"
                             << "通讯监视" << QKeySequence(QStringLiteral("Ctrl+M"));
    QTest::newRow("scan") << "查看"
                          << "总线扫描" << QKeySequence(QStringLiteral("Ctrl+B"));
    QTest::newRow("about") << "帮助"
                           << "关于" << QKeySequence();
}

void TestMainWindow::menus() {
    QFETCH(QString, menu);
    QFETCH(QString, item);
    QFETCH(QKeySequence, shortcut);
    TMainWindow window;
    QAction* found = nullptr;
    for (QAction* m : window.menuBar()->actions())
        if (m->text() == menu)
            for (QAction* a : m->menu()->actions())
                if (a->text() == item)
                    found = a;
    QVERIFY(found);
    QCOMPARE(found->shortcut(), shortcut);
}

void TestMainWindow::statusFollowsTheLine() {
    PtyPair pty;
    QVERIFY(!pty.name.isEmpty());
    TMainWindow window;
    TForm1* form = window.Form();
    QCOMPARE(window.StatusLabel()->text(), QStringLiteral("端口已关闭"));
    form->PresetPort(pty.name);
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QVERIFY(form->Comm1->IsOpen());
    QCOMPARE(window.StatusLabel()->text(),
             QStringLiteral("端口 %1  19200 8_N_2   地址 1   轮询 0").arg(pty.name));

    // Two polls, one answered and one refused for its CRC: the share, the response time and the last
    // problem with its time. The text follows within the status bar's delay.
    TrafficRecord tx = Record(TrafficDirection::Tx, Verdict::Sent);
    form->ReportTraffic(tx);
    TrafficRecord rx = Record(TrafficDirection::Rx, Verdict::Accepted);
    rx.requestUs = tx.monotonicUs;
    rx.monotonicUs = tx.monotonicUs + 104200;
    form->ReportTraffic(rx);
    form->ReportTraffic(Record(TrafficDirection::Tx, Verdict::Sent));
    const TrafficRecord crc = Record(TrafficDirection::Rx, Verdict::Crc);
    form->ReportTraffic(crc);
    QCOMPARE(window.Line()->Traffic().Size(), 4);
    const QString time = QDateTime::fromMSecsSinceEpoch(crc.utcMs).toString(QStringLiteral("HH:mm:ss"));
    QTRY_COMPARE(
        window.StatusLabel()->text(),
        QStringLiteral(
            "端口 %1  19200 8_N_2   地址 1   轮询 2   接收 50.0%   响应 104.2 ms   最近错误 CRC错误 %2")
            .arg(pty.name, time));

    // The port vanishes: the closed look.
    pty.CloseMaster();
    QTRY_COMPARE(window.StatusLabel()->text(), QStringLiteral("端口已关闭"));
    QCOMPARE(form->BitBtn7->text(), QStringLiteral("打开串口"));
}

void TestMainWindow::statusSaysTheLineIsReachedOverTcp() {
    LoopbackServer server;
    QVERIFY(server.port != 0);
    TMainWindow window;
    TForm1* form = window.Form();
    form->PresetPort(server.Name());
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QVERIFY(form->Comm1->IsOpen());
    // Baud rate and format set nothing on this road, so the status bar does not show them.
    QCOMPARE(window.StatusLabel()->text(),
             QStringLiteral("端口 %1 (经TCP)   地址 1   轮询 0").arg(server.Name()));
}

void TestMainWindow::toolWindowsCarryTheIconAndCloseWithEsc() {
    TMainWindow window;
    window.show();
    QVERIFY(!window.windowIcon().isNull());
    QVERIFY(!window.windowIcon().pixmap(32, 32).isNull());
    window.MonitorAction->trigger();
    window.ScanAction->trigger();
    const QList<QWidget*> tools{window.findChild<TTrafficMonitor*>(), window.findChild<TBusScanWindow*>()};
    for (QWidget* tool : tools) {
        QVERIFY(tool && tool->isVisible());
        QCOMPARE(tool->windowIcon().cacheKey(), window.windowIcon().cacheKey());
        tool->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(tool));
        QTest::keyClick(tool->focusWidget() ? tool->focusWidget() : tool, Qt::Key_Escape);
        QVERIFY(!tool->isVisible());
    }
    QVERIFY(window.isVisible());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
