// The bus scan against the device simulator at slave address 17: it finds that address and no other.
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
    // The neighbours on both sides, at the default wait.
    scan->FirstAddressBox->setValue(12);
    scan->LastAddressBox->setValue(22);
    QCOMPARE(scan->WaitBox->value(), 250);
    QSignalSpy ended(scan, &TBusScanWindow::scanEnded);
    QTest::mouseClick(scan->StartButton, Qt::LeftButton);
    QVERIFY(ended.wait(20000));

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
    QCOMPARE(window.Line()->Stats().Count(Verdict::Sent), 11);
    QCOMPARE(window.Line()->Stats().Count(Verdict::Accepted), 1);
    QCOMPARE(window.Line()->Stats().Count(Verdict::NoReply), 10);
    // The simulator saw one request for its address.
    const QByteArray counts = sim.Stop();
    QVERIFY2(TSimulatorProcess::Count(counts, "requests") == 1, counts.constData());
}

QTEST_MAIN(TestBusScanE2E)
#include "tst_busscan_e2e.moc"
