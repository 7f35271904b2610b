// The window's port lifecycle against the simulator, on a pseudo-terminal and over TCP: open/close cycles
// of BitBtn7 with requests and replies in flight, then devices pulled from under the open port. Each time
// the window must show the closed port (a network port after the click that ends its reconnecting), and
// in the end no file descriptor or thread may be left over.
#include "CRC16.h"
#include "SimulatorProcess.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <unistd.h>

namespace {

const QString kOpenCaption = QStringLiteral("打开串口");

qsizetype Entries(const char* dir) {
    return QDir(QString::fromLatin1(dir))
        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
        .size();
}

// One simulator on its own link or on a free TCP port, started and stopped by the test.
class Simulator {
public:
    Simulator(bool tcp, const QString& link) : m_tcp(tcp), m_port(link), m_link(link) {}
    bool Start() {
        if (!m_tcp)
            return m_process.Start(QStringLiteral(Z7_SIM), {QStringLiteral("--link"), m_link}, m_link);
        m_port = m_process.StartTcp(QStringLiteral(Z7_SIM), {});
        return !m_port.isEmpty();
    }
    // The panel's port name for it.
    QString Port() const { return m_port; }
    // The pseudo-terminal goes away with the process: the device is pulled.
    void Stop() { m_process.Stop(); }

private:
    bool m_tcp;
    QString m_port;
    QString m_link;
    TSimulatorProcess m_process;
};

// A network port's opening ends in the event loop.
void AwaitOpening(const TForm1& form) {
    while (form.Comm1->IsOpening())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
}

bool ShowsClosedPort(const TForm1& form) {
    return form.BitBtn7->text() == kOpenCaption && !form.Image9->isHidden() && form.Image20->isHidden() &&
           !form.Comm1->IsOpen();
}

} // namespace

class TestPortLifecycle : public QObject {
    Q_OBJECT
private slots:
    void openCloseAndPulledDevices_data();
    void openCloseAndPulledDevices();
};

void TestPortLifecycle::openCloseAndPulledDevices_data() {
    QTest::addColumn<bool>("tcp");
    QTest::newRow("pseudo-terminal") << false;
    QTest::newRow("TCP") << true;
}

void TestPortLifecycle::openCloseAndPulledDevices() {
    QFETCH(bool, tcp);
    const QString link = QStringLiteral("/tmp/z7-lifecycle-%1").arg(::getpid());
    auto form = std::make_unique<TForm1>();
    const auto usePort = [&form](const Simulator& sim) {
        form->ComboBox4->lineEdit()->setText(sim.Port());
        form->ComboBox4Change(form->ComboBox4);
    };
    int errorBoxes = 0;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ++errorBoxes;
            box->done(0);
        }
    });
    closer.start(5);
    form->CheckBox2->setChecked(true);

    // A first cycle lets Qt and the C library set up what they keep for the process's life.
    {
        Simulator sim(tcp, link);
        QVERIFY(sim.Start());
        usePort(sim);
        form->BitBtn7Click(form->BitBtn7);
        AwaitOpening(*form);
        QVERIFY(form->Comm1->IsOpen());
        form->Timer1Timer(form->Timer1);
        QTest::qWait(200);
        form->BitBtn7Click(form->BitBtn7);
    }
    const qsizetype fdsBefore = Entries("/proc/self/fd");
    const qsizetype threadsBefore = Entries("/proc/self/task");

    {
        Simulator sim(tcp, link);
        QVERIFY(sim.Start());
        usePort(sim);
        for (int cycle = 0; cycle < 1000; ++cycle) {
            form->BitBtn7Click(form->BitBtn7);
            AwaitOpening(*form);
            QVERIFY2(form->Comm1->IsOpen(), qPrintable(QString::number(cycle)));
            // A request, then the close at varying points: before the reply, while it arrives, after.
            form->Timer1Timer(form->Timer1);
            QTest::qWait(cycle % 8 == 0 ? 150 : (cycle % 3) * 5);
            form->BitBtn7Click(form->BitBtn7);
            QVERIFY2(ShowsClosedPort(*form), qPrintable(QString::number(cycle)));
        }
    }
    QCOMPARE(errorBoxes, 0);

    for (int pulled = 0; pulled < 100; ++pulled) {
        Simulator sim(tcp, link);
        QVERIFY(sim.Start());
        usePort(sim);
        form->BitBtn7Click(form->BitBtn7);
        AwaitOpening(*form);
        QVERIFY2(form->Comm1->IsOpen(), qPrintable(QString::number(pulled)));
        form->Timer1Timer(form->Timer1);
        QTest::qWait(pulled % 4 * 40);
        sim.Stop();
        if (tcp) {
            QTRY_VERIFY2_WITH_TIMEOUT(form->Reconnecting(), qPrintable(QString::number(pulled)), 5000);
            QVERIFY(form->Image14->isHidden());
            // Mostly at once, sometimes after a try failed.
            QTest::qWait(pulled % 10 == 0 ? 1100 : 0);
            form->BitBtn7Click(form->BitBtn7);
        }
        QTRY_VERIFY2_WITH_TIMEOUT(ShowsClosedPort(*form), qPrintable(QString::number(pulled)), 5000);
        QVERIFY(form->Image14->isHidden());
    }
    QCOMPARE(errorBoxes, 0);

    QCOMPARE(Entries("/proc/self/fd"), fdsBefore);
    QCOMPARE(Entries("/proc/self/task"), threadsBefore);
    form.reset();
}

QTEST_MAIN(TestPortLifecycle)
#include "tst_PortLifecycle.moc"
