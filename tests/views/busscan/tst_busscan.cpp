// The bus scan window over the serial component: it borrows the line from the poll cycle and gives it
// back, finds the one answering baud rate and format, refuses to start while the line is busy or
// closed, and ends cleanly on cancel, on a closed port and on a vanished device.
#include "BusScanWindow.h"
#include "CRC16.h"
#include "LoopbackServer.h"
#include "MainWindow.h"
#include "ModbusTestBytes.h"
#include "PtyPair.h"
#include "ScriptedCommPort.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <algorithm>

using namespace modbus_test;

namespace {

constexpr quint8 kDevice = 5;

// The panel's frame on a scripted port, opened, with the scan window opened from its menu.
struct Rig {
    TScriptedCommPort* port = new TScriptedCommPort;
    TMainWindow window{std::unique_ptr<TCommPort>(port)};
    TForm1* form = window.Form();
    TBusScanWindow* scan = nullptr;

    explicit Rig(const QString& portName = {}) {
        if (!portName.isEmpty())
            form->PresetPort(portName);
        window.show();
        window.ScanAction->trigger();
        scan = window.findChild<TBusScanWindow*>();
    }
    bool Open() {
        QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
        return form->Comm1->IsOpen();
    }
    // The panel's boxes that the scan keeps still, enabled or not.
    bool BoxesEnabled() const {
        return form->CheckBox2->isEnabled() && form->ComboBox5->isEnabled() && form->ComboBox6->isEnabled();
    }
    // Records of the line with this verdict.
    int Count(Verdict verdict) const {
        const TrafficBuffer& traffic = window.Line()->Traffic();
        int n = 0;
        for (qsizetype i = 0; i < traffic.Size(); ++i)
            n += traffic.At(i).verdict == verdict;
        return n;
    }
};

// A device at kDevice that understands only 9600 baud with even parity and one stop bit. At 9600 with
// another format it answers bytes that make no frame, as a device misreading its request might.
QByteArray SweepDevice(const QByteArray& written, const TCommState& state) {
    if (written.size() != 8 || quint8(written[0]) != kDevice || state.BaudRate != 9600)
        return {};
    if (state.Parity == 2 && state.StopBits == 0)
        return ReadReply(kDevice, {42});
    return Hex("FF00FF");
}

// The poll cycle's request for block 0.
QByteArray ScanRequest(quint8 address) {
    return WithCrc(QByteArray(1, char(address)) + Hex("030000000A"));
}

} // namespace

class TestBusScanWindow : public QObject {
    Q_OBJECT
private slots:
    void refusesToStart_data();
    void refusesToStart();
    void sweepFindsTheAnsweringLine();
    void endsCleanly_data();
    void endsCleanly();
    void cancelTakesTheLastAnswer();
    void cancelledRequestGetsItsOutcome();
    void noSweepOverTcp();
    void deviceVanishesMidScan();
};

void TestBusScanWindow::refusesToStart_data() {
    QTest::addColumn<bool>("open");
    QTest::addColumn<bool>("polling");
    QTest::addColumn<int>("first");
    QTest::addColumn<QString>("message");
    QTest::newRow("polling") << true << true << 1 << "正在通讯：请先取消“通讯”，再扫描。";
    QTest::newRow("port closed") << false << false << 1 << "端口未打开：请先打开串口。";
    QTest::newRow("range reversed") << true << false << 248 << "起始地址大于结束地址。";
}

void TestBusScanWindow::refusesToStart() {
    QFETCH(bool, open);
    QFETCH(bool, polling);
    QFETCH(int, first);
    QFETCH(QString, message);
    Rig rig;
    QVERIFY(rig.scan && rig.scan->isVisible());
    if (open)
        QVERIFY(rig.Open());
    if (polling)
        QTest::mouseClick(rig.form->CheckBox2, Qt::LeftButton);
    rig.scan->FirstAddressBox->setValue(std::min(first, 247));
    rig.scan->LastAddressBox->setValue(first > 247 ? 10 : 247);
    QTest::mouseClick(rig.scan->StartButton, Qt::LeftButton);
    QCOMPARE(rig.scan->Message->text(), message);
    QVERIFY(!rig.scan->Running());
    QVERIFY(!rig.scan->Scan());
    QVERIFY(!rig.form->LineLent());
    QVERIFY(rig.BoxesEnabled());
    if (!polling)
        QVERIFY(rig.port->Written().isEmpty());
}

void TestBusScanWindow::sweepFindsTheAnsweringLine() {
    Rig rig;
    rig.port->SetResponder(SweepDevice);
    QVERIFY(rig.Open());
    const TCommState before = rig.port->LastState();
    QCOMPARE(before.BaudRate, 19200u);
    rig.scan->SweepBox->setChecked(true);
    QVERIFY(!rig.scan->FirstAddressBox->isEnabled());
    rig.scan->SweepAddressBox->setValue(kDevice);
    rig.scan->WaitBox->setValue(400);
    QSignalSpy ended(rig.scan, &TBusScanWindow::scanEnded);
    QTest::mouseClick(rig.scan->StartButton, Qt::LeftButton);
    QVERIFY(rig.scan->Running());
    QVERIFY(rig.form->LineLent());
    QVERIFY(!rig.form->CheckBox2->isEnabled());
    QVERIFY(!rig.form->ComboBox5->isEnabled());
    QVERIFY(!rig.form->ComboBox6->isEnabled());
    // The polling box cannot be ticked while the scan owns the line.
    QTest::mouseClick(rig.form->CheckBox2, Qt::LeftButton);
    QVERIFY(!rig.form->CheckBox2->isChecked());
    QVERIFY(ended.wait(20000));

    const BusScan* scan = rig.scan->Scan();
    QCOMPARE(scan->Ending(), BusScan::End::Completed);
    // The answering line, and the two formats at its baud rate that answered with garbled bytes:
    // something is there, on another format.
    QCOMPARE(scan->Answers().size(), 3);
    for (const BusScan::Answer& answer : scan->Answers()) {
        QCOMPARE(answer.probe.baudRate, 9600u);
        QCOMPARE(answer.verdict, answer.probe.format == u"8_E_1" ? Verdict::Accepted : Verdict::Noise);
    }
    QCOMPARE(rig.scan->FoundTable->rowCount(), 3);
    const int accepted =
        int(std::find_if(scan->Answers().begin(), scan->Answers().end(),
                         [](const BusScan::Answer& a) { return a.verdict == Verdict::Accepted; }) -
            scan->Answers().begin());
    QCOMPARE(rig.scan->FoundTable->item(accepted, 1)->text(), QStringLiteral("9600"));
    QCOMPARE(rig.scan->FoundTable->item(accepted, 2)->text(), QStringLiteral("8_E_1"));
    QVERIFY(rig.scan->FoundTable->item((accepted + 1) % 3, 4)->toolTip().contains(u"格式"));
    QCOMPARE(rig.scan->Progress->value(), 12);
    QVERIFY(rig.scan->Message->text().startsWith(QStringLiteral("扫描完成：找到 3 个设备")));
    // Twelve requests, each the poll cycle's block 0 for the device, and nothing else on the wire.
    QCOMPARE(rig.port->Written(), ScanRequest(kDevice).repeated(12));
    // Every request, delivery and missing answer went to the panel's records.
    QCOMPARE(rig.Count(Verdict::Sent), 12);
    QCOMPARE(rig.Count(Verdict::Accepted), 1);
    QCOMPARE(rig.Count(Verdict::Noise), 2); // the bytes of the formats misread make no frame
    QCOMPARE(rig.Count(Verdict::NoReply), 9);
    // The line, the component and the boxes are as before.
    QCOMPARE(rig.port->LastState(), before);
    QCOMPARE(rig.form->Comm1->BaudRate(), 19200u);
    QCOMPARE(rig.form->Comm1->Parity(), TComm::None);
    QCOMPARE(rig.form->Comm1->StopBits(), TComm::_2);
    QVERIFY(rig.BoxesEnabled());
    QVERIFY(!rig.form->LineLent());

    // "Use" sets the boxes, and through their handlers the line; polling then reads the device.
    QVERIFY(!rig.scan->UseButton->isEnabled());
    rig.scan->FoundTable->selectRow(accepted);
    QTest::mouseClick(rig.scan->UseButton, Qt::LeftButton);
    QCOMPARE(rig.form->ComboBox1->currentText(), QStringLiteral("5"));
    QCOMPARE(rig.form->ComboBox5->currentText(), QStringLiteral("9600"));
    QCOMPARE(rig.form->ComboBox6->currentText(), QStringLiteral("8_E_1"));
    QCOMPARE(rig.port->LastState().BaudRate, 9600u);
    QCOMPARE(int(rig.port->LastState().Parity), 2);
    QCOMPARE(int(rig.port->LastState().StopBits), 0);
    rig.form->Timer1->stop();
    QTest::mouseClick(rig.form->CheckBox2, Qt::LeftButton);
    rig.form->Timer1Timer(rig.form->Timer1);
    QTRY_COMPARE_WITH_TIMEOUT(rig.form->Poll().Register(0), 42, 3000);
}

// A sweep on a silent line, stopped while its line settings differ from the panel's: the settings
// come back and the panel's boxes work again.
void TestBusScanWindow::endsCleanly_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("stillOpen");
    QTest::newRow("cancel") << "cancel"
                            << "扫描已取消：找到 0 个设备。" << true;
    QTest::newRow("window closed") << "close"
                                   << "扫描已取消：找到 0 个设备。" << true;
    QTest::newRow("port closed") << "port"
                                 << "端口已关闭，扫描已停止。" << false;
    QTest::newRow("polling ticked") << "polling"
                                    << "通讯已开始，扫描已停止。" << true;
}

void TestBusScanWindow::endsCleanly() {
    QFETCH(QString, how);
    QFETCH(QString, message);
    QFETCH(bool, stillOpen);
    Rig rig;
    QVERIFY(rig.Open());
    const TCommState before = rig.port->LastState();
    rig.scan->SweepBox->setChecked(true);
    rig.scan->WaitBox->setValue(300);
    QSignalSpy ended(rig.scan, &TBusScanWindow::scanEnded);
    QTest::mouseClick(rig.scan->StartButton, Qt::LeftButton);
    QCOMPARE(rig.port->LastState().BaudRate, 4800u);
    QTRY_COMPARE(rig.port->Written().size(), 8);

    if (how == u"cancel")
        QTest::mouseClick(rig.scan->CancelButton, Qt::LeftButton);
    else if (how == u"close")
        rig.scan->close();
    else if (how == u"port")
        QTest::mouseClick(rig.form->BitBtn7, Qt::LeftButton);
    else
        rig.form->CheckBox2->setChecked(true);
    QVERIFY(ended.count() == 1 || ended.wait(2000));
    QCOMPARE(rig.scan->Message->text(), message);
    QVERIFY(!rig.scan->Running());
    QVERIFY(!rig.form->LineLent());
    QVERIFY(rig.scan->StartButton->isEnabled());
    QCOMPARE(rig.form->Comm1->IsOpen(), stillOpen);
    QCOMPARE(rig.form->Comm1->BaudRate(), 19200u);
    QCOMPARE(rig.form->Comm1->Parity(), TComm::None);
    QCOMPARE(rig.form->Comm1->StopBits(), TComm::_2);
    if (stillOpen)
        QCOMPARE(rig.port->LastState(), before);
    QVERIFY(rig.BoxesEnabled());
    // Nothing more goes out for the scan (polling, once ticked, sends its own).
    if (how != u"polling") {
        const QByteArray written = rig.port->Written();
        QTest::qWait(400);
        QCOMPARE(rig.port->Written(), written);
    }
}

// Cancelled with its first request on the wire: the answer still belongs to the scan, so the poll
// cycle never takes a block it did not ask for.
void TestBusScanWindow::cancelTakesTheLastAnswer() {
    Rig rig;
    rig.port->SetResponder([](const QByteArray& written, const TCommState&) {
        return written.startsWith(char(kDevice)) ? ReadReply(kDevice, {7, 7, 7}) : QByteArray();
    });
    QVERIFY(rig.Open());
    rig.scan->FirstAddressBox->setValue(kDevice);
    rig.scan->LastAddressBox->setValue(kDevice + 5);
    rig.scan->WaitBox->setValue(2000);
    QSignalSpy ended(rig.scan, &TBusScanWindow::scanEnded);
    QTest::mouseClick(rig.scan->StartButton, Qt::LeftButton);
    QTest::mouseClick(rig.scan->CancelButton, Qt::LeftButton);
    QVERIFY(rig.scan->Running());
    QVERIFY(rig.form->LineLent());
    QVERIFY(!rig.form->CheckBox2->isEnabled());
    QVERIFY(ended.wait(1900));
    QCOMPARE(rig.scan->Scan()->Answers().size(), 1);
    QCOMPARE(rig.Count(Verdict::Accepted), 1);
    QCOMPARE(rig.Count(Verdict::Unexpected), 0);
    QCOMPARE(rig.form->Poll().Register(0), 0);
    QCOMPARE(rig.port->Written(), ScanRequest(kDevice));
    QCOMPARE(rig.scan->Message->text(), QStringLiteral("扫描已取消：找到 1 个设备。"));
}

// Cancelled while its request is out and nothing answers: the request still ends as a missing answer,
// counted in the progress, before the line is given back.
void TestBusScanWindow::cancelledRequestGetsItsOutcome() {
    Rig rig;
    QVERIFY(rig.Open());
    QVERIFY(rig.scan->Progress->text().isEmpty());
    rig.scan->FirstAddressBox->setValue(kDevice);
    rig.scan->LastAddressBox->setValue(kDevice + 5);
    rig.scan->WaitBox->setValue(150);
    QSignalSpy ended(rig.scan, &TBusScanWindow::scanEnded);
    QTest::mouseClick(rig.scan->StartButton, Qt::LeftButton);
    QTest::mouseClick(rig.scan->CancelButton, Qt::LeftButton);
    QVERIFY(ended.wait(1000));
    QCOMPARE(rig.Count(Verdict::NoReply), 1);
    const TrafficBuffer& traffic = rig.window.Line()->Traffic();
    QCOMPARE(traffic.At(traffic.Size() - 1).direction, TrafficDirection::Missing);
    QCOMPARE(traffic.At(traffic.Size() - 1).address, kDevice);
    QCOMPARE(rig.scan->Progress->value(), 1);
    QCOMPARE(rig.scan->Progress->text(), QStringLiteral("1 / 6"));
    QVERIFY(!rig.form->LineLent());
}

// Over TCP the device server owns the line's baud rate and format: no sweep, and the panel's boxes say
// that they do not apply; back on a serial port, both as before.
void TestBusScanWindow::noSweepOverTcp() {
    LoopbackServer server;
    QVERIFY(server.port != 0);
    TMainWindow window;
    TForm1* form = window.Form();
    form->PresetPort(server.Name());
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QTRY_VERIFY(form->Comm1->IsOpen());
    window.ScanAction->trigger();
    auto* scan = window.findChild<TBusScanWindow*>();
    QVERIFY(scan);
    QVERIFY(!scan->SweepBox->isEnabled());
    QVERIFY2(scan->SweepBox->toolTip().contains(u"TCP"), qPrintable(scan->SweepBox->toolTip()));
    QVERIFY(form->ComboBox5->toolTip().contains(u"TCP"));
    QVERIFY(form->ComboBox6->toolTip().contains(u"TCP"));
    QCOMPARE(form->ComboBox5->currentText(), QStringLiteral("19200"));

    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QVERIFY(!form->Comm1->IsOpen());
    PtyPair pty;
    form->PresetPort(pty.name);
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QVERIFY(form->Comm1->IsOpen());
    QVERIFY(scan->SweepBox->isEnabled());
    QTRY_VERIFY(form->ComboBox5->toolTip().isEmpty());
}

void TestBusScanWindow::deviceVanishesMidScan() {
    PtyPair pty;
    QVERIFY(!pty.name.isEmpty());
    TMainWindow window;
    TForm1* form = window.Form();
    form->PresetPort(pty.name);
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QVERIFY(form->Comm1->IsOpen());
    window.ScanAction->trigger();
    auto* scan = window.findChild<TBusScanWindow*>();
    QVERIFY(scan);
    scan->WaitBox->setValue(150);
    QSignalSpy ended(scan, &TBusScanWindow::scanEnded);
    QTest::mouseClick(scan->StartButton, Qt::LeftButton);
    // Nobody answers: the scan moves on address by address, at the pace of its wait.
    QCOMPARE(pty.ReadMaster(16, 3000).left(16), ScanRequest(1) + ScanRequest(2));
    pty.CloseMaster();
    QVERIFY(ended.wait(3000));
    QCOMPARE(scan->Message->text(), QStringLiteral("端口已断开，扫描已停止。"));
    QCOMPARE(scan->Scan()->Ending(), BusScan::End::LineLost);
    QVERIFY(!form->Comm1->IsOpen());
    QVERIFY(!form->LineLent());
    QVERIFY(form->CheckBox2->isEnabled());
    QVERIFY(scan->StartButton->isEnabled());
    QVERIFY(scan->Progress->value() >= 1);
    const TrafficBuffer& traffic = window.Line()->Traffic();
    int missing = 0;
    for (qsizetype i = 0; i < traffic.Size(); ++i)
        missing += traffic.At(i).verdict == Verdict::NoReply;
    QCOMPARE(missing, scan->Scan()->Done());
    // The scan's traffic is not the polling's: its statistics are untouched.
    QCOMPARE(window.Line()->Stats().Requests(), 0);
    QVERIFY(!window.Line()->Stats().LastProblem());
}

QTEST_MAIN(TestBusScanWindow)
#include "tst_busscan.moc"
