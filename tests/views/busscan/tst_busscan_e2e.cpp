// The bus scan against the device simulator at slave address 17: across the whole range of slave
// addresses it finds that address and no other, and every other address stays silent.
#include "BusScanWindow.h"
#include "CRC16.h"
#include "MainWindow.h"
#include "SimulatorProcess.h"

#include <QAction>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

class TestBusScanE2E : public QObject {
    Q_OBJECT
private slots:
    void findsTheSimulatorsAddress();
};

void TestBusScanE2E::findsTheSimulatorsAddress() {
    TSimulatorProcess sim;
    QVERIFY(sim.Start(QStringLiteral(Z7_SIM), {"--link", sim.LinkPath(), "--address", "17", "--seed", "5"},
                      sim.LinkPath()));
    TMainWindow window;
    TForm1* form = window.Form();
    form->PresetPort(sim.LinkPath());
    QTest::mouseClick(form->BitBtn7, Qt::LeftButton);
    QVERIFY(form->Comm1->IsOpen());
    window.ScanAction->trigger();
    auto* scan = window.findChild<TBusScanWindow*>();
    QVERIFY(scan);
    // Every slave address, at a wait just beyond the silence interval.
    QCOMPARE(scan->FirstAddressBox->value(), 1);
    QCOMPARE(scan->LastAddressBox->value(), 247);
    scan->WaitBox->setValue(150);
    QSignalSpy ended(scan, &TBusScanWindow::scanEnded);
    QTest::mouseClick(scan->StartButton, Qt::LeftButton);
    QVERIFY(ended.wait(80000));

    QCOMPARE(scan->Scan()->Ending(), BusScan::End::Completed);
    QCOMPARE(scan->Scan()->Answers().size(), 1);
    const BusScan::Answer& found = scan->Scan()->Answers()[0];
    QCOMPARE(int(found.probe.address), 17);
    QCOMPARE(found.verdict, Verdict::Accepted);
    QCOMPARE(found.probe.baudRate, 19200u);
    QCOMPARE(found.probe.format, QStringLiteral("8_N_2"));
    QVERIFY(found.responseUs > 100000);
    QCOMPARE(scan->FoundTable->rowCount(), 1);
    QCOMPARE(scan->FoundTable->item(0, 0)->text(), QStringLiteral("17"));
    // One request for each address; an answer from 17 only, every other one missing.
    const TrafficBuffer& traffic = window.Line()->Traffic();
    QList<int> requested, answered, missing;
    for (qsizetype i = 0; i < traffic.Size(); ++i) {
        const TrafficRecord& r = traffic.At(i);
        QCOMPARE(r.source, TrafficSource::BusScan);
        (r.direction == TrafficDirection::Tx   ? requested
         : r.direction == TrafficDirection::Rx ? answered
                                               : missing)
            << r.address;
        if (r.direction == TrafficDirection::Rx)
            QCOMPARE(r.verdict, Verdict::Accepted);
    }
    QList<int> all, silent;
    for (int address = 1; address <= 247; ++address) {
        all << address;
        if (address != 17)
            silent << address;
    }
    QCOMPARE(requested, all);
    QCOMPARE(answered, QList<int>{17});
    QCOMPARE(missing, silent);
    // The simulator saw one request for its address.
    const QByteArray counts = sim.Stop();
    QVERIFY2(TSimulatorProcess::Count(counts, "requests") == 1, counts.constData());
}

QTEST_MAIN(TestBusScanE2E)
#include "tst_busscan_e2e.moc"
