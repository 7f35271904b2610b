// Framing by length: the serial component hands an expected reply on as soon as it is complete, after
// 3.5 characters of silence, or at the reply's time-out, on every port layer alike (scripted, a
// pseudo-terminal, a serial device server on the loopback address); framing by silence stays as it was.
#include "CommRecorder.h"
#include "LoopbackServer.h"
#include "PtyPair.h"
#include "ScriptedCommPort.h"
#include "SerialComm.h"

#include <QElapsedTimer>
#include <QTest>

#include <unistd.h>

#include <memory>

namespace {

// A reply of the Z7 to a read of ten registers at address 1: its own byte count says 20.
QByteArray readReply() {
    QByteArray r("\x01\x03\x14", 3);
    r += pattern(20);
    r += QByteArray("\x5a\xa5", 2); // the CRC is the poller's to judge, not the component's
    return r;
}

// One way to reach the line: the test plays the device on its other side.
struct Line {
    QString kind;
    TScriptedCommPort* scripted = nullptr;
    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<LoopbackServer> server;
    std::unique_ptr<TComm> comm;

    explicit Line(const QString& k) : kind(k) {
        QString name = QStringLiteral("COM4");
        if (kind == "scripted") {
            auto port = std::make_unique<TScriptedCommPort>();
            scripted = port.get();
            comm = std::make_unique<TComm>(std::move(port));
        } else if (kind == "pty") {
            pty = std::make_unique<PtyPair>();
            name = pty->name;
            comm = std::make_unique<TComm>();
        } else {
            server = std::make_unique<LoopbackServer>();
            name = server->Name();
            comm = std::make_unique<TComm>();
        }
        useLayoutSettings(*comm, name);
    }
    bool Open() {
        comm->OpenPort();
        return !server || server->Accept();
    }
    bool Feed(const QByteArray& bytes) {
        if (scripted) {
            scripted->Feed(bytes);
            return true;
        }
        return pty ? pty->WriteMaster(bytes) : server->Write(bytes);
    }
};

} // namespace

class TestFraming : public QObject {
    Q_OBJECT

private slots:
    void frameSilence_data();
    void frameSilence();
    void replies_data();
    void replies();
    void nextRequestWaitsForNothingLeftOver();
};

void TestFraming::frameSilence_data() {
    QTest::addColumn<quint32>("baud");
    QTest::addColumn<TComm::TParity>("parity");
    QTest::addColumn<TComm::TStopBits>("stopBits");
    QTest::addColumn<qint64>("us");
    // 3.5 characters of 11 bits (8_N_2, 8_E_1, 8_O_1), rounded up; never under 1750 us.
    QTest::newRow("19200 8_N_2") << 19200u << TComm::None << TComm::_2 << qint64(2006);
    QTest::newRow("9600 8_E_1") << 9600u << TComm::Even << TComm::_1 << qint64(4011);
    QTest::newRow("1200 8_N_1, 10 bits") << 1200u << TComm::None << TComm::_1 << qint64(29167);
    QTest::newRow("1200 8_N_1.5") << 1200u << TComm::None << TComm::_1_5 << qint64(30625);
    QTest::newRow("38400 8_O_1: the floor") << 38400u << TComm::Odd << TComm::_1 << qint64(1750);
    QTest::newRow("rate 0: the floor") << 0u << TComm::None << TComm::_2 << qint64(1750);
}

void TestFraming::frameSilence() {
    QFETCH(quint32, baud);
    QFETCH(TComm::TParity, parity);
    QFETCH(TComm::TStopBits, stopBits);
    QFETCH(qint64, us);
    TComm comm(std::make_unique<TScriptedCommPort>());
    comm.SetBaudRate(baud);
    comm.SetParity(parity);
    comm.SetStopBits(stopBits);
    QCOMPARE(comm.FrameSilenceUs(), us);
}

void TestFraming::replies_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<TFraming>("framing");
    QTest::addColumn<bool>("expect"); // whether ExpectReply is called before the bytes come
    QTest::addColumn<TReplyShape>("shape");
    QTest::addColumn<QByteArrayList>("bursts"); // what the device sends, 30 ms apart
    QTest::addColumn<QList<int>>("sizes");
    QTest::addColumn<QList<TChunkEnd>>("ends");
    QTest::addColumn<int>("noReplies");
    // When the last event (chunk or no reply) is raised, in ms after the last burst was sent (after
    // ExpectReply when none is sent). The form's rule would take over 100 ms for any chunk: a chunk
    // within 80 ms was cut by this rule, not that one.
    QTest::addColumn<int>("earliestMs");
    QTest::addColumn<int>("latestMs");

    const TReplyShape read10 = TReplyShape::Read(1, 3, 10);
    const QByteArray reply = readReply();
    QByteArray lyingCount = reply;
    lyingCount[2] = char(0x30);
    const QByteArray exception("\x01\x83\x02\xc0\xf1", 5);
    const QByteArray echo("\x01\x06\x00\x01\x00\x64\xd9\xe1", 8);
    const QByteArray noise("\x00\xfe\x03", 3); // a turning bus, and a byte like a function code
    using E = TChunkEnd;
    using B = QByteArrayList;

    for (const QString line : {"scripted", "pty", "tcp"}) {
        auto row = [&](const char* what) -> QTestData& {
            return QTest::addRow("%s: %s", qPrintable(line), what) << line;
        };
        row("read complete at its length") << TFraming::Length << true << read10 << B{reply} << QList<int>{25}
                                           << QList<E>{E::Length} << 0 << 0 << 80;
        row("short reply ends at silence") << TFraming::Length << true << read10 << B{reply.left(20)}
                                           << QList<int>{20} << QList<E>{E::Silence} << 0 << 1 << 80;
        row("over-long reply: the rest follows at silence")
            << TFraming::Length << true << read10 << B{reply + "\x11\x22\x33"} << QList<int>{25, 3}
            << QList<E>{E::Length, E::Silence} << 0 << 1 << 80;
        row("noise before the reply goes first")
            << TFraming::Length << true << read10 << B{noise + reply} << QList<int>{3, 25}
            << QList<E>{E::Noise, E::Length} << 0 << 0 << 80;
        row("noise, silence, then the reply: still expected")
            << TFraming::Length << true << read10 << B{noise, reply} << QList<int>{3, 25}
            << QList<E>{E::Noise, E::Length} << 0 << 0 << 80;
        row("noise alone: no reply at the time-out")
            << TFraming::Length << true << read10 << B{noise} << QList<int>{3} << QList<E>{E::Noise} << 1
            << 250 << 1500;
        row("exception: 5 bytes") << TFraming::Length << true << read10 << B{exception} << QList<int>{5}
                                  << QList<E>{E::Length} << 0 << 0 << 80;
        row("write echo: 8 bytes") << TFraming::Length << true << TReplyShape::WriteEcho(1, 6) << B{echo}
                                   << QList<int>{8} << QList<E>{E::Length} << 0 << 0 << 80;
        row("the reply's own count is not followed") << TFraming::Length << true << read10 << B{lyingCount}
                                                     << QList<int>{25} << QList<E>{E::Length} << 0 << 0 << 80;
        row("nothing at all: no reply at the time-out")
            << TFraming::Length << true << read10 << B{} << QList<int>{} << QList<E>{} << 1 << 290 << 1500;
        row("bytes nobody expects end at silence") << TFraming::Length << false << read10 << B{reply}
                                                   << QList<int>{25} << QList<E>{E::Silence} << 0 << 1 << 80;
        row("framing by silence: the form's 100 ms rule")
            << TFraming::Silence << true << read10 << B{reply} << QList<int>{25} << QList<E>{E::Silence} << 0
            << 100 << 1500;
    }
}

void TestFraming::replies() {
    QFETCH(QString, line);
    QFETCH(TFraming, framing);
    QFETCH(bool, expect);
    QFETCH(TReplyShape, shape);
    QFETCH(QByteArrayList, bursts);
    QFETCH(QList<int>, sizes);
    QFETCH(QList<TChunkEnd>, ends);
    QFETCH(int, noReplies);
    QFETCH(int, earliestMs);
    QFETCH(int, latestMs);

    Line l(line);
    TComm& comm = *l.comm;
    comm.SetFraming(framing);
    comm.SetReplyTimeout(300);
    Recorder rec(comm);
    QElapsedTimer clock;
    qint64 lastEventUs = -1;
    int noReply = 0;
    connect(&comm, &TComm::OnReceiveData, this, [&] { lastEventUs = clock.nsecsElapsed() / 1000; });
    connect(&comm, &TComm::OnNoReply, this, [&](QObject* sender) {
        QCOMPARE(sender, &comm);
        ++noReply;
        lastEventUs = clock.nsecsElapsed() / 1000;
    });
    QVERIFY(l.Open());
    QTest::qWait(50); // the port settles before the request goes out
    if (expect)
        comm.ExpectReply(shape);
    clock.start();
    for (qsizetype i = 0; i < bursts.size(); ++i) {
        if (i) {
            ::usleep(30 * 1000);
            clock.start();
        }
        QVERIFY(l.Feed(bursts[i]));
    }
    QTRY_VERIFY_WITH_TIMEOUT(rec.chunks.size() >= sizes.size() && noReply >= noReplies, 3000);
    const qint64 lastUs = lastEventUs;
    QTest::qWait(400); // nothing more follows, no late no-reply either
    QCOMPARE(rec.sizes(), sizes);
    QCOMPARE(rec.ends(), ends);
    QCOMPARE(rec.received(), bursts.join());
    QCOMPARE(noReply, noReplies);
    QVERIFY2(lastUs >= qint64(earliestMs) * 1000 && lastUs < qint64(latestMs) * 1000,
             qPrintable(QStringLiteral("last event after %1 us").arg(lastUs)));
    QVERIFY(!comm.Receiving());
}

// The rest of an over-long reply is still gathered when the next request arms its expectation: it is
// noise to the next reply, which comes whole at its length behind it.
void TestFraming::nextRequestWaitsForNothingLeftOver() {
    Line l(QStringLiteral("scripted"));
    TComm& comm = *l.comm;
    comm.SetFraming(TFraming::Length);
    // A slow line's 3.5 characters (350 ms) leave the owner time to ask for the next reply.
    comm.SetBaudRate(110);
    Recorder rec(comm);
    QVERIFY(l.Open());
    const TReplyShape shape = TReplyShape::Read(1, 3, 10);
    comm.ExpectReply(shape);
    // Reply, stray bytes, then at once (before any silence) the next request's reply.
    l.scripted->Feed(readReply() + "\x07\x07");
    QTRY_COMPARE_WITH_TIMEOUT(rec.chunks.size(), 1, 2000);
    comm.ExpectReply(TReplyShape::WriteEcho(1, 6));
    l.scripted->Feed(QByteArray("\x01\x06\x00\x01\x00\x64\xd9\xe1", 8));
    QTRY_COMPARE_WITH_TIMEOUT(rec.chunks.size(), 3, 2000);
    QTest::qWait(100);
    QCOMPARE(rec.sizes(), (QList<int>{25, 2, 8}));
    QCOMPARE(rec.ends(), (QList<TChunkEnd>{TChunkEnd::Length, TChunkEnd::Noise, TChunkEnd::Length}));
}

QTEST_GUILESS_MAIN(TestFraming)
#include "tst_Framing.moc"
