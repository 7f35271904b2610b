// The panel against the device simulator on a pseudo-terminal or over TCP: readings reach the widgets, a
// knob's write reaches the device, the device's end closes the port, and with line faults switched on no
// faulty reply enters the register image.
#include "CRC16.h"
#include "Controls.h"
#include "Fonts.h"
#include "MainWindow.h"
#include "SetPointDialog.h"
#include "SimulatorProcess.h"
#include "StaleVeil.h"
#include "iAnalogDisplay.h"
#include "iAnalogOutput.h"
#include "iKnob.h"
#include "iLedRound.h"
#include "iLinearGauge.h"
#include "iSwitchLed.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>

namespace {

// What the simulator holds while nobody runs the plant (it starts stopped): the operator's settings,
// the alarm bits given on its command line and the nominal full scale.
constexpr quint16 kAlarms = 0x105;
const QList<std::pair<int, qint32>> kSteadyRegisters = {
    {0, 500}, {1, 0}, {2, 0}, {3, 0}, {4, 1000}, {5, 0}, {13, kAlarms}, {14, 0}, {15, 3800}};

// The simulator with the alarm bits above held set, on a pseudo-terminal or over TCP.
class Simulator {
public:
    explicit Simulator(const QStringList& extraArgs, bool tcp = false)
        : m_tcp(tcp), m_args(QStringList{QStringLiteral("--alarm"), QString::number(kAlarms)} + extraArgs) {}
    // Starts it and waits until it serves its line; false when it did not.
    bool Start() {
        if (m_tcp) {
            m_link = m_process.StartTcp(QStringLiteral(Z7_SIM), m_args);
            return !m_link.isEmpty();
        }
        m_link = m_process.LinkPath();
        return m_process.Start(QStringLiteral(Z7_SIM), QStringList{QStringLiteral("--link"), m_link} + m_args,
                               m_link);
    }
    // The panel's port name for it.
    QString Link() const { return m_link; }
    // Stops it and returns what it printed, its line of counts last.
    QString Stop() { return QString::fromLocal8Bit(m_process.Stop()); }
    static int Count(const QString& counts, const char* key) {
        return TSimulatorProcess::Count(counts.toLocal8Bit(), key);
    }

private:
    bool m_tcp;
    QStringList m_args;
    QString m_link;
    TSimulatorProcess m_process;
};

void GoLive(TForm1& form, const QString& port) {
    form.PresetPort(port);
    QTest::mouseClick(form.BitBtn7, Qt::LeftButton);
    QTRY_VERIFY(form.Comm1->IsOpen());
    QTest::mouseClick(form.CheckBox2, Qt::LeftButton);
    QVERIFY(form.CheckBox2->isChecked());
}

bool ShowsClosedPort(const TForm1& form) {
    return form.BitBtn7->text() == QStringLiteral("打开串口") && !form.Image9->isHidden() &&
           form.Image20->isHidden() && form.Image14->isHidden() && !form.Comm1->IsOpen();
}

// Every register the panel keeps, block by block, as the stopped device serves it: its exact value, or
// for the line voltage (register 23) the band its noise stays in around the nominal 380.0 V.
struct Held {
    int reg;
    qint32 low, high;
};
const QList<QList<Held>> kStoppedBlocks = {
    {{0, 500, 500},
     {1, 0, 0},
     {2, 0, 0},
     {3, 0, 0},
     {4, 1000, 1000},
     {5, 0, 0},
     {6, 0, 0},
     {7, 0, 0},
     {8, 0, 0},
     {9, 0, 0}},
    {{10, 500, 500}, {11, 0, 0}, {12, 25, 25}, {13, kAlarms, kAlarms}, {14, 0, 0}, {15, 3800, 3800}},
    {{20, 0, 0}, {21, 0, 0}, {22, 0, 0}, {23, 3785, 3815}, {24, 0, 0}},
};

bool SteadyRegistersRead(const TForm1& form) {
    for (const auto& [reg, value] : kSteadyRegisters)
        if (form.Poll().Register(reg) != value)
            return false;
    return form.Poll().Register(23) != 0;
}

} // namespace

class TestPanelE2E : public QObject {
    Q_OBJECT
private slots:
    void readingsAndKnobWrite_data();
    void readingsAndKnobWrite();
    void runStopSwitchStartsAndStopsDevice();
    void faultyRepliesNeverEnterImage();
    void commandRightAfterAPollIsConfirmed();
    void typedSetPointIsConfirmed();
};

void TestPanelE2E::readingsAndKnobWrite_data() {
    QTest::addColumn<bool>("tcp");
    QTest::newRow("pseudo-terminal") << false;
    QTest::newRow("TCP") << true;
}

void TestPanelE2E::readingsAndKnobWrite() {
    QFETCH(bool, tcp);
    Simulator sim({"--seed", "7"}, tcp);
    QVERIFY(sim.Start());
    TForm1 form;
    form.show();
    QElapsedTimer sinceTick;
    GoLive(form, sim.Link());
    sinceTick.start();

    // All three blocks within 4 s of ticking the box.
    QTRY_VERIFY_WITH_TIMEOUT(SteadyRegistersRead(form), 4000);
    QVERIFY2(sinceTick.elapsed() <= 4000, qPrintable(QString::number(sinceTick.elapsed())));

    // The display timer puts them on the widgets.
    QTRY_VERIFY_WITH_TIMEOUT(form.iAnalogDisplay[3]->Value() > 300.0, 1000);
    QCOMPARE(form.iLinearGauge1->PositionMax(), 380.0);
    QCOMPARE(form.iAnalogOutput2->Value(), 5.0);
    QCOMPARE(form.iAnalogDisplay[4]->Value(), 100.0);
    QCOMPARE(form.iSwitchLed1->Caption(), QStringLiteral("RUN"));
    for (int k = 0; k < 9; ++k)
        QCOMPARE(form.iLedRound[k]->ActiveColor(), TColor((kAlarms >> k) & 1 ? 255 : 65280));

    // Releasing iKnob2 at 250 sets the device's maximum output; the next read of block 0 shows it.
    form.iKnob2->SetPosition(250.0);
    QTest::mouseClick(form.iKnob2, Qt::LeftButton, {}, form.iKnob2->rect().center());
    QTRY_COMPARE_WITH_TIMEOUT(form.Poll().Register(4), 250, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(form.iAnalogDisplay[4]->Value(), 25.0, 1000);
    QCOMPARE(form.Comm1->IsNetworkPort(), tcp);

    QSignalSpy hangups(form.Comm1, &TComm::OnRequestHangup);
    const QString counts = sim.Stop();
    QVERIFY2(Simulator::Count(counts, "writes") == 1, qPrintable(counts));
    // The device's side of the line went away: one hang-up. A terminal shows the closed port; a network
    // port stays meant to be open and is connected again, silent meanwhile, until it is closed.
    if (tcp)
        QTRY_VERIFY_WITH_TIMEOUT(form.Reconnecting() && form.Image14->isHidden(), 5000);
    else
        QTRY_VERIFY_WITH_TIMEOUT(ShowsClosedPort(form), 5000);
    QTest::qWait(1500);
    QCOMPARE(hangups.count(), 1);
    if (tcp) {
        QCOMPARE(form.BitBtn7->text(), QStringLiteral("关闭串口"));
        QTest::mouseClick(form.BitBtn7, Qt::LeftButton);
        QVERIFY(ShowsClosedPort(form));
    }
}

void TestPanelE2E::runStopSwitchStartsAndStopsDevice() {
    // The simulator starts stopped: the switch reads "RUN", and a click writes 0, the run command. Once
    // bit 0 of register 3 reads set, the switch reads "STOP" and the next click writes 1, the stop.
    Simulator sim({"--seed", "5"});
    QVERIFY(sim.Start());
    TForm1 form;
    form.show();
    GoLive(form, sim.Link());
    const QPoint centre = form.iSwitchLed1->rect().center();
    QTRY_COMPARE_WITH_TIMEOUT(form.iSwitchLed1->Caption(), QStringLiteral("RUN"), 5000);

    QTest::mouseClick(form.iSwitchLed1, Qt::LeftButton, {}, centre);
    QCOMPARE(form.Memo13->toPlainText(), QStringLiteral("3333"));
    QTRY_COMPARE_WITH_TIMEOUT(form.Poll().Register(3), 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(form.iSwitchLed1->Caption(), QStringLiteral("STOP"), 1000);
    QTRY_VERIFY_WITH_TIMEOUT(form.Poll().Register(11) > 0, 5000); // the output ramps up

    QTest::mouseClick(form.iSwitchLed1, Qt::LeftButton, {}, centre);
    QCOMPARE(form.Memo13->toPlainText(), QStringLiteral("1111"));
    QTRY_COMPARE_WITH_TIMEOUT(form.Poll().Register(3), 0, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(form.iSwitchLed1->Caption(), QStringLiteral("RUN"), 1000);
    const qint32 output = form.Poll().Register(11);
    QTRY_VERIFY_WITH_TIMEOUT(form.Poll().Register(11) < output, 5000); // and back down

    const QString counts = sim.Stop();
    QVERIFY2(Simulator::Count(counts, "writes") == 2, qPrintable(counts));
}

void TestPanelE2E::faultyRepliesNeverEnterImage() {
    Simulator sim({"--seed", "11", "--fault-crc", "0.15", "--fault-garbage", "0.15", "--fault-otheraddr",
                   "0.1", "--fault-exception", "0.1", "--fault-split", "0.1"});
    QVERIFY(sim.Start());
    TForm1 form;
    form.show();
    GoLive(form, sim.Link());

    // After every delivery each block of the image holds either nothing yet (all zero, before its first
    // good reply) or the device's true values in every register; once read, never zero again.
    int deliveries = 0;
    QList<bool> read(kStoppedBlocks.size(), false);
    QString violation;
    connect(form.Comm1, &TComm::OnReceiveData, &form, [&] {
        ++deliveries;
        for (int b = 0; b < kStoppedBlocks.size() && violation.isEmpty(); ++b) {
            const QList<Held>& block = kStoppedBlocks[b];
            const bool nothing = std::all_of(block.cbegin(), block.cend(),
                                             [&](const Held& h) { return form.Poll().Register(h.reg) == 0; });
            if (nothing && !read[b])
                continue;
            read[b] = true;
            for (const Held& h : block) {
                const qint32 got = form.Poll().Register(h.reg);
                if (got < h.low || got > h.high) {
                    violation = QStringLiteral("register %1 holds %2 after delivery %3")
                                    .arg(h.reg)
                                    .arg(got)
                                    .arg(deliveries);
                    break;
                }
            }
        }
    });
    QTest::qWait(14000);
    const QString counts = sim.Stop();
    QVERIFY2(violation.isEmpty(), qPrintable(violation));
    QVERIFY(SteadyRegistersRead(form));
    QCOMPARE(read, QList<bool>(kStoppedBlocks.size(), true));
    // The run saw faults and good replies alike, or it proved nothing.
    const int faults = Simulator::Count(counts, "crc") + Simulator::Count(counts, "garbage") +
                       Simulator::Count(counts, "otheraddr") + Simulator::Count(counts, "exception") +
                       Simulator::Count(counts, "split");
    QVERIFY2(faults >= 2, qPrintable(counts));
    QVERIFY2(Simulator::Count(counts, "good") >= 3, qPrintable(counts));
}

// A knob released a moment after a poll request went out, while its answer is on the line: the command
// waits for that answer, so both come back whole. The read is accepted, the write confirmed, nothing is
// missing, and the device holds the value.
void TestPanelE2E::commandRightAfterAPollIsConfirmed() {
    Simulator sim({"--seed", "3"});
    QVERIFY(sim.Start());
    TForm1 form;
    form.show();
    QList<TrafficRecord> records;
    connect(&form, &TForm1::trafficRecorded, &form, [&](const TrafficRecord& r) { records << r; });
    GoLive(form, sim.Link());
    QTRY_VERIFY_WITH_TIMEOUT(SteadyRegistersRead(form), 5000);

    // Released from the poll timer's own tick, right after the tick's request.
    const qsizetype polled = records.size();
    bool released = false;
    connect(form.Timer1, &QTimer::timeout, &form, [&] {
        if (released)
            return;
        released = true;
        form.iKnob2->SetPosition(250.0);
        QTest::mouseClick(form.iKnob2, Qt::LeftButton, {}, form.iKnob2->rect().center());
    });
    QTRY_VERIFY_WITH_TIMEOUT(released, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(form.Poll().WritePending(), 0, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(form.Poll().Register(4), 250, 5000);

    QList<TrafficRecord> after = records.mid(polled);
    const auto write =
        std::find_if(after.cbegin(), after.cend(), [](const TrafficRecord& r) { return r.function == 0x06; });
    QVERIFY(write != after.cend());
    const int at = int(write - after.cbegin());
    // The poll request just before the write, then its reply, then the write and its echo.
    QVERIFY(at >= 2);
    QCOMPARE(after[at - 2].direction, TrafficDirection::Tx);
    QCOMPARE(after[at - 2].function, quint8(0x03));
    QCOMPARE(after[at - 1].verdict, Verdict::Accepted);
    QCOMPARE(after[at - 1].requestUs, after[at - 2].monotonicUs);
    QCOMPARE(after[at].verdict, Verdict::Sent);
    QCOMPARE(after[at + 1].verdict, Verdict::Confirmed);
    QCOMPARE(after[at + 1].function, quint8(0x06));
    for (const TrafficRecord& r : records)
        QVERIFY2(!IsProblem(r.verdict), VerdictKeyword(r.verdict));

    const QString counts = sim.Stop();
    QVERIFY2(Simulator::Count(counts, "writes") == 1, qPrintable(counts));
}

// The operator's side against the simulator: the veil lifts with the first reading, a value typed in the
// set-point dialog reaches the device, and its fate is told.
void TestPanelE2E::typedSetPointIsConfirmed() {
    Simulator sim({"--seed", "5"});
    QVERIFY(sim.Start());
    TMainWindow window;
    window.show();
    TForm1& form = *window.Form();
    QVERIFY(window.Veil()->isVisible());
    GoLive(form, sim.Link());
    QTRY_VERIFY_WITH_TIMEOUT(SteadyRegistersRead(form), 10000);
    QVERIFY(!window.Veil()->isVisible());

    window.showSetPoint(Quantity::InputSetting);
    TSetPointDialog* dialog = window.SetPointDialog();
    dialog->Confirm = [](const QString&, const QString&) { return true; };
    dialog->Field(Quantity::InputSetting)->setText(QStringLiteral("10.00"));
    QTest::keyClick(dialog->Field(Quantity::InputSetting), Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(window.CommandLabel()->text().startsWith(QStringLiteral("已确认 (")), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(form.Poll().Register(0), 1000, 10000);
    const QString counts = sim.Stop();
    QVERIFY2(Simulator::Count(counts, "writes") == 1, qPrintable(counts));
}

int main(int argc, char* argv[]) {
    LoadFontAliases();
    QApplication app(argc, argv);
    ApplyClassicLook(app);
    TestPanelE2E test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_panel_e2e.moc"
