// The bus scan's steps without a port: its requests, its verdict on each delivery, when it moves on,
// and how it ends.
#include "BusScan.h"
#include "ModbusTestBytes.h"
#include "PollCycle.h"

#include <QTest>

using namespace modbus_test;

Q_DECLARE_METATYPE(Verdict)

namespace {

QList<Verdict> Verdicts(const QList<TrafficRecord>& records) {
    QList<Verdict> v;
    for (const TrafficRecord& r : records)
        v.append(r.verdict);
    return v;
}

TrafficRecord Deliver(BusScan& scan, const QByteArray& bytes) {
    return scan.Delivered(bytes.constData(), bytes.size());
}

// Sends the next probe's request as a port that takes everything would.
TrafficRecord SendNext(BusScan& scan) {
    [&] { QVERIFY(scan.Next()); }();
    return scan.Sent(true);
}

} // namespace

class TestBusScan : public QObject {
    Q_OBJECT
private slots:
    void probeLists();
    void requestIsThePollCyclesBlockZero();
    void deliveryVerdicts_data();
    void deliveryVerdicts();
    void runOverSeveralAddresses();
    void endings();
};

void TestBusScan::probeLists() {
    const QList<BusScan::Probe> all = BusScan::AddressRange(1, 247, 19200, "8_N_2");
    QCOMPARE(all.size(), 247);
    QCOMPARE(all.first(), (BusScan::Probe{1, 19200, "8_N_2"}));
    QCOMPARE(all.last(), (BusScan::Probe{247, 19200, "8_N_2"}));
    QCOMPARE(BusScan::AddressRange(250, 255, 9600, "8_E_1").size(), 6);
    QVERIFY(BusScan::AddressRange(5, 4, 9600, "8_E_1").isEmpty());

    const QList<BusScan::Probe> sweep = BusScan::LineSweep(17, {4800, 9600}, {"8_N_2", "8_E_1", "8_O_1"});
    QCOMPARE(sweep, (QList<BusScan::Probe>{{17, 4800, "8_N_2"},
                                           {17, 4800, "8_E_1"},
                                           {17, 4800, "8_O_1"},
                                           {17, 9600, "8_N_2"},
                                           {17, 9600, "8_E_1"},
                                           {17, 9600, "8_O_1"}}));

    // Nothing to try: over before it starts.
    BusScan empty({});
    QVERIFY(empty.Finished());
    QCOMPARE(empty.Ending(), BusScan::End::Completed);
    QVERIFY(!empty.Next());
}

void TestBusScan::requestIsThePollCyclesBlockZero() {
    for (const quint8 address : {quint8(1), quint8(17), quint8(247)}) {
        QByteArray polled;
        PollCycle cycle({[&](const char* data, quint16 length) {
                             polled = QByteArray(data, length);
                             return true;
                         },
                         {}});
        cycle.Tick(true, address);
        BusScan scan(BusScan::AddressRange(address, address, 19200, "8_N_2"));
        QCOMPARE(scan.Request(), polled);
        const TrafficRecord tx = scan.Sent(true);
        QCOMPARE(tx.bytes, polled);
        QCOMPARE(tx.direction, TrafficDirection::Tx);
        QCOMPARE(tx.verdict, Verdict::Sent);
        QCOMPARE(int(tx.address), int(address));
        QCOMPARE(int(tx.function), 0x03);
        QCOMPARE(int(tx.countOrValue), 10);
        QCOMPARE(tx.requestUs, tx.monotonicUs);
    }
    BusScan scan(BusScan::AddressRange(17, 17, 19200, "8_N_2"));
    QCOMPARE(scan.Request(), WithCrc(Hex("11030000000A")));
}

// One delivery while slave 17 is awaited: its verdict, whether it proves a device there, and whether
// the scan stops waiting. A refused delivery leaves the wait running, and its expiry then reports no
// missing answer, since something came back.
void TestBusScan::deliveryVerdicts_data() {
    const QByteArray reply = ReadReply(17, {1, 2, 3});
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Verdict>("verdict");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<int>("exceptionCode");
    QTest::newRow("accepted") << reply << Verdict::Accepted << true << 0;
    QTest::newRow("accepted, trailing bytes") << reply + Hex("00FF") << Verdict::Accepted << true << 0;
    QTest::newRow("exception 02") << WithCrc(Hex("118302")) << Verdict::Exception << true << 2;
    QTest::newRow("exception, bad crc") << Hex("1183020000") << Verdict::Crc << false << 0;
    QTest::newRow("crc") << reply.left(24) + char(reply[24] ^ 0x01) << Verdict::Crc << false << 0;
    QTest::newRow("other slave") << ReadReply(16, {1}) << Verdict::Address << false << 0;
    QTest::newRow("function") << WithCrc(Hex("1106000000FF")) << Verdict::Function << false << 0;
    QTest::newRow("stray bytes") << reply.mid(7) << Verdict::Noise << false << 0;
    QTest::newRow("stray bytes from the slave's address") << Hex("1155AA") << Verdict::Noise << false << 0;
    QTest::newRow("short") << reply.left(10) << Verdict::Short << false << 0;
    QTest::newRow("oversize") << QByteArray(300, '\x11') << Verdict::Oversize << false << 0;
    QTest::newRow("oversize, reply first") << reply + QByteArray(300, 0) << Verdict::Accepted << true << 0;
}

void TestBusScan::deliveryVerdicts() {
    QFETCH(QByteArray, bytes);
    QFETCH(Verdict, verdict);
    QFETCH(bool, answered);
    QFETCH(int, exceptionCode);
    BusScan scan(BusScan::AddressRange(17, 18, 19200, "8_N_2"));
    const TrafficRecord tx = SendNext(scan);
    const TrafficRecord rx = Deliver(scan, bytes);
    QCOMPARE(rx.direction, TrafficDirection::Rx);
    QCOMPARE(rx.verdict, verdict);
    QCOMPARE(int(rx.exceptionCode), exceptionCode);
    QCOMPARE(rx.bytes, bytes);
    QCOMPARE(int(rx.address), 17);
    QCOMPARE(rx.requestUs, tx.monotonicUs);
    QCOMPARE(scan.Answers().size(), answered ? 1 : 0);
    QCOMPARE(scan.Awaiting(), !answered);
    if (answered) {
        QCOMPARE(scan.Answers()[0].probe, (BusScan::Probe{17, 19200, "8_N_2"}));
        QCOMPARE(scan.Answers()[0].verdict, verdict);
        QCOMPARE(scan.Answers()[0].responseUs, rx.monotonicUs - tx.monotonicUs);
        QCOMPARE(scan.Next()->address, quint8(18));
    } else {
        QVERIFY(!scan.Next());
        QVERIFY(!scan.Expired().has_value());
        QCOMPARE(scan.Next()->address, quint8(18));
    }
    QCOMPARE(scan.Done(), 1);
}

void TestBusScan::runOverSeveralAddresses() {
    BusScan scan(BusScan::LineSweep(5, {9600}, {"8_N_2", "8_E_1", "8_O_1"}));
    QList<TrafficRecord> records;
    // 8_N_2: silence. 8_E_1: garbage, then the answer. 8_O_1: silence again.
    records << SendNext(scan);
    records << *scan.Expired();
    records << SendNext(scan);
    records << Deliver(scan, Hex("FF00")); // no frame: stray bytes
    records << Deliver(scan, ReadReply(5, {7}));
    records << SendNext(scan);
    QCOMPARE(scan.Done(), 2);
    QVERIFY(!scan.Finished());
    records << *scan.Expired();
    QCOMPARE(Verdicts(records),
             (QList<Verdict>{Verdict::Sent, Verdict::NoReply, Verdict::Sent, Verdict::Noise,
                             Verdict::Accepted, Verdict::Sent, Verdict::NoReply}));
    QCOMPARE(records[1].direction, TrafficDirection::Missing);
    QCOMPARE(records[1].requestUs, records[0].monotonicUs);
    QVERIFY(records[1].bytes.isEmpty());
    QVERIFY(scan.Finished());
    QCOMPARE(scan.Ending(), BusScan::End::Completed);
    QCOMPARE(scan.Done(), 3);
    QCOMPARE(scan.Answers().size(), 1);
    QCOMPARE(scan.Answers()[0].probe, (BusScan::Probe{5, 9600, "8_E_1"}));
    // Once over, a delivery is about no request.
    const TrafficRecord late = Deliver(scan, ReadReply(5, {7}));
    QCOMPARE(late.verdict, Verdict::Unexpected);
    QCOMPARE(int(late.function), 0);
    QCOMPARE(scan.Answers().size(), 1);
}

void TestBusScan::endings() {
    // Cancelled while a request is on the wire: its answer is still the scan's, then it is over.
    {
        BusScan scan(BusScan::AddressRange(1, 10, 19200, "8_N_2"));
        SendNext(scan);
        scan.Cancel();
        QVERIFY(!scan.Next());
        QVERIFY(!scan.Finished());
        QCOMPARE(Deliver(scan, ReadReply(1, {})).verdict, Verdict::Accepted);
        QVERIFY(scan.Finished());
        QCOMPARE(scan.Ending(), BusScan::End::Cancelled);
        QCOMPARE(scan.Answers().size(), 1);
    }
    // Cancelled while a request waits out its time.
    {
        BusScan scan(BusScan::AddressRange(1, 10, 19200, "8_N_2"));
        SendNext(scan);
        scan.Cancel();
        QVERIFY(scan.Expired());
        QVERIFY(scan.Finished());
        QCOMPARE(scan.Done(), 1);
    }
    // Cancelled between requests: over at once.
    {
        BusScan scan(BusScan::AddressRange(1, 10, 19200, "8_N_2"));
        scan.Cancel();
        QVERIFY(scan.Finished());
        QVERIFY(!scan.Next());
    }
    // The port refuses: the request is recorded as refused and nothing more goes out.
    {
        BusScan scan(BusScan::AddressRange(1, 10, 19200, "8_N_2"));
        QVERIFY(scan.Next());
        const TrafficRecord tx = scan.Sent(false);
        QCOMPARE(tx.verdict, Verdict::Refused);
        QCOMPARE(tx.bytes, WithCrc(Hex("01030000000A")));
        QVERIFY(scan.Finished());
        QCOMPARE(scan.Ending(), BusScan::End::Refused);
        QVERIFY(!scan.Next());
    }
    // The line is gone while a request waits: nothing is awaited any more, and no missing answer.
    {
        BusScan scan(BusScan::AddressRange(1, 10, 19200, "8_N_2"));
        SendNext(scan);
        scan.Abandon();
        QVERIFY(scan.Finished());
        QCOMPARE(scan.Ending(), BusScan::End::LineLost);
        QVERIFY(!scan.Expired().has_value());
    }
}

QTEST_APPLESS_MAIN(TestBusScan)
#include "tst_BusScan.moc"
