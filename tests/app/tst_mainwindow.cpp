// The frame window around the instrument area: the area keeps its size and every control its place,
// the menus, and the status bar's account of the line, also while a network port connects or
// reconnects.
#include "AlarmStrip.h"
#include "BusScanWindow.h"
#include "CRC16.h"
#include "LoopbackServer.h"
#include "MainWindow.h"
#include "ModbusTestBytes.h"
#include "PtyPair.h"
#include "RegisterWindow.h"
#include "SetPointDialog.h"
#include "TcpCommPort.h"
#include "TrafficMonitor.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>

#include <memory>
#include <mutex>

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

QList<PortEvent> Events(const QSignalSpy& spy) {
    QList<PortEvent> events;
    for (const QList<QVariant>& signal : spy)
        events << signal.at(0).value<PortEvent>();
    return events;
}

// Whether the panel connects to the server within `ms`, the event loop turning meanwhile.
bool Connects(LoopbackServer& server, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        if (server.Accept(0))
            return true;
        QTest::qWait(20);
    }
    return false;
}

// Whether a read request for slave address 1 reaches the server within 3 s, the event loop turning
// meanwhile.
bool PollArrives(const LoopbackServer& server) {
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < 8 && clock.elapsed() < 3000) {
        QTest::qWait(20);
        got += server.ReadUntilQuiet(0, 0);
    }
    return got.size() == 8 && got.startsWith(QByteArray("\x01\x03\x00", 3));
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
    void openingOverTcpCanBeCancelled();
    void lostConnectionIsMadeAgain();
    void reconnectionBacksOff();
    void toolWindowsCarryTheIconAndCloseWithEsc();
    void registersFromEveryWindow();
};

void TestMainWindow::instrumentAreaUnchanged() {
    TForm1 alone;
    alone.show();
    TMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    TForm1* area = window.Form();
    QCOMPARE(area->size(), QSize(801, 556));
    // The bars and the alarm strip lie outside the area: the menu bar, then the strip, above it, the
    // status bar below.
    const QWidget* strip = window.AlarmStrip();
    QCOMPARE(strip->mapTo(&window, QPoint()).y(), window.menuBar()->geometry().bottom() + 1);
    const QRect placed(area->mapTo(&window, QPoint()), area->size());
    QCOMPARE(placed.top(), strip->mapTo(&window, QPoint()).y() + strip->height());
    QVERIFY(window.statusBar()->geometry().top() >= placed.bottom() + 1);
    const QMap<QString, QRect> expected = Places(&alone);
    QMap<QString, QRect> actual = Places(area);
    // The frame's veil over stale readings lies on the area without being part of it.
    QVERIFY(actual.remove(QStringLiteral("staleVeil")));
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
    QTest::newRow("registers") << "查看"
                               << "寄存器" << QKeySequence(QStringLiteral("Ctrl+R"));
    QTest::newRow("open connection") << "文件"
                                     << "打开连接…" << QKeySequence();
    QTest::newRow("save connection") << "文件"
                                     << "保存连接为…" << QKeySequence();
    QTest::newRow("recent connections") << "文件"
                                        << "最近的连接" << QKeySequence();
    QTest::newRow("set values") << "设备"
                                << "设定值…" << QKeySequence(QStringLiteral("F2"));
    QTest::newRow("acknowledge alarms") << "查看"
                                        << "确认报警" << QKeySequence(Qt::Key_F4);
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
    QTRY_VERIFY(form->Comm1->IsOpen());
    // Baud rate and format set nothing on this road, so the status bar does not show them.
    QCOMPARE(window.StatusLabel()->text(),
             QStringLiteral("端口 %1 (经TCP)   地址 1   轮询 0").arg(server.Name()));
}

// The click that opens a network port returns at once; while the connection is tried, the window takes
// input as usual and the port button cancels the opening.
void TestMainWindow::openingOverTcpCanBeCancelled() {
    LoopbackServer server(false, 0);
    QVERIFY(server.StopAnswering());
    TMainWindow window;
    window.show();
    TForm1* form = window.Form();
    form->PresetPort(server.Name());
    QSignalSpy events(form, &TForm1::portEvent);
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QVERIFY(form->Connecting());
    QCOMPARE(form->BitBtn7->text(), QStringLiteral("取消"));
    QVERIFY(!form->Image20->isHidden());
    QCOMPARE(window.StatusLabel()->text(), QStringLiteral("端口 %1 (经TCP)   正在连接…").arg(server.Name()));
    QTest::mouseClick(form->CheckBox2, Qt::LeftButton);
    QVERIFY(form->CheckBox2->isChecked());
    QTest::qWait(300);
    QVERIFY(form->Connecting());

    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QVERIFY(!form->Connecting() && !form->Comm1->IsOpening() && !form->Comm1->IsOpen());
    QCOMPARE(form->BitBtn7->text(), QStringLiteral("打开串口"));
    QVERIFY(form->Image20->isHidden());
    QCOMPARE(window.StatusLabel()->text(), QStringLiteral("端口已关闭"));
    QCOMPARE(Events(events), (QList<PortEvent>{PortEvent::Opening, PortEvent::OpenFailed}));
    // A cancelled opening is no failure to tell of.
    QTest::qWait(100);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(events.count(), 2);
}

// A connection that the server drops is made again while the port is meant to be open, and polling goes
// on; closing the port ends the retries.
void TestMainWindow::lostConnectionIsMadeAgain() {
    LoopbackServer server;
    QVERIFY(server.port != 0);
    TMainWindow window;
    window.show();
    TForm1* form = window.Form();
    form->PresetPort(server.Name());
    QSignalSpy events(form, &TForm1::portEvent);
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QTRY_VERIFY(form->Comm1->IsOpen());
    QVERIFY(server.Accept());
    QTest::mouseClick(form->CheckBox2, Qt::LeftButton);
    QVERIFY(PollArrives(server));

    server.ClosePeer();
    const QString reconnecting = QStringLiteral("端口 %1 (经TCP)   重新连接中…").arg(server.Name());
    QTRY_COMPARE(window.StatusLabel()->text(), reconnecting);
    QVERIFY(form->Reconnecting() && !form->Comm1->IsOpen());
    // Still the open port: the button closes it, and the port lamp stays lit; the line is silent.
    QCOMPARE(form->BitBtn7->text(), QStringLiteral("关闭串口"));
    QVERIFY(!form->Image20->isHidden() && form->Image14->isHidden());
    QVERIFY(Connects(server, 3000));
    QTRY_VERIFY(form->Comm1->IsOpen() && !form->Reconnecting());
    QVERIFY(PollArrives(server));
    QVERIFY2(window.StatusLabel()->text().startsWith(
                 QStringLiteral("端口 %1 (经TCP)   地址 1   轮询").arg(server.Name())),
             qPrintable(window.StatusLabel()->text()));
    QCOMPARE(Events(events), (QList<PortEvent>{PortEvent::Opening, PortEvent::Opened, PortEvent::Vanished,
                                               PortEvent::Opened}));

    server.ClosePeer(true);
    QTRY_COMPARE(window.StatusLabel()->text(), reconnecting);
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QVERIFY(!form->Reconnecting());
    QCOMPARE(form->BitBtn7->text(), QStringLiteral("打开串口"));
    QCOMPARE(window.StatusLabel()->text(), QStringLiteral("端口已关闭"));
    QCOMPARE(events.count(), 6);
    QCOMPARE(Events(events).last(), PortEvent::Closed);
    // The server still listens, but no further try comes.
    QVERIFY(!Connects(server, 1800));
    QVERIFY(!form->Comm1->IsOpening() && !form->Comm1->IsOpen());

    // A device named in the port box meanwhile ends the tries too: it opens at a click only.
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QVERIFY(Connects(server, 3000));
    QTRY_VERIFY(form->Comm1->IsOpen());
    server.ClosePeer();
    QTRY_VERIFY(form->Reconnecting());
    PtyPair pty;
    form->PresetPort(pty.name);
    QTRY_VERIFY_WITH_TIMEOUT(!form->Reconnecting(), 2500);
    QVERIFY(!form->Comm1->IsOpen() && !form->Comm1->IsOpening());
    QCOMPARE(form->BitBtn7->text(), QStringLiteral("打开串口"));
    QCOMPARE(Events(events).last(), PortEvent::Closed);
}

// The tries at a lost connection wait 1 s, then 2 s, then 4 s, each failing without a message.
void TestMainWindow::reconnectionBacksOff() {
    LoopbackServer server;
    QVERIFY(server.port != 0);
    struct Tries {
        std::mutex mutex;
        QList<qint64> atMs;
        QElapsedTimer clock;
    };
    auto tries = std::make_shared<Tries>();
    tries->clock.start();
    TTcpEndpoint at;
    at.Length = server.Address(at.Address);
    TMainWindow window(std::make_unique<TTcpCommPort>([tries, at](const TTcpAddress&) {
        std::lock_guard lock(tries->mutex);
        tries->atMs << tries->clock.elapsed();
        return TTcpResolution{0, 0, {at}};
    }));
    TForm1* form = window.Form();
    form->PresetPort(QStringLiteral("tcp://gw-7.plant.example:4001"));
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QTRY_VERIFY(form->Comm1->IsOpen());
    QVERIFY(server.Accept());
    const auto count = [tries] {
        std::lock_guard lock(tries->mutex);
        return tries->atMs.size();
    };
    QCOMPARE(count(), 1);

    server.StopListening();
    server.ClosePeer();
    QTRY_VERIFY(form->Reconnecting());
    const qint64 lostMs = tries->clock.elapsed();
    QTRY_VERIFY_WITH_TIMEOUT(count() >= 4, 12000);
    QList<qint64> atMs;
    {
        std::lock_guard lock(tries->mutex);
        atMs = tries->atMs;
    }
    // Timers may fire up to 5 % early.
    QVERIFY2(atMs[1] - lostMs >= 900 && atMs[2] - atMs[1] >= 1850 && atMs[3] - atMs[2] >= 3700,
             qPrintable(QStringLiteral("lost at %1 ms, tries at %2, %3, %4 ms")
                            .arg(lostMs)
                            .arg(atMs[1])
                            .arg(atMs[2])
                            .arg(atMs[3])));
    QVERIFY(form->Reconnecting());
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(window.StatusLabel()->text(),
             QStringLiteral("端口 tcp://gw-7.plant.example:4001 (经TCP)   重新连接中…"));
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QVERIFY(!form->Reconnecting());
}

void TestMainWindow::toolWindowsCarryTheIconAndCloseWithEsc() {
    TMainWindow window;
    window.show();
    QVERIFY(!window.windowIcon().isNull());
    QVERIFY(!window.windowIcon().pixmap(32, 32).isNull());
    window.MonitorAction->trigger();
    window.ScanAction->trigger();
    window.RegistersAction->trigger();
    const QList<QWidget*> tools{window.findChild<TTrafficMonitor*>(), window.findChild<TBusScanWindow*>(),
                                window.RegisterWindow()};
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

// Ctrl+R brings up the register window from the panel and from a tool window alike, and it shows what
// the form's poll accepted.
void TestMainWindow::registersFromEveryWindow() {
    TMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(window.Form()->ComboBox1, Qt::Key_R, Qt::ControlModifier);
    TRegisterWindow* registers = window.RegisterWindow();
    QVERIFY(registers && registers->isVisible());
    registers->close();

    window.MonitorAction->trigger();
    auto* monitor = window.findChild<TTrafficMonitor*>();
    monitor->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(monitor));
    QTest::keyClick(monitor->focusWidget() ? monitor->focusWidget() : monitor, Qt::Key_R,
                    Qt::ControlModifier);
    QVERIFY(registers->isVisible());
    QCOMPARE(window.RegisterWindow(), registers);
    // F2 too, and Esc closes the dialog it opens.
    monitor->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(monitor));
    QTest::keyClick(monitor->focusWidget() ? monitor->focusWidget() : monitor, Qt::Key_F2);
    TSetPointDialog* dialog = window.SetPointDialog();
    QVERIFY(dialog && dialog->isVisible());
    QTest::keyClick(dialog->Field(Quantity::InputSetting), Qt::Key_Escape);
    QVERIFY(!dialog->isVisible());

    // An accepted reply of the polled device (COM4, address 1) to a read of block 20.
    TrafficRecord reply = Record(TrafficDirection::Rx, Verdict::Accepted);
    reply.address = 1;
    reply.firstRegister = 20;
    reply.countOrValue = 10;
    reply.bytes = modbus_test::ReadReply(1, {1234, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    window.Form()->ReportTraffic(reply);
    registers->refresh();
    QCOMPARE(registers->Table()->item(20, TRegisterWindow::RawColumn)->text(), QStringLiteral("1234"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
