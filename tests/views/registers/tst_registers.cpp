// The register window over a known register image: every row's number, name, content, value and age,
// the write buttons on the registers a command writes, and the refresh that runs only while it is shown.
#include "HistoryTestData.h"
#include "RegisterWindow.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

namespace {

constexpr qint64 kSecond = 1000000;
constexpr qint64 kNowUs = 1000 * kSecond;

// Blocks 0 and 20 read, 5 s and 90 s ago; block 10 never read.
RegisterTable KnownImage() {
    RegisterTable table;
    table.SetDevice(kDevice);
    table.Take(Block(kT0, 0, {{0, 5950}, {1, 0xFFFF}, {3, 1}, {4, 1000}, {5, 7}}), kNowUs - 5 * kSecond);
    table.Take(Block(kT0, 20, {{20, 123}, {23, 3800}, {25, 0xBEEF}, {29, 42}}), kNowUs - 90 * kSecond);
    return table;
}

QString Cell(const TRegisterWindow& w, int reg, int column) {
    return w.Table()->item(reg, column)->text();
}

} // namespace

class TestRegisterWindow : public QObject {
    Q_OBJECT
private slots:
    void rows_data();
    void rows();
    void runAndAlarms_data();
    void runAndAlarms();
    void writeButtons();
    void refreshedOnlyWhileShown();
};

void TestRegisterWindow::rows_data() {
    QTest::addColumn<int>("reg");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("age");
    QTest::newRow("set-point") << 0 << "设定值"
                               << "5950"
                               << "0x173E"
                               << "59.50 %"
                               << "5 秒";
    QTest::newRow("no quantity") << 1 << "—"
                                 << "65535"
                                 << "0xFFFF"
                                 << "—"
                                 << "5 秒";
    QTest::newRow("run bit") << 3 << "运行"
                             << "1"
                             << "0x0001"
                             << "运行"
                             << "5 秒";
    QTest::newRow("max output") << 4 << "最大输出量限制"
                                << "1000"
                                << "0x03E8"
                                << "100.0 %"
                                << "5 秒";
    QTest::newRow("min output") << 5 << "最小输出量限制"
                                << "7"
                                << "0x0007"
                                << "0.7 %"
                                << "5 秒";
    QTest::newRow("block never read") << 13 << "警报"
                                      << "—"
                                      << "—"
                                      << "—"
                                      << "—";
    QTest::newRow("current") << 20 << "R相电流"
                             << "123"
                             << "0x007B"
                             << "12.3 A"
                             << "1 分钟";
    QTest::newRow("voltage") << 23 << "电压"
                             << "3800"
                             << "0x0ED8"
                             << "380.0 V"
                             << "1 分钟";
    QTest::newRow("beyond the form's image") << 25 << "—"
                                             << "48879"
                                             << "0xBEEF"
                                             << "—"
                                             << "1 分钟";
    QTest::newRow("last register") << 29 << "—"
                                   << "42"
                                   << "0x002A"
                                   << "—"
                                   << "1 分钟";
}

void TestRegisterWindow::rows() {
    QFETCH(int, reg);
    QFETCH(QString, name);
    QFETCH(QString, raw);
    QFETCH(QString, hex);
    QFETCH(QString, value);
    QFETCH(QString, age);
    const RegisterTable table = KnownImage();
    TRegisterWindow w(&table);
    w.SetClock([] { return kNowUs; });
    w.refresh();
    QCOMPARE(w.Table()->rowCount(), 30);
    QCOMPARE(Cell(w, reg, TRegisterWindow::NumberColumn), QString::number(reg));
    QCOMPARE(Cell(w, reg, TRegisterWindow::NameColumn), name);
    QCOMPARE(Cell(w, reg, TRegisterWindow::RawColumn), raw);
    QCOMPARE(Cell(w, reg, TRegisterWindow::HexColumn), hex);
    QCOMPARE(Cell(w, reg, TRegisterWindow::ValueColumn), value);
    QCOMPARE(Cell(w, reg, TRegisterWindow::AgeColumn), age);
    QVERIFY(w.findChild<QLabel*>(QStringLiteral("device"))->text().endsWith(kDevice.Name()));
}

// The run bit is bit 0 whatever else the register holds; the alarms are named by their bits, and bits
// beyond the nine alarms name nothing.
void TestRegisterWindow::runAndAlarms_data() {
    QTest::addColumn<quint16>("run");
    QTest::addColumn<quint16>("alarms");
    QTest::addColumn<QString>("runText");
    QTest::addColumn<QString>("alarmText");
    QTest::newRow("stopped, none") << quint16(0) << quint16(0) << "停止"
                                   << "无警报";
    QTest::newRow("running, two") << quint16(0x0003) << quint16(0x0011) << "运行"
                                  << "PWER, TEMP MAX";
    QTest::newRow("even, last alarm and beyond") << quint16(2) << quint16(0xFF00) << "停止"
                                                 << "CUUR SHO";
}

void TestRegisterWindow::runAndAlarms() {
    QFETCH(quint16, run);
    QFETCH(quint16, alarms);
    QFETCH(QString, runText);
    QFETCH(QString, alarmText);
    RegisterTable table;
    table.SetDevice(kDevice);
    table.Take(Block(kT0, 0, {{3, run}}), kNowUs);
    table.Take(Block(kT0, 10, {{13, alarms}}), kNowUs);
    TRegisterWindow w(&table);
    w.SetClock([] { return kNowUs; });
    w.refresh();
    QCOMPARE(Cell(w, 3, TRegisterWindow::ValueColumn), runText);
    QCOMPARE(Cell(w, 13, TRegisterWindow::ValueColumn), alarmText);
}

// Registers 0, 3, 4 and 5 carry a button asking for their quantity; no other register has one.
void TestRegisterWindow::writeButtons() {
    const RegisterTable table = KnownImage();
    TRegisterWindow w(&table);
    QSignalSpy asked(&w, &TRegisterWindow::writeRequested);
    const QMap<int, Quantity> writable{
        {0, Quantity::InputSetting}, {3, Quantity::Run}, {4, Quantity::MaxOutput}, {5, Quantity::MinOutput}};
    for (int reg = 0; reg < w.Table()->rowCount(); ++reg) {
        QPushButton* button = w.WriteButton(reg);
        QCOMPARE(button != nullptr, writable.contains(reg));
        if (!button)
            continue;
        QCOMPARE(button->text(), QStringLiteral("写入…"));
        button->click();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.takeFirst().at(0).value<Quantity>(), writable.value(reg));
    }
}

void TestRegisterWindow::refreshedOnlyWhileShown() {
    RegisterTable table;
    table.SetDevice(kDevice);
    qint64 now = kNowUs;
    TRegisterWindow w(&table);
    w.SetClock([&now] { return now; });
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(Cell(w, 4, TRegisterWindow::RawColumn), QStringLiteral("—"));
    table.Take(Block(kT0, 0, {{4, 250}}), now);
    QTRY_COMPARE(Cell(w, 4, TRegisterWindow::RawColumn), QStringLiteral("250"));
    now += 3 * kSecond;
    QTRY_COMPARE(Cell(w, 4, TRegisterWindow::AgeColumn), QStringLiteral("3 秒"));

    w.hide();
    table.Take(Block(kT0, 0, {{4, 240}}), now);
    QTest::qWait(1500);
    QCOMPARE(Cell(w, 4, TRegisterWindow::RawColumn), QStringLiteral("250"));
    // Shown again, it is up to date at once.
    w.show();
    QCOMPARE(Cell(w, 4, TRegisterWindow::RawColumn), QStringLiteral("240"));
    QCOMPARE(Cell(w, 4, TRegisterWindow::AgeColumn), QStringLiteral("0 秒"));
}

QTEST_MAIN(TestRegisterWindow)
#include "tst_registers.moc"
