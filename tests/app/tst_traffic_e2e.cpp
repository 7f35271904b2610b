// The line's traffic records against the device simulator: for each kind of line fault, the verdicts
// the panel recorded add up to what the simulator says it did; and the traffic log of a short run.
#include "CRC16.h"
#include "Controls.h"
#include "Fonts.h"
#include "MainWindow.h"
#include "SimulatorProcess.h"
#include "TrafficLogAlerts.h"
#include "TrafficLogFile.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

void GoLive(TForm1& form, const QString& port) {
    form.PresetPort(port);
    QTest::mouseClick(form.BitBtn7, Qt::LeftButton);
    QVERIFY(form.Comm1->IsOpen());
    QTest::mouseClick(form.CheckBox2, Qt::LeftButton);
    QVERIFY(form.CheckBox2->isChecked());
}

// Polls for `ms`, then stops polling and waits for the last answer, or for the tick that finds it
// missing, so that every request the simulator counted has its outcome recorded.
void PollFor(TForm1& form, int ms) {
    QTest::qWait(ms);
    QTest::mouseClick(form.CheckBox2, Qt::LeftButton);
    QVERIFY(!form.CheckBox2->isChecked());
    QTest::qWait(2200);
}

// The simulator on a link of its own with these arguments; false when it did not come up.
bool StartSimulator(TSimulatorProcess& sim, const QStringList& args) {
    return sim.Start(QStringLiteral(Z7_SIM), QStringList{"--link", sim.LinkPath()} + args, sim.LinkPath());
}

// Whether a frame's last two bytes are the CRC-16/MODBUS of the rest, low byte first: worked out here,
// apart from the panel's own code.
bool CrcHolds(const QByteArray& frame) {
    if (frame.size() < 3)
        return false;
    quint16 crc = 0xFFFF;
    for (qsizetype i = 0; i < frame.size() - 2; ++i) {
        crc ^= quint8(frame[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return quint8(frame[frame.size() - 2]) == (crc & 0xFF) && quint8(frame[frame.size() - 1]) == (crc >> 8);
}

// The verdict count a fault of the simulator must show up as.
using Expectation = std::function<qint64(const TrafficStats&)>;

} // namespace

Q_DECLARE_METATYPE(Expectation)

class TestTrafficE2E : public QObject {
    Q_OBJECT
private slots:
    void countsMatchTheSimulator_data();
    void countsMatchTheSimulator();
    void trafficLogOfAShortRun();
    void trafficLogRefusesAnUnwritableFile();
};

void TestTrafficE2E::countsMatchTheSimulator_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<Expectation>("recorded");
    const auto count = [](Verdict v) {
        return Expectation([v](const TrafficStats& s) { return s.Count(v); });
    };
    QTest::newRow("crc") << QStringList{"--fault-crc", "0.5"} << "crc" << count(Verdict::Crc);
    QTest::newRow("noreply") << QStringList{"--fault-noreply", "0.5"} << "noreply" << count(Verdict::NoReply);
    QTest::newRow("exception") << QStringList{"--fault-exception", "0.5"} << "exception"
                               << count(Verdict::Exception);
    QTest::newRow("otheraddr") << QStringList{"--fault-otheraddr", "0.5"} << "otheraddr"
                               << count(Verdict::Address);
    // The first part of a split reply is too short; the rest comes as a delivery of its own, stray bytes.
    QTest::newRow("split") << QStringList{"--fault-split", "0.5"} << "split" << count(Verdict::Short);
    QTest::newRow("split, the rest") << QStringList{"--fault-split", "0.5"} << "split"
                                     << count(Verdict::Noise);
    QTest::newRow("split, both parts")
        << QStringList{"--fault-split", "0.5"} << "split"
        << Expectation([](const TrafficStats& s) { return s.RefusedDeliveries() / 2; });
    // Garbage before a reply makes the whole delivery stray bytes, whatever it is.
    QTest::newRow("garbage") << QStringList{"--fault-garbage", "0.5"} << "garbage" << count(Verdict::Noise);
    QTest::newRow("garbage, every delivery")
        << QStringList{"--fault-garbage", "0.5"} << "garbage"
        << Expectation([](const TrafficStats& s) { return s.RefusedDeliveries(); });
    // A late reply still comes before the next poll: it is accepted.
    QTest::newRow("delay") << QStringList{"--fault-delay", "0.5", "--delay-ms", "300"} << "delay"
                           << Expectation([](const TrafficStats& s) { return s.Count(Verdict::Accepted); });
    QTest::newRow("flood") << QStringList{"--fault-flood", "0.5", "--flood-bytes", "1500"} << "flood"
                           << count(Verdict::Oversize);
}

void TestTrafficE2E::countsMatchTheSimulator() {
    QFETCH(QStringList, args);
    QFETCH(QString, fault);
    QFETCH(Expectation, recorded);
    TSimulatorProcess sim;
    QVERIFY(StartSimulator(sim, QStringList{"--seed", "5"} + args));
    TMainWindow window;
    TForm1& form = *window.Form();
    GoLive(form, sim.LinkPath());
    PollFor(form, 6500);
    const QByteArray counts = sim.Stop();
    const TrafficStats& stats = window.Line()->Stats();
    const int faults = TSimulatorProcess::Count(counts, qPrintable(fault));
    QVERIFY2(faults >= 1, counts.constData()); // the run saw the fault, or it proved nothing
    const int good = TSimulatorProcess::Count(counts, "good");
    const int delayed = fault == u"delay" ? faults : 0;
    const QString seen = QStringLiteral("%1; recorded: sent %2 accepted %3 refused deliveries %4 noreply %5")
                             .arg(QString::fromLocal8Bit(counts).trimmed())
                             .arg(stats.Count(Verdict::Sent))
                             .arg(stats.Count(Verdict::Accepted))
                             .arg(stats.RefusedDeliveries())
                             .arg(stats.Count(Verdict::NoReply));
    QVERIFY2(recorded(stats) == faults + (fault == u"delay" ? good : 0), qPrintable(seen));
    // Every request the device heard was recorded as sent, and every good reply as accepted.
    QVERIFY2(stats.Count(Verdict::Sent) == TSimulatorProcess::Count(counts, "requests"), qPrintable(seen));
    QVERIFY2(stats.Count(Verdict::Accepted) == good + delayed, qPrintable(seen));
    if (fault != u"noreply")
        QVERIFY2(stats.Count(Verdict::NoReply) == 0, qPrintable(seen));
}

// The log as --traffic-log keeps it, over a short run with broken CRCs, read back without the panel's
// own formatting: each line names its record's time in UTC (whatever the zone the panel runs in; CTest
// also runs this with TZ=Asia/Shanghai), direction, verdict and bytes, and a line judged `crc` really
// carries bytes whose CRC is wrong.
void TestTrafficE2E::trafficLogOfAShortRun() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("traffic.log"));
    TSimulatorProcess sim;
    QVERIFY(StartSimulator(sim, {"--seed", "3", "--fault-crc", "0.3"}));
    TMainWindow window;
    TForm1& form = *window.Form();
    TrafficLogFile log;
    QString why;
    QVERIFY2(log.Open(path, &why), qPrintable(why));
    AttachTrafficLog(log, window, QStringLiteral("tst_traffic_e2e"));
    GoLive(form, sim.LinkPath());
    PollFor(form, 4500);
    sim.Stop();

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.last(), QByteArray()); // every line ended
    const TrafficBuffer& traffic = window.Line()->Traffic();
    QCOMPARE(lines.size() - 1, traffic.Size());
    const QRegularExpression shape(QStringLiteral(
        "^(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z) (tx|rx|--) ([a-z]+)((?: [0-9A-F]{2})*)$"));
    int sent = 0, accepted = 0, crc = 0;
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QString line = QString::fromLatin1(lines[i]);
        const QRegularExpressionMatch m = shape.match(line);
        QVERIFY2(m.hasMatch(), qPrintable(line));
        const TrafficRecord& r = traffic.At(i);
        QCOMPARE(m.captured(1),
                 QDateTime::fromMSecsSinceEpoch(r.utcMs, Qt::UTC).toString(u"yyyy-MM-ddTHH:mm:ss.zzz'Z'"));
        const char* direction = r.direction == TrafficDirection::Tx   ? "tx"
                                : r.direction == TrafficDirection::Rx ? "rx"
                                                                      : "--";
        QCOMPARE(m.captured(2), QLatin1String(direction));
        QCOMPARE(m.captured(3), QLatin1String(VerdictKeyword(r.verdict)));
        const QByteArray bytes = QByteArray::fromHex(m.captured(4).toLatin1());
        QCOMPARE(bytes, r.bytes);
        sent += r.verdict == Verdict::Sent;
        accepted += r.verdict == Verdict::Accepted;
        if (r.verdict == Verdict::Crc) {
            ++crc;
            QVERIFY2(bytes.size() >= 4 && !CrcHolds(bytes), qPrintable(line));
        } else if (r.verdict == Verdict::Accepted || r.verdict == Verdict::Sent) {
            QVERIFY2(CrcHolds(bytes), qPrintable(line));
        }
    }
    QVERIFY(sent >= 4);
    QVERIFY(accepted >= 1);
    QVERIFY(crc >= 1);
    QVERIFY2(lines[0].contains(" tx sent 01 03 00 00 00 0A C5 CD"), lines[0].constData());
}

void TestTrafficE2E::trafficLogRefusesAnUnwritableFile() {
    QTemporaryDir dir;
    QProcess panel;
    // No display at all: the program must refuse before it would open a window.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    panel.setProcessEnvironment(env);
    panel.start(QStringLiteral(Z7PANEL_PATH),
                {QStringLiteral("--lang"), QStringLiteral("en"), QStringLiteral("--traffic-log"),
                 dir.filePath(QStringLiteral("missing/traffic.log"))});
    QVERIFY(panel.waitForFinished(10000));
    QCOMPARE(panel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(panel.exitCode(), 2);
    const QString err = QString::fromLocal8Bit(panel.readAllStandardError());
    QVERIFY2(err.contains(QLatin1String("cannot append to the traffic log")) &&
                 err.contains(QLatin1String("No such file or directory")),
             qPrintable(err));
}

int main(int argc, char* argv[]) {
    LoadFontAliases();
    QApplication app(argc, argv);
    ApplyClassicLook(app);
    TestTrafficE2E test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_traffic_e2e.moc"
