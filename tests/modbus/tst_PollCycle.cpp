#include "ModbusTestBytes.h"
#include "PollCycle.h"

#include <QTest>
#include <QThread>

using namespace modbus_test;

namespace {

// Stands in for Comm1: records what the cycle hands to SendData and the pauses it asks for.
struct ScriptedPort {
    QList<QByteArray> sent;
    QList<int> pauses;
    bool open = true;
    ModbusLink Link() {
        return {[this](const char* data, quint16 length) {
                    if (!open)
                        return false;
                    sent.append(QByteArray(data, length));
                    return true;
                },
                [this](int ms) { pauses.append(ms); }};
    }
};

CommLamp Deliver(PollCycle& cycle, const QByteArray& bytes) {
    return cycle.Receive(bytes.constData(), quint16(bytes.size()));
}

// Distinct, recognisable register contents for each block.
QList<quint16> BlockValues(int block) {
    QList<quint16> values;
    for (int i = 0; i < 10; ++i)
        values.append(quint16(0x1000 * (block + 1) + i));
    return values;
}

// Fills the whole image from answered polls, then leaves a request for block `phase` unanswered.
void Prime(PollCycle& cycle, int phase) {
    for (int i = 0; i < 3 + phase; ++i) {
        cycle.Tick(true, 1);
        QCOMPARE(Deliver(cycle, ReadReply(1, BlockValues(i % 3))), CommLamp::Lit);
    }
    cycle.Tick(true, 1);
    QCOMPARE(int(cycle.PollPhase()), phase);
}

bool BufferIsClear(const PollCycle& cycle) {
    const auto& b = cycle.ReceiveBuffer();
    return std::all_of(b.begin(), b.end(), [](quint8 v) { return v == 0; });
}

} // namespace

Q_DECLARE_METATYPE(CommLamp)

class TestPollCycle : public QObject {
    Q_OBJECT
private slots:
    void answeringDeviceReadsBlocksInTurn();
    void silentDeviceIsAskedAgainAndUnlitsLamp();
    void nothingSentWhileUntickedOrWritePending();
    void refusedSendUnlitsLamp();
    void acceptedReplyStoresBlock_data();
    void acceptedReplyStoresBlock();
    void rejectedDeliveryChangesNothing_data();
    void rejectedDeliveryChangesNothing();
    void replyMustComeFromRequestedAddress();
    void deliveryWhileWritePending_data();
    void deliveryWhileWritePending();
    void writeTimeout();
    void oversizedDelivery();
    void commandWaitsForTheDueAnswer_data();
    void commandWaitsForTheDueAnswer();
    void commandWaitsForThePreviousEcho();
};

void TestPollCycle::answeringDeviceReadsBlocksInTurn() {
    ScriptedPort port;
    PollCycle cycle(port.Link());
    const QList<QByteArray> expected = {Hex("01030000000AC5CD"), Hex("0103000A000AE5CF"),
                                        Hex("01030014000A85C9"), Hex("01030000000AC5CD")};
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(cycle.Tick(true, SlaveAddress("1")), CommLamp::Unchanged);
        QCOMPARE(port.sent.size(), i + 1);
        QCOMPARE(port.sent.last(), expected[i]);
        QCOMPARE(Deliver(cycle, ReadReply(1, BlockValues(i % 3))), CommLamp::Lit);
    }
    QCOMPARE(port.pauses, QList<int>(expected.size(), 5));
    QCOMPARE(cycle.Register(9), 0x1009);
    QCOMPARE(cycle.Register(15), 0x2005);
    QCOMPARE(cycle.Register(24), 0x3004);
}

void TestPollCycle::silentDeviceIsAskedAgainAndUnlitsLamp() {
    ScriptedPort port;
    PollCycle cycle(port.Link());
    QCOMPARE(cycle.Tick(true, 1), CommLamp::Unchanged);
    QCOMPARE(Deliver(cycle, ReadReply(1, BlockValues(0))), CommLamp::Lit);
    // The device answered block 0 and then fell silent: block 1 is asked for at every tick, and the
    // first tick that finds it unanswered puts the lamp out.
    QCOMPARE(cycle.Tick(true, 1), CommLamp::Unchanged);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(cycle.Tick(true, 1), CommLamp::Unlit);
    QCOMPARE(port.sent.size(), 5);
    for (int i = 1; i < 5; ++i)
        QCOMPARE(port.sent[i], Hex("0103000A000AE5CF"));
    QCOMPARE(int(cycle.PollPhase()), 1);
}

void TestPollCycle::nothingSentWhileUntickedOrWritePending() {
    ScriptedPort port;
    PollCycle cycle(port.Link());
    QCOMPARE(cycle.Tick(false, 1), CommLamp::Unlit);
    QCOMPARE(cycle.Tick(false, 1), CommLamp::Unlit);
    QVERIFY(port.sent.isEmpty());

    // An answered block still moves the phase on at an unticked tick.
    cycle.Tick(true, 1);
    Deliver(cycle, ReadReply(1, BlockValues(0)));
    QCOMPARE(cycle.Tick(false, 1), CommLamp::Unlit);
    QCOMPARE(int(cycle.PollPhase()), 1);
    QCOMPARE(port.sent.size(), 1);

    cycle.SetWriteCommand(4, 250); // box unticked: the command is not sent, yet polling waits
    QCOMPARE(cycle.Tick(true, 1), CommLamp::Unlit);
    QCOMPARE(port.sent.size(), 1);
    for (int i = 0; i < 4; ++i)
        cycle.WriteTimeoutStep();
    QCOMPARE(cycle.WritePending(), 0);
    cycle.Tick(true, 1);
    QCOMPARE(port.sent.size(), 2);
    QCOMPARE(port.sent.last(), Hex("0103000A000AE5CF"));
}

void TestPollCycle::refusedSendUnlitsLamp() {
    ScriptedPort port;
    PollCycle cycle(port.Link());
    cycle.Tick(true, 1);
    QCOMPARE(Deliver(cycle, ReadReply(1, BlockValues(0))), CommLamp::Lit);
    port.open = false;
    QCOMPARE(cycle.Tick(true, 1), CommLamp::Unlit);
    QCOMPARE(port.pauses, QList<int>({5, 5}));
    port.open = true;
    QCOMPARE(cycle.Tick(true, 1), CommLamp::Unchanged);
    QCOMPARE(port.sent.last(), Hex("0103000A000AE5CF"));

    port.open = false;
    cycle.SetWriteCommand(3, 1);
    QCOMPARE(cycle.SendWriteRequest(1), CommLamp::Unlit);
    QCOMPARE(port.pauses.last(), 40);
}

void TestPollCycle::acceptedReplyStoresBlock_data() {
    QTest::addColumn<int>("phase");
    QTest::addColumn<QList<quint16>>("values");
    QTest::addColumn<QList<int>>("registers"); // image registers that receive values[0], values[1], ...
    QTest::newRow("block 0") << 0 << QList<quint16>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}
                             << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    QTest::newRow("block 0, FF FF is 65535")
        << 0 << QList<quint16>{0xFFFF, 0x8000, 0, 0, 0, 0, 0, 0, 0, 0xFFFF}
        << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    // Register 15 travels in bytes 13 and 14; 16 to 19 are not kept.
    QTest::newRow("block 1") << 1 << QList<quint16>{11, 12, 13, 0x0105, 0, 0x0FA0, 99, 99, 99, 99}
                             << QList<int>{10, 11, 12, 13, 14, 15};
    QTest::newRow("block 2") << 2 << QList<quint16>{2305, 2310, 2298, 3800, 0xFFFF, 99, 99, 99, 99, 99}
                             << QList<int>{20, 21, 22, 23, 24};
}

void TestPollCycle::acceptedReplyStoresBlock() {
    QFETCH(int, phase);
    QFETCH(QList<quint16>, values);
    QFETCH(QList<int>, registers);
    ScriptedPort port;
    PollCycle cycle(port.Link());
    Prime(cycle, phase);
    auto expected = cycle.Image();
    for (int i = 0; i < registers.size(); ++i) {
        const int r = registers[i];
        expected[size_t(r <= 15 ? r : r - 4)] = values[i];
    }
    QCOMPARE(Deliver(cycle, ReadReply(1, values)), CommLamp::Lit);
    QCOMPARE(cycle.Image(), expected);
    for (int i = 0; i < registers.size(); ++i)
        QCOMPARE(cycle.Register(registers[i]), qint32(values[i]));
    QCOMPARE(int(cycle.BlockAnswered()), 1);
    QVERIFY(BufferIsClear(cycle));
    cycle.Tick(true, 1);
    QCOMPARE(int(cycle.PollPhase()), (phase + 1) % 3);
}

void TestPollCycle::rejectedDeliveryChangesNothing_data() {
    QTest::addColumn<int>("phase");
    QTest::addColumn<QList<QByteArray>>("chunks");
    const QByteArray good = ReadReply(1, BlockValues(0));
    QByteArray func4 = good.left(23);
    func4[1] = 0x04;
    QByteArray count18 = good.left(23);
    count18[2] = 18;
    QByteArray badCrc = good;
    badCrc[23] = char(badCrc[23] ^ 0x01);
    QTest::newRow("exception reply in block 2") << 2 << QList<QByteArray>{Hex("018302C0F1")};
    QTest::newRow("write echo, no write pending") << 0 << QList<QByteArray>{Hex("010600030001B80A")};
    QTest::newRow("other address") << 0 << QList<QByteArray>{ReadReply(2, BlockValues(0))};
    QTest::newRow("no frame") << 1 << QList<QByteArray>{Hex("0102030405060708")};
    QTest::newRow("own-CRC frame of 23 bytes") << 0 << QList<QByteArray>{WithCrc(good.left(21))};
    QTest::newRow("reply split in two chunks") << 0 << QList<QByteArray>{good.left(12), good.mid(12)};
    QTest::newRow("empty delivery") << 0 << QList<QByteArray>{QByteArray()};
    QTest::newRow("wrong CRC") << 0 << QList<QByteArray>{badCrc};
    QTest::newRow("function 04") << 1 << QList<QByteArray>{WithCrc(func4)};
    QTest::newRow("byte count 18") << 2 << QList<QByteArray>{WithCrc(count18)};
    QTest::newRow("tail of another frame first") << 0 << QList<QByteArray>{Hex("C5CD") + good};
}

void TestPollCycle::rejectedDeliveryChangesNothing() {
    QFETCH(int, phase);
    QFETCH(QList<QByteArray>, chunks);
    ScriptedPort port;
    PollCycle cycle(port.Link());
    Prime(cycle, phase);
    const auto image = cycle.Image();
    const QByteArray request = port.sent.last();
    for (const QByteArray& chunk : chunks) {
        QCOMPARE(Deliver(cycle, chunk), CommLamp::Unlit);
        QCOMPARE(cycle.Image(), image);
        QCOMPARE(int(cycle.BlockAnswered()), 0);
        QVERIFY(BufferIsClear(cycle));
    }
    QCOMPARE(cycle.Tick(true, 1), CommLamp::Unlit);
    QCOMPARE(int(cycle.PollPhase()), phase);
    QCOMPARE(port.sent.last(), request);
}

void TestPollCycle::replyMustComeFromRequestedAddress() {
    ScriptedPort port;
    PollCycle cycle(port.Link());
    // Nothing was asked yet, so nothing is an answer.
    QCOMPARE(Deliver(cycle, ReadReply(1, BlockValues(0))), CommLamp::Unlit);
    QCOMPARE(cycle.Register(0), 0);

    cycle.Tick(true, SlaveAddress("17"));
    QCOMPARE(port.sent.last(), Hex("11030000000AC75D"));
    QCOMPARE(Deliver(cycle, ReadReply(1, BlockValues(0))), CommLamp::Unlit);
    QCOMPARE(Deliver(cycle, ReadReply(17, BlockValues(0))), CommLamp::Lit);
    QCOMPARE(cycle.Register(0), 0x1000);

    // "256" is the broadcast address 0; its request goes out like any other.
    cycle.Tick(true, SlaveAddress("256"));
    QCOMPARE(port.sent.last(), Hex("0003000A000AE41E"));
}

void TestPollCycle::deliveryWhileWritePending_data() {
    QTest::addColumn<bool>("sent");
    QTest::addColumn<QByteArray>("delivery");
    QTest::addColumn<CommLamp>("lamp");
    QTest::newRow("echo") << true << Hex("010600030001B80A") << CommLamp::Lit;
    QTest::newRow("echo with trailing byte") << true << Hex("010600030001B80A00") << CommLamp::Lit;
    QTest::newRow("exception 86") << true << Hex("018602C3A1") << CommLamp::Unlit;
    QTest::newRow("echo of another value") << true << Hex("01060003000079CA") << CommLamp::Unlit;
    QTest::newRow("late read reply") << true << ReadReply(1, {7, 7, 7}) << CommLamp::Unlit;
    QTest::newRow("empty") << true << QByteArray() << CommLamp::Unlit;
    QTest::newRow("command never sent") << false << Hex("010600030001B80A") << CommLamp::Unlit;
}

void TestPollCycle::deliveryWhileWritePending() {
    QFETCH(bool, sent);
    QFETCH(QByteArray, delivery);
    QFETCH(CommLamp, lamp);
    ScriptedPort port;
    PollCycle cycle(port.Link());
    Prime(cycle, 1);
    const auto image = cycle.Image();
    cycle.SetWriteCommand(3, 1);
    if (sent) {
        QCOMPARE(cycle.SendWriteRequest(1), CommLamp::Unchanged);
        QCOMPARE(port.sent.last(), Hex("010600030001B80A"));
        QCOMPARE(port.pauses.last(), 40);
    }
    QCOMPARE(cycle.Tick(true, 1), CommLamp::Unlit);
    QCOMPARE(Deliver(cycle, delivery), lamp);
    QCOMPARE(cycle.WritePending(), 0);
    QCOMPARE(cycle.Image(), image);
    QCOMPARE(int(cycle.PollPhase()), 1);
    QCOMPARE(int(cycle.BlockAnswered()), 0);
    QVERIFY(BufferIsClear(cycle));
    // The flag is clear again: the next delivery is read as a read reply, not as an echo.
    QCOMPARE(Deliver(cycle, Hex("010600030001B80A")), CommLamp::Unlit);
}

void TestPollCycle::writeTimeout() {
    ScriptedPort port;
    PollCycle cycle(port.Link());
    cycle.SetWriteCommand(0, 500);
    QCOMPARE(cycle.WriteRegister(), quint8(0));
    QCOMPARE(cycle.WriteValue(), quint16(500));
    for (int tick = 1; tick <= 3; ++tick) {
        cycle.WriteTimeoutStep();
        QCOMPARE(cycle.WritePending(), 1);
        QCOMPARE(int(cycle.WriteTimeoutCounter()), tick);
    }
    cycle.WriteTimeoutStep();
    QCOMPARE(cycle.WritePending(), 0);
    QCOMPARE(int(cycle.WriteTimeoutCounter()), 0);

    // A reply clears the flag between two display ticks; a command before the next tick continues
    // the count, a tick that finds the flag clear resets it.
    cycle.SetWriteCommand(0, 1);
    cycle.WriteTimeoutStep();
    Deliver(cycle, QByteArray("x"));
    cycle.SetWriteCommand(0, 2);
    cycle.WriteTimeoutStep();
    QCOMPARE(int(cycle.WriteTimeoutCounter()), 2);
    Deliver(cycle, QByteArray("x"));
    cycle.WriteTimeoutStep();
    QCOMPARE(int(cycle.WriteTimeoutCounter()), 0);
}

void TestPollCycle::oversizedDelivery() {
    ScriptedPort port;
    PollCycle cycle(port.Link());
    Prime(cycle, 0);
    const QList<quint16> values{42, 43, 44};
    // The largest chunk the port delivers: a good reply followed by bytes that take no part.
    const QByteArray withTail = ReadReply(1, values) + QByteArray(2048 - 25, '\xAA');
    QCOMPARE(Deliver(cycle, withTail), CommLamp::Lit);
    QCOMPARE(cycle.Register(2), 44);
    QVERIFY(BufferIsClear(cycle));

    cycle.Tick(true, 1);
    const auto image = cycle.Image();
    const QByteArray maximal(65535, '\x03');
    QCOMPARE(Deliver(cycle, maximal), CommLamp::Unlit);
    QCOMPARE(cycle.Image(), image);
    QVERIFY(BufferIsClear(cycle));
    QCOMPARE(cycle.Receive(nullptr, 30), CommLamp::Unlit);
}

// A command given right after a poll request: its write request must not go out while the poll's answer
// is due, and goes out once the answer is in or the silence interval has passed with nothing received.
void TestPollCycle::commandWaitsForTheDueAnswer_data() {
    QTest::addColumn<int>("silenceMs");
    QTest::addColumn<bool>("receiving");    // bytes have come in that the port has not delivered
    QTest::addColumn<QByteArray>("answer"); // delivered after the command; empty: none
    QTest::addColumn<int>("waitMs");        // time let pass after the command
    QTest::addColumn<bool>("sent");         // whether the write request has gone out then
    const QByteArray reply = ReadReply(1, BlockValues(0));
    QTest::newRow("answer delivered") << 60000 << false << reply << 0 << true;
    QTest::newRow("answer delivered, more bytes coming") << 60000 << true << reply << 0 << true;
    QTest::newRow("refused answer delivered") << 60000 << false << reply.left(9) << 0 << true;
    QTest::newRow("silence interval passed, nothing received") << 20 << false << QByteArray() << 60 << true;
    QTest::newRow("bytes coming in past the interval") << 20 << true << QByteArray() << 60 << false;
    QTest::newRow("nothing received within the interval") << 60000 << false << QByteArray() << 60 << false;
}

void TestPollCycle::commandWaitsForTheDueAnswer() {
    QFETCH(int, silenceMs);
    QFETCH(bool, receiving);
    QFETCH(QByteArray, answer);
    QFETCH(int, waitMs);
    QFETCH(bool, sent);
    ScriptedPort port;
    ModbusLink link = port.Link();
    link.silenceMs = [silenceMs] { return silenceMs; };
    link.receiving = [&receiving] { return receiving; };
    PollCycle cycle(link);
    QCOMPARE(cycle.Tick(true, 1), CommLamp::Unchanged);
    QVERIFY(cycle.AnswerDue());

    cycle.SetWriteCommand(4, 250);
    QCOMPARE(cycle.SendWriteRequest(1), CommLamp::Unchanged);
    QVERIFY(cycle.WriteWaiting());
    QCOMPARE(cycle.SendWaitingWrite(), CommLamp::Unchanged);
    QCOMPARE(port.sent.size(), 1);

    if (!answer.isEmpty()) {
        // The answer is the read's: judged as its reply, while the command stays pending.
        const bool good = answer.size() == kReadReplyLength;
        QCOMPARE(Deliver(cycle, answer), good ? CommLamp::Lit : CommLamp::Unlit);
        QCOMPARE(cycle.Register(1), good ? 0x1001 : 0);
        QCOMPARE(cycle.WritePending(), 1);
    }
    QThread::msleep(ulong(waitMs));
    QCOMPARE(!cycle.AnswerDue(), sent);
    QCOMPARE(cycle.SendWaitingWrite(), CommLamp::Unchanged);
    QCOMPARE(cycle.WriteWaiting(), !sent);
    QCOMPARE(port.sent.size(), sent ? 2 : 1);
    if (!sent)
        return;
    QCOMPARE(port.sent.last(), Hex("0106000400FA4848"));
    QCOMPARE(port.pauses.last(), 40);
    // Polling is held back until the echo, which ends the command.
    QCOMPARE(cycle.Tick(true, 1), CommLamp::Unlit);
    QCOMPARE(port.sent.size(), 2);
    QCOMPARE(Deliver(cycle, Hex("0106000400FA4848")), CommLamp::Lit);
    QCOMPARE(cycle.WritePending(), 0);
}

void TestPollCycle::commandWaitsForThePreviousEcho() {
    ScriptedPort port;
    ModbusLink link = port.Link();
    link.silenceMs = [] { return 60000; };
    link.receiving = [] { return false; };
    PollCycle cycle(link);
    cycle.SetWriteCommand(4, 250);
    QCOMPARE(cycle.SendWriteRequest(1), CommLamp::Unchanged); // nothing due: at once
    QCOMPARE(port.sent.size(), 1);
    cycle.SetWriteCommand(4, 251);
    QCOMPARE(cycle.SendWriteRequest(1), CommLamp::Unchanged);
    QVERIFY(cycle.WriteWaiting());
    QCOMPARE(port.sent.size(), 1);
    // The first command's echo confirms it, and the second goes out after it.
    QCOMPARE(Deliver(cycle, Hex("0106000400FA4848")), CommLamp::Lit);
    QCOMPARE(cycle.WritePending(), 1);
    QCOMPARE(cycle.SendWaitingWrite(), CommLamp::Unchanged);
    QCOMPARE(port.sent.size(), 2);
    QCOMPARE(port.sent.last(), Hex("0106000400FB8988"));
    // A command the display tick gave up on does not wait any more.
    cycle.SetWriteCommand(4, 252);
    QCOMPARE(cycle.SendWriteRequest(1), CommLamp::Unchanged);
    QVERIFY(cycle.WriteWaiting());
    for (int i = 0; i < 4; ++i)
        cycle.WriteTimeoutStep();
    QVERIFY(!cycle.WriteWaiting());
    QCOMPARE(cycle.SendWaitingWrite(), CommLamp::Unchanged);
    QCOMPARE(port.sent.size(), 2);
}

QTEST_APPLESS_MAIN(TestPollCycle)
#include "tst_PollCycle.moc"
