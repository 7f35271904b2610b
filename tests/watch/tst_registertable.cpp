// The register table as the line watch fills it: only accepted read replies of the current device, all
// thirty registers with those the form's image leaves out, emptied when the device changes, and the
// age of each register's last read.
#include "HistoryTestData.h"
#include "LineWatch.h"
#include "RegisterTable.h"

#include <QTest>

namespace {

// A record of the line as a row names it: the reply to a read of `block`, from `address`, with each
// register holding `base` plus its number.
struct Reply {
    quint8 block = 0;
    Verdict verdict = Verdict::Accepted;
    quint16 base = 0;
    quint8 address = 1;
};

TrafficRecord ReplyRecord(const Reply& r) {
    BlockSample b;
    b.device = DeviceKey{kDevice.port, r.address};
    b.block = r.block;
    for (int i = 0; i < 10; ++i)
        b.registers[size_t(i)] = quint16(r.base + r.block + i);
    TrafficRecord record = ReadRecord(b, r.verdict);
    if (r.verdict == Verdict::Exception) {
        record.bytes = QByteArray::fromHex("018302C0F1");
        record.exceptionCode = 2;
    }
    return record;
}

} // namespace

Q_DECLARE_METATYPE(QList<Reply>)

class TestRegisterTable : public QObject {
    Q_OBJECT
private slots:
    void fromTheLine_data();
    void fromTheLine();
    void anotherDeviceEmptiesIt();
    void ages();
};

void TestRegisterTable::fromTheLine_data() {
    QTest::addColumn<QList<Reply>>("replies");
    // Registers read, each holding base + its number; "-" for one not read.
    QTest::addColumn<QList<int>>("bases");
    const QList<int> none(RegisterTable::kRegisterCount, -1);
    const auto blocks = [&none](std::initializer_list<std::pair<int, int>> blockBase) {
        QList<int> bases = none;
        for (const auto& [block, base] : blockBase)
            for (int i = 0; i < 10; ++i)
                bases[block + i] = base;
        return bases;
    };
    QTest::newRow("all three blocks, with the registers the image leaves out")
        << QList<Reply>{{0}, {10}, {20}} << blocks({{0, 0}, {10, 0}, {20, 0}});
    QTest::newRow("a newer read replaces")
        << QList<Reply>{{10, Verdict::Accepted, 100}, {10, Verdict::Accepted, 7}} << blocks({{10, 7}});
    QTest::newRow("a garbled reply is no reading")
        << QList<Reply>{{0, Verdict::Accepted, 5}, {0, Verdict::Crc, 9}, {20, Verdict::Crc, 9}}
        << blocks({{0, 5}});
    QTest::newRow("an exception is no reading") << QList<Reply>{{20, Verdict::Exception, 3}} << none;
    QTest::newRow("a reply of another address")
        << QList<Reply>{{0, Verdict::Accepted, 0, 1}, {10, Verdict::Accepted, 0, 2}} << blocks({{0, 0}});
}

void TestRegisterTable::fromTheLine() {
    QFETCH(QList<Reply>, replies);
    QFETCH(QList<int>, bases);
    LineWatch watch;
    watch.SetDevice(kDevice);
    for (const Reply& reply : replies)
        watch.Take(ReplyRecord(reply));
    const RegisterTable& table = watch.Registers();
    for (int reg = 0; reg < RegisterTable::kRegisterCount; ++reg) {
        const std::optional<quint16> expected =
            bases[reg] < 0 ? std::nullopt : std::optional<quint16>(quint16(bases[reg] + reg));
        QVERIFY2(table.Value(reg) == expected, qPrintable(QStringLiteral("register %1").arg(reg)));
    }
    QVERIFY(!table.Value(RegisterTable::kRegisterCount));
}

// What was read belongs to the device it was read from: another address or another port empties the
// table, the same device again keeps it.
void TestRegisterTable::anotherDeviceEmptiesIt() {
    LineWatch watch;
    watch.SetDevice(kDevice);
    watch.Take(ReplyRecord({0}));
    watch.SetDevice(kDevice);
    QCOMPARE(watch.Registers().Value(3).value_or(0), quint16(3));
    watch.SetDevice(DeviceKey{kDevice.port, 2});
    QVERIFY(!watch.Registers().Value(3));
    watch.SetDevice(kDevice);
    watch.Take(ReplyRecord({0}));
    watch.SetDevice(DeviceKey{QStringLiteral("tcp://gw:4001"), 1});
    QVERIFY(!watch.Registers().Value(3));
    QCOMPARE(watch.Registers().Device().port, QStringLiteral("tcp://gw:4001"));
}

void TestRegisterTable::ages() {
    RegisterTable table;
    table.SetDevice(kDevice);
    table.Take(Block(kT0, 0, {{0, 1}}), 1000000);
    table.Take(Block(kT0, 20, {{29, 2}}), 4000000);
    QCOMPARE(table.AgeUs(0, 5000000).value_or(-1), qint64(4000000));
    QCOMPARE(table.AgeUs(9, 5000000).value_or(-1), qint64(4000000));
    QCOMPARE(table.AgeUs(29, 5000000).value_or(-1), qint64(1000000));
    QVERIFY(!table.AgeUs(10, 5000000));
    // A clock read before the reply was stamped gives no negative age.
    QCOMPARE(table.AgeUs(29, 3999000).value_or(-1), qint64(0));
    table.Take(Block(kT0, 0, {{0, 3}}), 4500000);
    QCOMPARE(table.AgeUs(0, 5000000).value_or(-1), qint64(500000));
}

QTEST_GUILESS_MAIN(TestRegisterTable)
#include "tst_registertable.moc"
