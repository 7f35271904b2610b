// The poll cycle's verdict on every frame, reported as traffic records, and the traffic log's line.
#include "ModbusTestBytes.h"
#include "PollCycle.h"
#include "Traffic.h"
#include "TrafficBuffer.h"
#include "TrafficStats.h"

#include <QHash>
#include <QSet>
#include <QTest>

#include <utility>

using namespace modbus_test;

namespace {

// Stands in for Comm1 and for the listeners: what the cycle sends, and every record it reports.
struct Line {
    bool takes = true;
    QList<TrafficRecord> records;
    ModbusLink Link() {
        return {[this](const char*, quint16) { return takes; }, [](int) {},
                [this](const TrafficRecord& r) { records.append(r); }};
    }
    QList<Verdict> Verdicts() const {
        QList<Verdict> v;
        for (const TrafficRecord& r : records)
            v.append(r.verdict);
        return v;
    }
};

void Deliver(PollCycle& cycle, const QByteArray& bytes) {
    cycle.Receive(bytes.constData(), quint16(bytes.size()));
}

const QByteArray kGoodReply = ReadReply(1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});

QByteArray WithByte(QByteArray frame, int index, char value) {
    frame[index] = value;
    return frame;
}

} // namespace

Q_DECLARE_METATYPE(Verdict)

class TestTraffic : public QObject {
    Q_OBJECT
private slots:
    void readReplyVerdicts_data();
    void readReplyVerdicts();
    void writeAnswerVerdicts_data();
    void writeAnswerVerdicts();
    void requestsAndMissingAnswers();
    void deliveryBeforeAnyRequestIsUnexpected();
    void deliveryNotAwaitedIsUnexpected_data();
    void deliveryNotAwaitedIsUnexpected();
    void answerAmongOtherBytesIsNoMissingAnswer_data();
    void answerAmongOtherBytesIsNoMissingAnswer();
    void keywordsRoundTrip();
    void logLine();
    void bufferKeepsTheNewest();
    void bufferBoundedByBytes();
    void statisticsCount();
    void responseTimes_data();
    void responseTimes();
    void responseTimeOnlyFromChunksEndedBySilence();
};

// One delivery after a read request for block 0 of slave 1: the record's verdict, and whether the
// register image took the block (only an accepted reply may change it).
void TestTraffic::readReplyVerdicts_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Verdict>("verdict");
    QTest::addColumn<int>("exceptionCode");
    QTest::newRow("accepted") << kGoodReply << Verdict::Accepted << 0;
    QTest::newRow("accepted, trailing bytes") << kGoodReply + Hex("FFFF") << Verdict::Accepted << 0;
    QTest::newRow("crc") << WithByte(kGoodReply, 24, char(kGoodReply[24] ^ 0xFF)) << Verdict::Crc << 0;
    QTest::newRow("address") << ReadReply(2, {1, 2, 3}) << Verdict::Address << 0;
    QTest::newRow("address, another slave's exception") << WithCrc(Hex("028302")) << Verdict::Address << 0;
    QTest::newRow("address, another master's request")
        << WithCrc(Hex("050300000001")) << Verdict::Address << 0;
    QTest::newRow("noise, tail of a split reply") << kGoodReply.mid(12) << Verdict::Noise << 0;
    QTest::newRow("noise, garbage before the reply") << Hex("7E00") + kGoodReply << Verdict::Noise << 0;
    QTest::newRow("noise, one byte") << Hex("FF") << Verdict::Noise << 0;
    QTest::newRow("noise, own address then no frame") << Hex("01F40000") << Verdict::Noise << 0;
    QTest::newRow("function") << WithCrc(WithByte(kGoodReply.left(23), 1, 0x04)) << Verdict::Function << 0;
    QTest::newRow("count") << WithCrc(WithByte(kGoodReply.left(23), 2, 18)) << Verdict::Count << 0;
    QTest::newRow("short") << kGoodReply.left(24) << Verdict::Short << 0;
    QTest::newRow("short, address only") << Hex("01") << Verdict::Short << 0;
    QTest::newRow("exception 02") << WithCrc(Hex("018302")) << Verdict::Exception << 2;
    QTest::newRow("exception 0B") << WithCrc(Hex("01830B")) << Verdict::Exception << 0x0B;
    QTest::newRow("exception, bad crc") << Hex("0183020000") << Verdict::Crc << 0;
    QTest::newRow("exception, short") << Hex("018302") << Verdict::Short << 0;
    QTest::newRow("oversize") << QByteArray(300, '\x55') << Verdict::Oversize << 0;
    QTest::newRow("oversize, valid reply first") << kGoodReply + QByteArray(300, 0) << Verdict::Accepted << 0;
}

void TestTraffic::readReplyVerdicts() {
    QFETCH(QByteArray, bytes);
    QFETCH(Verdict, verdict);
    QFETCH(int, exceptionCode);
    Line line;
    PollCycle cycle(line.Link());
    cycle.Tick(true, 1);
    Deliver(cycle, bytes);
    QCOMPARE(line.Verdicts(), (QList<Verdict>{Verdict::Sent, verdict}));
    const TrafficRecord& rx = line.records.last();
    QCOMPARE(rx.direction, TrafficDirection::Rx);
    QCOMPARE(rx.bytes, bytes);
    QCOMPARE(int(rx.exceptionCode), exceptionCode);
    // The record names the request it answers.
    QCOMPARE(int(rx.address), 1);
    QCOMPARE(int(rx.function), 0x03);
    QCOMPARE(int(rx.firstRegister), 0);
    QCOMPARE(int(rx.countOrValue), 10);
    QCOMPARE(rx.requestUs, line.records.first().monotonicUs);
    QVERIFY(rx.monotonicUs >= rx.requestUs);
    QCOMPARE(cycle.Register(0) == 1, verdict == Verdict::Accepted);
}

void TestTraffic::writeAnswerVerdicts_data() {
    const QByteArray request = WithCrc(Hex("010600040190"));
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Verdict>("verdict");
    QTest::newRow("confirmed") << request << Verdict::Confirmed;
    QTest::newRow("echo, other value") << WithCrc(Hex("010600040191")) << Verdict::Echo;
    QTest::newRow("exception 03") << WithCrc(Hex("018603")) << Verdict::Exception;
    QTest::newRow("crc") << WithByte(request, 7, char(request[7] ^ 1)) << Verdict::Crc;
    QTest::newRow("address") << WithCrc(Hex("020600040190")) << Verdict::Address;
    QTest::newRow("noise") << Hex("0090AB") << Verdict::Noise;
    QTest::newRow("function") << kGoodReply << Verdict::Function;
    QTest::newRow("short") << request.left(7) << Verdict::Short;
}

void TestTraffic::writeAnswerVerdicts() {
    QFETCH(QByteArray, bytes);
    QFETCH(Verdict, verdict);
    Line line;
    PollCycle cycle(line.Link());
    cycle.SetWriteCommand(4, 400);
    QCOMPARE(cycle.SendWriteRequest(1), CommLamp::Unchanged);
    Deliver(cycle, bytes);
    QCOMPARE(line.Verdicts(), (QList<Verdict>{Verdict::Sent, verdict}));
    QCOMPARE(int(line.records.last().function), 0x06);
    QCOMPARE(int(line.records.last().firstRegister), 4);
    QCOMPARE(int(line.records.last().countOrValue), 400);
}

void TestTraffic::requestsAndMissingAnswers() {
    Line line;
    PollCycle cycle(line.Link());
    // A silent device: each tick reports the last request missing once, then asks again.
    cycle.Tick(true, 7);
    cycle.Tick(true, 7);
    QCOMPARE(line.Verdicts(), (QList<Verdict>{Verdict::Sent, Verdict::NoReply, Verdict::Sent}));
    QCOMPARE(line.records[1].direction, TrafficDirection::Missing);
    QCOMPARE(int(line.records[1].address), 7);
    QVERIFY(line.records[1].bytes.isEmpty());
    // Unticked, the request still awaited is reported missing once, and nothing more goes out.
    cycle.Tick(false, 7);
    cycle.Tick(false, 7);
    QCOMPARE(line.records.size(), 4);
    QCOMPARE(line.records[3].verdict, Verdict::NoReply);

    // The port refuses: the request is recorded as refused, and no answer is awaited.
    line.records.clear();
    line.takes = false;
    cycle.Tick(true, 7);
    cycle.Tick(true, 7);
    QCOMPARE(line.Verdicts(), (QList<Verdict>{Verdict::Refused, Verdict::Refused}));
    QCOMPARE(line.records[0].bytes, WithCrc(Hex("07030000000A")));

    // A sent write whose answer never comes is missing when the display tick gives up on it.
    line.records.clear();
    line.takes = true;
    cycle.SetWriteCommand(3, 1);
    cycle.SendWriteRequest(7);
    for (int i = 0; i < 4; ++i)
        cycle.WriteTimeoutStep();
    QCOMPARE(line.Verdicts(), (QList<Verdict>{Verdict::Sent, Verdict::NoReply}));
    QCOMPARE(int(line.records[1].function), 0x06);
    QCOMPARE(cycle.WritePending(), 0);
    // A command that never reached the wire is not awaited.
    line.records.clear();
    cycle.SetWriteCommand(3, 0);
    for (int i = 0; i < 4; ++i)
        cycle.WriteTimeoutStep();
    QVERIFY(line.records.isEmpty());
}

void TestTraffic::deliveryBeforeAnyRequestIsUnexpected() {
    Line line;
    PollCycle cycle(line.Link());
    Deliver(cycle, kGoodReply);
    // A command set while polling is off is not on the wire, so its "answer" was not awaited either.
    cycle.SetWriteCommand(0, 100);
    Deliver(cycle, kGoodReply);
    QCOMPARE(line.Verdicts(), (QList<Verdict>{Verdict::Unexpected, Verdict::Unexpected}));
    QCOMPARE(int(line.records[0].function), 0);
    QCOMPARE(cycle.Register(0), 0);
}

namespace {

const QByteArray kOtherReply = ReadReply(1, {9, 9, 9});
const QByteArray kEcho = WithCrc(Hex("010600040190"));

// Runs steps on a poll cycle polling slave 1: "poll" a tick with the box ticked, "idle" one without,
// "command" register 4 set to 400 and sent, "timeout" the display tick's four steps that give a write
// up, "reply", "other reply", "exception", "short" and "echo" deliveries.
void Run(PollCycle& cycle, const QStringList& steps) {
    for (const QString& step : steps) {
        if (step == u"poll" || step == u"idle") {
            cycle.Tick(step == u"poll", 1);
        } else if (step == u"command") {
            cycle.SetWriteCommand(4, 400);
            cycle.SendWriteRequest(1);
        } else if (step == u"timeout") {
            for (int i = 0; i < 4; ++i)
                cycle.WriteTimeoutStep();
        } else {
            const QHash<QString, QByteArray> chunks = {{"reply", kGoodReply},
                                                       {"other reply", kOtherReply},
                                                       {"exception", WithCrc(Hex("018302"))},
                                                       {"short", kGoodReply.left(10)},
                                                       {"echo", kEcho}};
            QVERIFY2(chunks.contains(step), qPrintable(step));
            Deliver(cycle, chunks[step]);
        }
    }
}

} // namespace

// Once the request awaited is answered or given up, a delivery is about no request: even a good reply
// is not taken into the register image.
void TestTraffic::deliveryNotAwaitedIsUnexpected_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QList<Verdict>>("verdicts");
    const Verdict sent = Verdict::Sent, unexpected = Verdict::Unexpected;
    QTest::newRow("after an accepted reply")
        << QStringList{"poll", "reply", "other reply"} << QList<Verdict>{sent, Verdict::Accepted, unexpected};
    QTest::newRow("after an exception reply") << QStringList{"poll", "exception", "other reply"}
                                              << QList<Verdict>{sent, Verdict::Exception, unexpected};
    QTest::newRow("after the tick reported it missing")
        << QStringList{"poll", "idle", "other reply"} << QList<Verdict>{sent, Verdict::NoReply, unexpected};
    QTest::newRow("after the tick gave up a refused answer")
        << QStringList{"poll", "short", "idle", "other reply"}
        << QList<Verdict>{sent, Verdict::Short, unexpected};
    QTest::newRow("after a write's answer")
        << QStringList{"command", "echo", "echo"} << QList<Verdict>{sent, Verdict::Confirmed, unexpected};
    QTest::newRow("after a write was given up")
        << QStringList{"command", "timeout", "echo"} << QList<Verdict>{sent, Verdict::NoReply, unexpected};
    // A refused answer does not end the wait: the awaited reply may still follow.
    QTest::newRow("a refused answer, then the reply")
        << QStringList{"poll", "short", "other reply"}
        << QList<Verdict>{sent, Verdict::Short, Verdict::Accepted};
}

void TestTraffic::deliveryNotAwaitedIsUnexpected() {
    QFETCH(QStringList, steps);
    QFETCH(QList<Verdict>, verdicts);
    Line line;
    PollCycle cycle(line.Link());
    Run(cycle, steps);
    QCOMPARE(line.Verdicts(), verdicts);
    const bool otherTaken = verdicts.last() == Verdict::Accepted;
    QCOMPARE(cycle.Register(0), otherTaken ? 9 : steps.contains("reply") ? 1 : 0);
    if (verdicts.last() == Verdict::Unexpected) {
        QCOMPARE(int(line.records.last().function), 0);
        QCOMPARE(line.records.last().requestUs, 0);
    }
}

// Whatever comes back after a request is its answer: only a request that nothing at all came back for
// is missing, and an answer that came with other bytes is counted once, under that delivery's verdict.
void TestTraffic::answerAmongOtherBytesIsNoMissingAnswer_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QList<QByteArray>>("chunks"); // delivered after the steps
    QTest::addColumn<QList<Verdict>>("verdicts");
    const Verdict sent = Verdict::Sent;
    // A command put on the line straight after a poll: the poll's reply and the echo arrive as one chunk,
    // which answers the write, the request on the line last.
    QTest::newRow("reply and echo in one chunk")
        << QStringList{"poll", "command"} << QList<QByteArray>{kGoodReply + kEcho}
        << QList<Verdict>{sent, sent, Verdict::Function};
    // The poll's reply came late, after the write went out: it is the write's answer, and the echo that
    // follows is about no request.
    QTest::newRow("late reply, then the echo")
        << QStringList{"poll", "command"} << QList<QByteArray>{kGoodReply, kEcho}
        << QList<Verdict>{sent, sent, Verdict::Function, Verdict::Unexpected};
}

void TestTraffic::answerAmongOtherBytesIsNoMissingAnswer() {
    QFETCH(QStringList, steps);
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<Verdict>, verdicts);
    Line line;
    PollCycle cycle(line.Link());
    Run(cycle, steps);
    for (const QByteArray& chunk : chunks)
        Deliver(cycle, chunk);
    Run(cycle, {"timeout", "idle", "idle"});
    QCOMPARE(line.Verdicts(), verdicts);
    QCOMPARE(cycle.Register(0), 0);
}

void TestTraffic::keywordsRoundTrip() {
    QSet<QString> seen;
    for (int i = 0; i < kVerdictCount; ++i) {
        const QString keyword = QString::fromLatin1(VerdictKeyword(Verdict(i)));
        QVERIFY2(!seen.contains(keyword), qPrintable(keyword));
        seen.insert(keyword);
        QCOMPARE(VerdictFromKeyword(keyword), std::optional<Verdict>(Verdict(i)));
    }
    QCOMPARE(VerdictFromKeyword(u"crcx"), std::nullopt);
    QCOMPARE(ModbusExceptionName(0x02), QStringLiteral("ILLEGAL DATA ADDRESS"));
    QCOMPARE(ModbusExceptionName(0x0C), QString());
}

void TestTraffic::logLine() {
    TrafficRecord r;
    r.utcMs = QDateTime(QDate(2026, 12, 10), QTime(8, 15, 2, 123), Qt::UTC).toMSecsSinceEpoch();
    r.direction = TrafficDirection::Tx;
    r.verdict = Verdict::Sent;
    r.bytes = Hex("01030000000AC5CD");
    QCOMPARE(TrafficLogLine(r), QStringLiteral("2026-12-10T08:15:02.123Z tx sent 01 03 00 00 00 0A C5 CD"));
    r.direction = TrafficDirection::Rx;
    r.verdict = Verdict::Crc;
    r.bytes = Hex("0a0b");
    QCOMPARE(TrafficLogLine(r), QStringLiteral("2026-12-10T08:15:02.123Z rx crc 0A 0B"));
    r.direction = TrafficDirection::Missing;
    r.verdict = Verdict::NoReply;
    r.utcMs = 0;
    QCOMPARE(TrafficLogLine(r), QStringLiteral("1970-01-01T00:00:00.000Z -- noreply"));
}

void TestTraffic::bufferKeepsTheNewest() {
    TrafficBuffer buffer(3);
    for (int i = 1; i <= 5; ++i) {
        TrafficRecord r;
        r.monotonicUs = i;
        buffer.Append(r);
    }
    QCOMPARE(buffer.Size(), 3);
    QCOMPARE(buffer.Dropped(), 2);
    QCOMPARE(buffer.At(0).monotonicUs, 3);
    QCOMPARE(buffer.At(2).monotonicUs, 5);
    buffer.Clear();
    QCOMPARE(buffer.Size(), 0);
    QCOMPARE(buffer.Dropped(), 0);
}

// The bytes held are bounded too: long chunks push out the oldest records before the count does.
void TestTraffic::bufferBoundedByBytes() {
    TrafficBuffer buffer(100, 1000);
    for (int i = 1; i <= 10; ++i) {
        TrafficRecord r;
        r.monotonicUs = i;
        r.bytes = QByteArray(300, char(i));
        buffer.Append(r);
    }
    QCOMPARE(buffer.Size(), 3);
    QCOMPARE(buffer.Bytes(), 900);
    QCOMPARE(buffer.Dropped(), 7);
    QCOMPARE(buffer.At(0).monotonicUs, 8);
    QCOMPARE(buffer.At(2).monotonicUs, 10);
    // A record larger than the bound is kept, alone; short ones then fill up again.
    TrafficRecord big;
    big.bytes = QByteArray(1500, 'x');
    buffer.Append(big);
    QCOMPARE(buffer.Size(), 1);
    QCOMPARE(buffer.Dropped(), 10);
    TrafficRecord empty;
    buffer.Append(empty);
    QCOMPARE(buffer.Size(), 1);
    QCOMPARE(buffer.Bytes(), 0);
    buffer.Append(empty);
    QCOMPARE(buffer.Size(), 2);

    // A babbling line's largest chunks: the panel's buffer holds at most 32 MiB of them.
    TrafficBuffer panel;
    TrafficRecord chunk;
    chunk.bytes = QByteArray(2048, '\x55'); // shared by every copy: the test itself stays small
    for (int i = 0; i < 20000; ++i)
        panel.Append(chunk);
    QCOMPARE(panel.Bytes(), 32 * 1024 * 1024);
    QCOMPARE(panel.Size(), 16384);
    QCOMPARE(panel.Dropped(), 20000 - 16384);
}

// Counts come from the poll cycle's own records: a reply of each kind to four polls of a device.
void TestTraffic::statisticsCount() {
    Line line;
    PollCycle cycle(line.Link());
    for (const QByteArray& reply : {kGoodReply, kGoodReply.left(10), kGoodReply + QByteArray(300, 0)}) {
        cycle.Tick(true, 1);
        Deliver(cycle, reply);
    }
    cycle.Tick(true, 1); // unanswered
    cycle.Tick(true, 1);
    TrafficStats stats;
    for (const TrafficRecord& r : line.records)
        stats.Add(r);
    QCOMPARE(stats.Polls(), 5);
    QCOMPARE(stats.Requests(), 5);
    QCOMPARE(stats.Count(Verdict::Accepted), 2);
    QCOMPARE(stats.Count(Verdict::Short), 1);
    QCOMPARE(stats.Count(Verdict::NoReply), 1); // the short reply was an answer, though refused
    QCOMPARE(stats.Deliveries(), 3);
    QCOMPARE(stats.RefusedDeliveries(), 1);
    QCOMPARE(*stats.AcceptedShare(), 0.4);
    QCOMPARE(stats.LastProblem()->verdict, Verdict::NoReply);
    QCOMPARE(stats.Responses().count, 3);
    // A bus scan's traffic is the scan's: no poll, no count, no last problem of the panel's polling.
    for (const auto& [direction, verdict] : {std::pair{TrafficDirection::Tx, Verdict::Sent},
                                             {TrafficDirection::Rx, Verdict::Accepted},
                                             {TrafficDirection::Rx, Verdict::Crc}}) {
        TrafficRecord scan;
        scan.source = TrafficSource::BusScan;
        scan.direction = direction;
        scan.function = 0x03;
        scan.verdict = verdict;
        stats.Add(scan);
    }
    QCOMPARE(stats.Polls(), 5);
    QCOMPARE(stats.Requests(), 5);
    QCOMPARE(*stats.AcceptedShare(), 0.4);
    QCOMPARE(stats.Count(Verdict::Accepted), 2);
    QCOMPARE(stats.Count(Verdict::Crc), 0);
    QCOMPARE(stats.LastProblem()->verdict, Verdict::NoReply);
    stats.Reset();
    QCOMPARE(stats.Polls(), 0);
    QVERIFY(!stats.AcceptedShare());
    QVERIFY(!stats.LastProblem());
    QCOMPARE(stats.Responses().count, 0);
}

// Response times in milliseconds, one request each; a second chunk for the same request is not timed.
void TestTraffic::responseTimes_data() {
    QTest::addColumn<QList<int>>("ms");
    QTest::addColumn<QList<qint64>>("expected"); // last, min, mean, p95, max in microseconds
    QList<int> ramp;
    for (int i = 1; i <= 100; ++i)
        ramp << 100 + i;
    QTest::newRow("one") << QList<int>{105} << QList<qint64>{105000, 105000, 105000, 105000, 105000};
    QTest::newRow("ramp of 100") << ramp << QList<qint64>{200000, 101000, 150500, 195009, 200000};
    QTest::newRow("one late in twenty")
        << (QList<int>(19, 102) << 900) << QList<qint64>{900000, 102000, 141900, 102009, 900000};
    QTest::newRow("beyond the histogram")
        << QList<int>{5000, 6000} << QList<qint64>{6000000, 5000000, 5500000, 6000000, 6000000};
}

void TestTraffic::responseTimes() {
    QFETCH(QList<int>, ms);
    QFETCH(QList<qint64>, expected);
    TrafficStats stats;
    qint64 t = 1000000;
    for (int m : ms) {
        TrafficRecord tx;
        tx.monotonicUs = t;
        stats.Add(tx);
        TrafficRecord rx;
        rx.direction = TrafficDirection::Rx;
        rx.verdict = Verdict::Accepted;
        rx.requestUs = t;
        rx.monotonicUs = t + m * 1000;
        stats.Add(rx);
        rx.monotonicUs += 5000; // the same request's next chunk
        stats.Add(rx);
        t += 1000000;
    }
    const TrafficStats::ResponseTimes r = stats.Responses();
    QCOMPARE(r.count, ms.size());
    QCOMPARE((QList<qint64>{r.lastUs, r.minUs, r.meanUs, r.p95Us, r.maxUs}), expected);
}

// A chunk cut at the port's receive size, or handed on as the port failed, did not end by the line's
// silence: its request has no response time. Figures less the silence interval never go below zero.
void TestTraffic::responseTimeOnlyFromChunksEndedBySilence() {
    Line line;
    PollCycle cycle(line.Link());
    for (bool silence : {false, true, false}) {
        cycle.Tick(true, 1);
        cycle.Receive(kGoodReply.constData(), quint16(kGoodReply.size()), silence);
    }
    QCOMPARE(line.records[1].endedBySilence, false);
    QCOMPARE(line.records[3].endedBySilence, true);
    TrafficStats stats;
    for (const TrafficRecord& r : line.records)
        stats.Add(r);
    QCOMPARE(stats.Responses().count, 1);
    QCOMPARE(stats.Deliveries(), 3);

    // Bytes that began before the request end their chunk sooner than the interval after it.
    TrafficStats times;
    for (int ms : {80, 150}) {
        TrafficRecord tx;
        tx.monotonicUs = 1000000;
        times.Add(tx);
        TrafficRecord rx;
        rx.direction = TrafficDirection::Rx;
        rx.requestUs = tx.monotonicUs;
        rx.monotonicUs = tx.monotonicUs + ms * 1000;
        times.Add(rx);
    }
    const TrafficStats::ResponseTimes less = times.Responses(100000);
    QCOMPARE(less.count, 2);
    QCOMPARE((QList<qint64>{less.lastUs, less.minUs, less.meanUs, less.p95Us, less.maxUs}),
             (QList<qint64>{50000, 0, 15000, 50000, 50000}));
    QCOMPARE(TrafficStats().Responses(100000).minUs, 0);
}

QTEST_APPLESS_MAIN(TestTraffic)
#include "tst_Traffic.moc"
