// The panel against the device simulator on a pseudo-terminal or over TCP: readings reach the widgets, a
// knob's write reaches the device, the device's end closes the port, and with line faults switched on no
// faulty reply enters the register image.
#include "CRC16.h"
#include "Controls.h"
#include "Fonts.h"
#include "iAnalogDisplay.h"
#include "iAnalogOutput.h"
#include "iKnob.h"
#include "iLedRound.h"
#include "iLinearGauge.h"
#include "iSwitchLed.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// What the simulator holds while nobody runs the plant (it starts stopped): the operator's settings,
// the alarm bits given on its command line and the nominal full scale.
constexpr quint16 kAlarms = 0x105;
const QList<std::pair<int, qint32>> kSteadyRegisters = {
    {0, 500}, {1, 0}, {2, 0}, {3, 0}, {4, 1000}, {5, 0}, {13, kAlarms}, {14, 0}, {15, 3800}};

// Started with posix_spawn rather than a fork of this multi-threaded process, which ThreadSanitizer
// refuses; its output, the start line and the line of counts, goes to a file that Start() and Stop() read.
class Simulator {
public:
    explicit Simulator(const QStringList& extraArgs, bool tcp = false) : m_tcp(tcp) {
        m_link = m_dir.filePath(QStringLiteral("ttyZ7"));
        const QByteArray out = QFile::encodeName(m_dir.filePath(QStringLiteral("counts.txt")));
        QList<QByteArray> args = {Z7_SIM, "--alarm", QByteArray::number(kAlarms)};
        args << (tcp ? QList<QByteArray>{"--tcp", "127.0.0.1:0"}
                     : QList<QByteArray>{"--link", QFile::encodeName(m_link)});
        for (const QString& a : extraArgs)
            args << a.toLocal8Bit();
        std::vector<char*> argv;
        for (QByteArray& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.constData(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (posix_spawn(&m_pid, Z7_SIM, &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        m_countsFile = QString::fromLocal8Bit(out);
    }
    ~Simulator() { Stop(); }
    // Waits until the simulator serves its line: the link exists, or it printed its TCP port.
    bool WaitForLink() {
        QElapsedTimer t;
        t.start();
        while (m_pid > 0 && t.elapsed() < 10000) {
            if (!m_tcp && QFileInfo(m_link).isSymLink())
                return true;
            QFile file(m_countsFile);
            const QRegularExpressionMatch url =
                QRegularExpression(QStringLiteral("tcp://[^,\\s]+"))
                    .match(file.open(QIODevice::ReadOnly) ? file.readAll() : "");
            if (m_tcp && url.hasMatch()) {
                m_link = url.captured();
                return true;
            }
            if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                return false;
            }
            QTest::qWait(50);
        }
        return false;
    }
    QString Link() const { return m_link; }
    // Stops the simulator and returns its line of counts.
    QString Stop() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
        QFile file(m_countsFile);
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
    }
    static int Count(const QString& counts, const char* key) {
        const QRegularExpression re(QStringLiteral("\\b%1=(\\d+)").arg(QLatin1String(key)));
        const QRegularExpressionMatch m = re.match(counts);
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    }

private:
    QTemporaryDir m_dir;
    bool m_tcp;
    QString m_link; // the panel's port name
    QString m_countsFile;
    pid_t m_pid = -1;
};

void GoLive(TForm1& form, const QString& port) {
    form.PresetPort(port);
    QTest::mouseClick(form.BitBtn7, Qt::LeftButton);
    QVERIFY(form.Comm1->IsOpen());
    QTest::mouseClick(form.CheckBox2, Qt::LeftButton);
    QVERIFY(form.CheckBox2->isChecked());
}

bool ShowsClosedPort(const TForm1& form) {
    return form.BitBtn7->text() == QStringLiteral("打开串口") && !form.Image9->isHidden() &&
           form.Image20->isHidden() && form.Image14->isHidden() && !form.Comm1->IsOpen();
}

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
};

void TestPanelE2E::readingsAndKnobWrite_data() {
    QTest::addColumn<bool>("tcp");
    QTest::newRow("pseudo-terminal") << false;
    QTest::newRow("TCP") << true;
}

void TestPanelE2E::readingsAndKnobWrite() {
    QFETCH(bool, tcp);
    Simulator sim({"--seed", "7"}, tcp);
    QVERIFY(sim.WaitForLink());
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
    // The device's side of the line went away: one hang-up, and the panel shows the closed port.
    QTRY_VERIFY_WITH_TIMEOUT(ShowsClosedPort(form), 5000);
    QTest::qWait(1500);
    QCOMPARE(hangups.count(), 1);
}

void TestPanelE2E::runStopSwitchStartsAndStopsDevice() {
    // The simulator starts stopped: the switch reads "RUN", and a click writes 0, the run command. Once
    // bit 0 of register 3 reads set, the switch reads "STOP" and the next click writes 1, the stop.
    Simulator sim({"--seed", "5"});
    QVERIFY(sim.WaitForLink());
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
    QVERIFY(sim.WaitForLink());
    TForm1 form;
    form.show();
    GoLive(form, sim.Link());

    // After every delivery the image holds either nothing yet of a block or the device's true values.
    int deliveries = 0;
    QString violation;
    connect(form.Comm1, &TComm::OnReceiveData, &form, [&] {
        ++deliveries;
        for (const auto& [reg, value] : kSteadyRegisters) {
            const qint32 got = form.Poll().Register(reg);
            if (got != value && got != 0 && violation.isEmpty())
                violation = QStringLiteral("register %1 holds %2 after delivery %3")
                                .arg(reg)
                                .arg(got)
                                .arg(deliveries);
        }
    });
    QTest::qWait(14000);
    const QString counts = sim.Stop();
    QVERIFY2(violation.isEmpty(), qPrintable(violation));
    QVERIFY(SteadyRegistersRead(form));
    // The run saw faults and good replies alike, or it proved nothing.
    const int faults = Simulator::Count(counts, "crc") + Simulator::Count(counts, "garbage") +
                       Simulator::Count(counts, "otheraddr") + Simulator::Count(counts, "exception") +
                       Simulator::Count(counts, "split");
    QVERIFY2(faults >= 2, qPrintable(counts));
    QVERIFY2(Simulator::Count(counts, "good") >= 3, qPrintable(counts));
}

int main(int argc, char* argv[]) {
    LoadFontAliases();
    QApplication app(argc, argv);
    ApplyClassicLook(app);
    TestPanelE2E test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_panel_e2e.moc"
