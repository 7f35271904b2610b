// The panel records its history while polling the device simulator through line faults: every recorded
// value is one the simulator served, none comes from a refused reply, and the faults and the command show
// in the event log.
#include "CRC16.h"
#include "Controls.h"
#include "Fonts.h"
#include "HistoryHook.h"
#include "MainWindow.h"
#include "SimulatorProcess.h"
#include "iKnob.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The replies the simulator's Modbus side sent, from its trace: the request line "<01><03><00><0A>..."
// names the block, the reply line "[01][03][14]..." carries its ten registers.
QSet<QString> ServedBlocks(const QString& trace) {
    QSet<QString> served;
    int block = -1;
    const QRegularExpression hex(QStringLiteral("[<\\[]([0-9A-F]{2})[>\\]]"));
    for (const QString& line : trace.split(QLatin1Char('\n'))) {
        QList<int> bytes;
        for (const QRegularExpressionMatch& m : hex.globalMatch(line))
            bytes << m.captured(1).toInt(nullptr, 16);
        if (line.startsWith(QLatin1Char('<')) && bytes.size() == 8 && bytes[1] == 0x03)
            block = bytes[2] << 8 | bytes[3];
        else if (line.startsWith(QLatin1Char('[')) && bytes.size() == 25 && bytes[1] == 0x03 && block >= 0) {
            QStringList regs{QString::number(block)};
            for (int i = 0; i < 10; ++i)
                regs << QString::number(bytes[3 + 2 * i] << 8 | bytes[4 + 2 * i]);
            served.insert(regs.join(QLatin1Char(' ')));
        }
    }
    return served;
}

} // namespace

class TestHistoryE2E : public QObject {
    Q_OBJECT
private slots:
    void recordsOnlyWhatTheDeviceServed();
};

void TestHistoryE2E::recordsOnlyWhatTheDeviceServed() {
    TSimulatorProcess sim;
    QVERIFY(sim.Start(QStringLiteral(Z7_SIM),
                      {"--link", sim.LinkPath(), "--alarm", "0x105", "--seed", "9", "--debug", "--fault-crc",
                       "0.15", "--fault-otheraddr", "0.1", "--fault-exception", "0.1", "--fault-garbage",
                       "0.1", "--fault-noreply", "0.1"},
                      sim.LinkPath()));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("e2e.sqlite"));
    TMainWindow window;
    THistoryHook hook(window.Form());
    QVERIFY(window.AttachHistory(&hook, path));
    TForm1* form = window.Form();
    window.show();

    // Every delivery's verdict and bytes, by time, to tell accepted replies from refused ones.
    QHash<qint64, QByteArray> accepted;
    QSet<qint64> refused;
    connect(form, &TForm1::trafficRecorded, this, [&](const TrafficRecord& r) {
        if (r.direction != TrafficDirection::Rx || r.function != 0x03)
            return;
        if (r.verdict == Verdict::Accepted)
            accepted.insert(r.utcMs, r.bytes.left(25));
        else
            refused.insert(r.utcMs);
    });
    form->PresetPort(sim.LinkPath());
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QVERIFY(form->Comm1->IsOpen());
    QTest::mouseClick(form->CheckBox2, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(accepted.size() >= 3, 15000);
    // A command on the way: its outcome, whatever the line does to the answer, is in the log.
    form->iKnob2->SetPosition(250.0);
    QTest::mouseClick(form->iKnob2, Qt::LeftButton, {}, form->iKnob2->rect().center());
    QTRY_VERIFY_WITH_TIMEOUT(accepted.size() >= 5, 15000);
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    const QString trace = QString::fromLocal8Bit(sim.Stop());
    hook.Recorder().Flush();

    const QSet<QString> served = ServedBlocks(trace);
    QVERIFY2(!served.isEmpty(), qPrintable(trace.left(500)));
    HistoryStore store;
    QString why;
    QVERIFY2(store.Open(path, HistoryStore::Access::ReadOnly, &why), qPrintable(why));
    int blocks = 0;
    store.ForEachBlock(0, kNoLimitFrom, kNoLimitTo, [&](const StoredBlock& b) {
        ++blocks;
        // The accepted reply it came from, byte for byte.
        const QByteArray reply = accepted.value(b.utcMs);
        [&] {
            QVERIFY2(!reply.isEmpty() && !refused.contains(b.utcMs), qPrintable(QString::number(b.utcMs)));
        }();
        QStringList regs{QString::number(b.block)};
        for (int i = 0; i < 10; ++i)
            regs << QString::number(quint8(reply[3 + 2 * i]) << 8 | quint8(reply[4 + 2 * i]));
        [&] {
            QVERIFY2(served.contains(regs.join(QLatin1Char(' '))), qPrintable(regs.join(QLatin1Char(' '))));
        }();
        for (const QuantityInfo& q : kQuantities)
            if (b.Has(q.quantity))
                [&] { QCOMPARE(b.raw[size_t(q.quantity)], regs[1 + q.reg - q.block].toInt()); }();
        return !QTest::currentTestFailed();
    });
    QVERIFY(!QTest::currentTestFailed());
    QCOMPARE(blocks, accepted.size());
    QVERIFY2(blocks >= 3 && !refused.isEmpty(),
             qPrintable(QStringLiteral("%1 %2").arg(blocks).arg(refused.size())));

    QStringList kinds;
    store.ForEachEvent(0, kNoLimitFrom, kNoLimitTo,
                       [&](const StoredEvent& e) { kinds << EventKindKeyword(e.event.kind); });
    QCOMPARE(kinds.first(), QStringLiteral("recording-started"));
    QCOMPARE(kinds[1], QStringLiteral("port-open"));
    QCOMPARE(kinds.last(), QStringLiteral("port-close"));
    // The simulator's alarms were on before the first reading: found at start, not seen coming on.
    QCOMPARE(kinds.count(QStringLiteral("state-at-start")), 3);
    QCOMPARE(kinds.count(QStringLiteral("alarm-set")), 0);
    QCOMPARE(kinds.count(QStringLiteral("command")), 1);
    // Its fate at once, or unconfirmed and then at most one fate from a read of its register.
    const int settled =
        kinds.count(QStringLiteral("command-confirmed")) + kinds.count(QStringLiteral("command-refused"));
    const int unconfirmed = kinds.count(QStringLiteral("command-unconfirmed"));
    QVERIFY2(unconfirmed <= 1 && settled <= 1 && settled + unconfirmed >= 1,
             qPrintable(kinds.join(QLatin1Char(' '))));
    QCOMPARE(kinds.count(QStringLiteral("command-unanswered")), 0);
}

int main(int argc, char* argv[]) {
    LoadFontAliases();
    QApplication app(argc, argv);
    ApplyClassicLook(app);
    TestHistoryE2E test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_history_e2e.moc"
