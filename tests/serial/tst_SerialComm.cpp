#include "CommRecorder.h"
#include "PosixCommPort.h"
#include "PtyPair.h"
#include "ScriptedCommPort.h"
#include "SerialComm.h"
#include "SerialDriverDouble.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMetaProperty>
#include <QTemporaryFile>
#include <QTest>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <functional>
#include <optional>

class TestSerialComm : public QObject {
    Q_OBJECT

private slots:
    // Pseudo-terminal pairs: real bytes and the chunking rule.
    void replyIsOneChunkFollowedByZero();
    void everyByteValueArrivesUnchanged();
    void silenceSplitsChunks_data();
    void silenceSplitsChunks();
    void longBurstIsCutAt2048();
    void totalTimeoutBoundsARead();
    void sendDataReachesTheLineInOrder();
    void closeWhileWaitingRaisesNothing();
    void otherSideClosedGivesOneHangup_data();
    void otherSideClosedGivesOneHangup();
    void openFailures_data();
    void openFailures();
    void openTwiceKeepsThePortWorking();
    void heldPortCanBeOpenedOnceReleased();
    void destroyingAnOpenComponentClosesIt();
    void termiosFromLineRecord_data();
    void termiosFromLineRecord();
    void lineSettingsReachTheTerminal_data();
    void lineSettingsReachTheTerminal();
    void refusedBaudRateStillOpens_data();
    void refusedBaudRateStillOpens();
    void rtsOnSendUsesTheDriversRs485Mode_data();
    void rtsOnSendUsesTheDriversRs485Mode();

    // Marked input of a real serial line, which a pseudo-terminal never produces.
    void markedInputDecoding_data();
    void markedInputDecoding();

    // Scripted port layer: what a pseudo-terminal cannot show.
    void openAppliesSettingsInOrder();
    void lineFlagWord_data();
    void lineFlagWord();
    void equalPropertyWritesReachNothing();
    void parityIsStoredOnly();
    void commNameTakesEffectAtNextOpen();
    void lineErrorKeepsTheBytes();
    void modemEvents_data();
    void modemEvents();
    void failingCalls_data();
    void failingCalls();
    void sendDataRefused();
    void busyOwnerLosesNothing();
    void quickBlocksGiveOneEmptyNotice();
    void closeDuringWriteRaisesNothing();
    void eventsWithoutHandlersFreeTheirBlocks();
    void receivingUntilTheChunkIsRaised();
};

void TestSerialComm::replyIsOneChunkFollowedByZero() {
    PtyPair pty;
    TComm comm;
    useLayoutSettings(comm, pty.name);
    Recorder rec(comm);
    comm.OpenPort();
    const QByteArray reply = pattern(25);
    QVERIFY(pty.WriteMaster(reply));
    QTRY_COMPARE_WITH_TIMEOUT(rec.chunks.size(), 1, 2000);
    QTest::qWait(200);
    QCOMPARE(rec.sizes(), QList<int>{25});
    QCOMPARE(rec.chunks[0].bytes, reply);
    QVERIFY(rec.chunks[0].zeroAfter);
    QCOMPARE(rec.ends(), QList<TChunkEnd>{TChunkEnd::Silence});
}

void TestSerialComm::everyByteValueArrivesUnchanged() {
    // 0xFF, NUL, XON and XOFF are ordinary data in a Modbus reply.
    PtyPair pty;
    TComm comm;
    useLayoutSettings(comm, pty.name);
    Recorder rec(comm);
    comm.OpenPort();
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    all += QByteArray("\xff\xff\x00\xff", 4);
    QVERIFY(pty.WriteMaster(all));
    QTRY_COMPARE_WITH_TIMEOUT(rec.received().size(), all.size(), 2000);
    QCOMPARE(rec.received(), all);
    QCOMPARE(rec.chunks.size(), 1);
    QVERIFY(rec.errors.isEmpty());
}

void TestSerialComm::silenceSplitsChunks_data() {
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<QList<int>>("sizes");
    QTest::newRow("two replies 20 ms apart share a chunk") << 20 << QList<int>{16};
    QTest::newRow("silence of 250 ms splits a reply") << 250 << QList<int>{8, 8};
}

void TestSerialComm::silenceSplitsChunks() {
    QFETCH(int, gapMs);
    QFETCH(QList<int>, sizes);
    PtyPair pty;
    TComm comm;
    useLayoutSettings(comm, pty.name);
    Recorder rec(comm);
    comm.OpenPort();
    QVERIFY(pty.WriteMaster(pattern(8)));
    ::usleep(useconds_t(gapMs) * 1000);
    QVERIFY(pty.WriteMaster(pattern(8)));
    QTRY_COMPARE_WITH_TIMEOUT(rec.received().size(), 16, 2000);
    QTest::qWait(200);
    QCOMPARE(rec.sizes(), sizes);
}

void TestSerialComm::longBurstIsCutAt2048() {
    PtyPair pty;
    TComm comm;
    useLayoutSettings(comm, pty.name);
    Recorder rec(comm);
    comm.OpenPort();
    const QByteArray burst = pattern(5000);
    QVERIFY(pty.WriteMaster(burst));
    QTRY_COMPARE_WITH_TIMEOUT(rec.received().size(), 5000, 3000);
    QCOMPARE(rec.sizes(), (QList<int>{2048, 2048, 904}));
    QCOMPARE(rec.received(), burst);
    QCOMPARE(rec.ends(), (QList<TChunkEnd>{TChunkEnd::Full, TChunkEnd::Full, TChunkEnd::Silence}));
}

void TestSerialComm::totalTimeoutBoundsARead() {
    // No interval rule, a total time-out of 300 ms: bytes 50 ms apart end up in one chunk, and a read that
    // runs out empty is issued again rather than ending reception.
    PtyPair pty;
    TComm comm;
    useLayoutSettings(comm, pty.name);
    comm.SetReadIntervalTimeout(0);
    comm.SetReadTotalTimeoutConstant(300);
    Recorder rec(comm);
    comm.OpenPort();
    QTest::qWait(700);
    QVERIFY(pty.WriteMaster("abc"));
    ::usleep(50 * 1000);
    QVERIFY(pty.WriteMaster("def"));
    QTRY_COMPARE_WITH_TIMEOUT(rec.chunks.size(), 1, 2000);
    QCOMPARE(rec.chunks[0].bytes, QByteArray("abcdef"));
    QCOMPARE(rec.ends(), QList<TChunkEnd>{TChunkEnd::TotalTimeout});
}

void TestSerialComm::sendDataReachesTheLineInOrder() {
    PtyPair pty;
    TComm comm;
    useLayoutSettings(comm, pty.name);
    Recorder rec(comm);
    comm.OpenPort();
    QTRY_COMPARE_WITH_TIMEOUT(rec.empties, 1, 2000); // the queue is found empty right after opening
    const QByteArray a("\x01\x03\x00\x00\x00\x0a\xc5\xcd", 8), b(4000, 'b'), c("\xff\x11\x13", 3);
    QVERIFY(comm.SendData(a.constData(), quint16(a.size())));
    QVERIFY(comm.SendData(b.constData(), quint16(b.size())));
    QVERIFY(comm.SendData(c.constData(), quint16(c.size())));
    QCOMPARE(pty.ReadUntilQuiet(150, 150), a + b + c);
    QTRY_VERIFY_WITH_TIMEOUT(rec.empties >= 2, 2000);
}

void TestSerialComm::closeWhileWaitingRaisesNothing() {
    PtyPair pty;
    TComm comm;
    useLayoutSettings(comm, pty.name);
    Recorder rec(comm);
    comm.OpenPort();
    QTRY_COMPARE_WITH_TIMEOUT(rec.empties, 1, 2000);
    QVERIFY(pty.WriteMaster("partial")); // a chunk still waiting for its silence is dropped by the close
    comm.ClosePort();
    QVERIFY(!comm.IsOpen());
    comm.ClosePort();
    QTest::qWait(300);
    QCOMPARE(rec.order, QStringList{"empty"});
}

void TestSerialComm::otherSideClosedGivesOneHangup_data() {
    // A real port's driver has error counters, and once the device is gone that call fails first.
    QTest::addColumn<bool>("driverCounters");
    QTest::newRow("pseudo-terminal") << false;
    QTest::newRow("driver with error counters") << true;
}

void TestSerialComm::otherSideClosedGivesOneHangup() {
    QFETCH(bool, driverCounters);
    PtyPair pty;
    std::optional<TSerialDriverDouble> driver;
    if (driverCounters)
        driver.emplace(pty.slave);
    TComm comm;
    useLayoutSettings(comm, pty.name);
    Recorder rec(comm);
    comm.OpenPort();
    QTRY_COMPARE_WITH_TIMEOUT(rec.empties, 1, 2000);
    QVERIFY(pty.WriteMaster("last words"));
    QTest::qWait(20);
    pty.CloseMaster();
    QTRY_COMPARE_WITH_TIMEOUT(rec.hangups, 1, 2000);
    QTest::qWait(300);
    // What arrived before the device vanished comes first, and the owner hears of it once.
    QCOMPARE(rec.order, (QStringList{"empty", "data10", "hangup"}));
    QCOMPARE(rec.received(), QByteArray("last words"));
    QCOMPARE(rec.ends(), QList<TChunkEnd>{TChunkEnd::Hangup});
    // The port stays open until the owner closes it.
    QVERIFY(comm.IsOpen());
    QCOMPARE(openError(comm), QStringLiteral("This serial port already opened"));
    comm.ClosePort();
    QVERIFY(!comm.IsOpen());
}

void TestSerialComm::openFailures_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << "missing"
                             << "Error opening serial port";
    QTest::newRow("empty name") << "empty"
                                << "Error opening serial port";
    QTest::newRow("held by another program") << "held"
                                             << "Error opening serial port";
    QTest::newRow("not a terminal") << "file"
                                    << "Cannot setup comm buffer";
}

void TestSerialComm::openFailures() {
    QFETCH(QString, kind);
    QFETCH(QString, message);
    PtyPair pty;
    QTemporaryFile file;
    QVERIFY(file.open());
    int holder = -1;
    QString name;
    if (kind == "missing") {
        name = QStringLiteral("/dev/z7-no-such-port");
    } else if (kind == "held") {
        name = pty.name;
        holder = ::open(pty.name.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        QVERIFY(holder >= 0);
        QCOMPARE(::flock(holder, LOCK_EX | LOCK_NB), 0);
    } else if (kind == "file") {
        name = file.fileName();
    }
    TComm comm;
    comm.SetCommName(name);
    Recorder rec(comm);
    const int fdsBefore = countEntries("/proc/self/fd");
    QCOMPARE(openError(comm), message);
    QVERIFY(!comm.IsOpen());
    QCOMPARE(countEntries("/proc/self/fd"), fdsBefore);
    QVERIFY(!comm.SendData("x", 1));
    QTest::qWait(50);
    QVERIFY(rec.order.isEmpty());
    if (holder >= 0)
        ::close(holder);
}

void TestSerialComm::openTwiceKeepsThePortWorking() {
    PtyPair pty;
    TComm comm;
    useLayoutSettings(comm, pty.name);
    Recorder rec(comm);
    comm.OpenPort();
    QCOMPARE(openError(comm), QStringLiteral("This serial port already opened"));
    QVERIFY(comm.IsOpen());
    QVERIFY(comm.SendData("ping", 4));
    QCOMPARE(pty.ReadUntilQuiet(150, 150), QByteArray("ping"));
    QVERIFY(pty.WriteMaster("pong"));
    QTRY_COMPARE_WITH_TIMEOUT(rec.received(), QByteArray("pong"), 2000);
}

void TestSerialComm::heldPortCanBeOpenedOnceReleased() {
    // Another instance holding the port is refused, and a later attempt succeeds once it lets go.
    PtyPair pty;
    TComm first, second;
    useLayoutSettings(first, pty.name);
    useLayoutSettings(second, pty.name);
    first.OpenPort();
    QCOMPARE(openError(second), QStringLiteral("Error opening serial port"));
    QVERIFY(!second.IsOpen());
    first.ClosePort();
    QCOMPARE(openError(second), QString());
    QVERIFY(second.IsOpen());
}

void TestSerialComm::destroyingAnOpenComponentClosesIt() {
    PtyPair pty;
    const int fdsBefore = countEntries("/proc/self/fd");
    const int threadsBefore = countEntries("/proc/self/task");
    {
        TComm comm;
        useLayoutSettings(comm, pty.name);
        Recorder rec(comm);
        comm.OpenPort();
        QVERIFY(pty.WriteMaster("unread"));
        QVERIFY(comm.SendData("bye", 3));
        QCOMPARE(countEntries("/proc/self/task"), threadsBefore + 2);
    }
    QCOMPARE(countEntries("/proc/self/fd"), fdsBefore);
    QCOMPARE(countEntries("/proc/self/task"), threadsBefore);
    QCoreApplication::processEvents(); // notifications posted before the end must not reach a dead component
    TComm again;
    useLayoutSettings(again, pty.name);
    QCOMPARE(openError(again), QString());
}

void TestSerialComm::markedInputDecoding_data() {
    // Only what the kernel hands over in PARMRK mode: 0xFF doubled, breaks marked, and bytes with a
    // parity or framing error marked alike (with input parity checking on, which alone marks them).
    QTest::addColumn<QByteArrayList>("reads");
    QTest::addColumn<bool>("ignoreNull");
    QTest::addColumn<char>("replaceWith"); // 0: keep the byte received in error
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<quint32>("flags");
    const QByteArray ff("\xff"), z(1, '\0');
    const quint32 badByte = CE_RXPARITY | CE_FRAME;
    QTest::newRow("plain") << QByteArrayList{"\x01\x02\x7f"} << false << '\0' << QByteArray("\x01\x02\x7f")
                           << 0u;
    QTest::newRow("doubled 0xFF") << QByteArrayList{"a" + ff + ff + "b"} << false << '\0'
                                  << QByteArray("a" + ff + "b") << 0u;
    QTest::newRow("doubled 0xFF split")
        << QByteArrayList{"a" + ff, ff + "b"} << false << '\0' << QByteArray("a" + ff + "b") << 0u;
    QTest::newRow("byte in error") << QByteArrayList{"a" + ff + z + "qb"} << false << '\0'
                                   << QByteArray("aqb") << badByte;
    QTest::newRow("mark split over three reads")
        << QByteArrayList{"a" + ff, z, "qb"} << false << '\0' << QByteArray("aqb") << badByte;
    QTest::newRow("0xFF in error") << QByteArrayList{ff + z + ff + "b"} << false << '\0'
                                   << QByteArray(ff + "b") << badByte;
    QTest::newRow("break") << QByteArrayList{"a" + ff + z + z + "b"} << false << '\0' << QByteArray("ab")
                           << CE_BREAK;
    QTest::newRow("error byte replaced")
        << QByteArrayList{"a" + ff + z + "q"} << false << '?' << QByteArray("a?") << badByte;
    QTest::newRow("nulls dropped, 0xFF kept")
        << QByteArrayList{"a" + z + "b" + ff + ff + z} << true << '\0' << QByteArray("ab" + ff) << 0u;
}

void TestSerialComm::markedInputDecoding() {
    QFETCH(QByteArrayList, reads);
    QFETCH(bool, ignoreNull);
    QFETCH(char, replaceWith);
    QFETCH(QByteArray, bytes);
    QFETCH(quint32, flags);
    TParmrkDecoder decoder;
    const TParmrkDecoder::TOptions options{ignoreNull, replaceWith != 0, replaceWith};
    QByteArray out;
    quint32 errors = 0;
    char buf[16];
    // Each read gets only as much room as it has input, as at the end of a chunk; what does not fit
    // must come out of a later call, never past the room given.
    for (const QByteArray& r : reads) {
        const quint32 room = quint32(r.size());
        const quint32 n = decoder.Decode(r.constData(), room, buf, room, options, errors);
        QVERIFY(n <= room);
        out.append(buf, n);
    }
    while (decoder.HasHeld())
        out.append(buf, decoder.Decode(nullptr, 0, buf, 1, options, errors));
    QCOMPARE(out, bytes);
    QCOMPARE(errors, flags);
}

namespace {
void applyChanges(TComm& comm, const QStringList& changes) {
    for (const QString& change : changes) {
        const QStringList kv = change.split('=');
        QVERIFY(comm.setProperty(kv[0].toLatin1().constData(), kv[1]));
    }
}
} // namespace

void TestSerialComm::termiosFromLineRecord_data() {
    // Properties written ("Name=value", in order) over the layout's values, then the terminal's flags.
    QTest::addColumn<QStringList>("changes");
    QTest::addColumn<uint>("cflag");
    QTest::addColumn<uint>("iflag");
    QTest::newRow("layout: 8_N_1, no flow control") << QStringList{} << uint(CS8) << 0u;
    QTest::newRow("7_E_1") << QStringList{"ByteSize=_7", "Parity=Even"} << uint(CS7 | PARENB) << 0u;
    QTest::newRow("5_O_1.5") << QStringList{"ByteSize=_5", "Parity=Odd", "StopBits=_1_5"}
                             << uint(CS5 | PARENB | PARODD | CSTOPB) << 0u;
    QTest::newRow("6_M_2") << QStringList{"ByteSize=_6", "Parity=Mark", "StopBits=_2"}
                           << uint(CS6 | PARENB | PARODD | CMSPAR | CSTOPB) << 0u;
    QTest::newRow("8_S_1") << QStringList{"Parity=Space"} << uint(CS8 | PARENB | CMSPAR) << 0u;
    QTest::newRow("software flow control both ways")
        << QStringList{"Outx_XonXoffFlow=true", "Inx_XonXoffFlow=true"} << uint(CS8) << uint(IXON | IXOFF);
    QTest::newRow("CTS flow, parity checked")
        << QStringList{"Outx_CtsFlow=true", "ParityCheck=true"} << uint(CS8 | CRTSCTS) << uint(INPCK);
    QTest::newRow("RTS handshake") << QStringList{"RtsControl=RtsHandshake"} << uint(CS8 | CRTSCTS) << 0u;
}

void TestSerialComm::termiosFromLineRecord() {
    QFETCH(QStringList, changes);
    QFETCH(uint, cflag);
    QFETCH(uint, iflag);
    TComm comm(std::make_unique<TScriptedCommPort>());
    useLayoutSettings(comm, QStringLiteral("COM4"));
    applyChanges(comm, changes);
    termios tio{};
    tio.c_lflag = ICANON | ECHO | ISIG;
    tio.c_iflag = ICRNL | IGNPAR | ISTRIP;
    SetTermiosFromCommState(comm.LineState(), true, tio);
    const uint format = CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS;
    QCOMPARE(uint(tio.c_cflag) & format, cflag);
    QCOMPARE(uint(tio.c_iflag) & uint(IXON | IXOFF | INPCK), iflag);
    // Raw bytes with errors marked, a carrier drop reported rather than hanging the line up.
    QCOMPARE(uint(tio.c_iflag) & uint(PARMRK | IGNPAR | ISTRIP | ICRNL), uint(PARMRK));
    QVERIFY((tio.c_cflag & (CLOCAL | CREAD)) == (CLOCAL | CREAD));
    QVERIFY(!(tio.c_lflag & (ICANON | ECHO | ISIG)));
    QCOMPARE(int(tio.c_cc[VMIN]), 1);
}

void TestSerialComm::lineSettingsReachTheTerminal_data() {
    // A pseudo-terminal keeps 8 data bits and no parity enable whatever is asked, so only the bits it
    // does keep are looked at here; they show whether and when the record reached the terminal.
    QTest::addColumn<QStringList>("changes");
    QTest::addColumn<uint>("cflag");
    QTest::addColumn<uint>("iflag");
    QTest::addColumn<quint32>("rate"); // input and output alike
    QTest::newRow("layout") << QStringList{} << 0u << 0u << 19200u;
    QTest::newRow("two stop bits at once") << QStringList{"StopBits=_2"} << uint(CSTOPB) << 0u << 19200u;
    QTest::newRow("parity alone waits") << QStringList{"Parity=Odd"} << 0u << 0u << 19200u;
    QTest::newRow("parity rides with the next line write")
        << QStringList{"Parity=Odd", "BaudRate=9600"} << uint(PARODD) << 0u << 9600u;
    QTest::newRow("software flow control")
        << QStringList{"Outx_XonXoffFlow=true"} << 0u << uint(IXON) << 19200u;
    QTest::newRow("rate without a constant") << QStringList{"BaudRate=250000"} << 0u << 0u << 250000u;
    QTest::newRow("standard rate after one without a constant")
        << QStringList{"BaudRate=250000", "BaudRate=9600"} << 0u << 0u << 9600u;
}

void TestSerialComm::lineSettingsReachTheTerminal() {
    QFETCH(QStringList, changes);
    QFETCH(uint, cflag);
    QFETCH(uint, iflag);
    QFETCH(quint32, rate);
    PtyPair pty;
    TComm comm;
    useLayoutSettings(comm, pty.name);
    comm.OpenPort();
    applyChanges(comm, changes);
    termios tio;
    QCOMPARE(::tcgetattr(pty.slave, &tio), 0);
    QCOMPARE(uint(tio.c_cflag) & uint(CSTOPB | PARODD | CMSPAR | CRTSCTS), cflag);
    QCOMPARE(uint(tio.c_iflag) & uint(IXON | IXOFF | INPCK), iflag);
    quint32 input = 0, output = 0;
    QVERIFY(LineSpeeds(pty.slave, input, output));
    QCOMPARE(output, rate);
    QCOMPARE(input, rate);
}

void TestSerialComm::refusedBaudRateStillOpens_data() {
    // Rates the driver refuses (it takes only those with a standard constant), and rate 0, which the
    // port layer refuses itself: on a terminal it means hanging the line up.
    QTest::addColumn<quint32>("baud");
    QTest::addColumn<int>("driverRefusals");
    QTest::newRow("zero") << 0u << 0;
    QTest::newRow("no standard constant") << 12345u << 1;
    QTest::newRow("far too high") << 4000000000u << 1;
}

void TestSerialComm::refusedBaudRateStillOpens() {
    QFETCH(quint32, baud);
    QFETCH(int, driverRefusals);
    PtyPair pty;
    TSerialDriverDouble driver(pty.slave);
    driver.RefuseCustomRates(true);
    quint32 inputBefore = 0, outputBefore = 0;
    QVERIFY(LineSpeeds(pty.slave, inputBefore, outputBefore));
    TComm comm;
    useLayoutSettings(comm, pty.name);
    comm.SetBaudRate(baud);
    Recorder rec(comm);
    QCOMPARE(openError(comm), QString());
    QCOMPARE(driver.RefusedRates(), driverRefusals);
    // The line keeps the rate it had, and works.
    quint32 input = 0, output = 0;
    QVERIFY(LineSpeeds(pty.slave, input, output));
    QCOMPARE(input, inputBefore);
    QCOMPARE(output, outputBefore);
    QVERIFY(pty.WriteMaster("still"));
    QTRY_COMPARE_WITH_TIMEOUT(rec.received(), QByteArray("still"), 2000);
    QVERIFY(comm.SendData("here", 4));
    QCOMPARE(pty.ReadUntilQuiet(150, 150), QByteArray("here"));
}

void TestSerialComm::rtsOnSendUsesTheDriversRs485Mode_data() {
    QTest::addColumn<bool>("supported");
    QTest::newRow("driver with RS-485 mode") << true;
    QTest::newRow("driver without") << false;
}

void TestSerialComm::rtsOnSendUsesTheDriversRs485Mode() {
    // RTS raised only while sending: the driver's RS-485 mode with RTS on send, and the driver's own
    // settings back when another mode is chosen or the port closes.
    QFETCH(bool, supported);
    PtyPair pty;
    TSerialDriverDouble driver(pty.slave);
    driver.SetRs485Supported(supported);
    const quint32 before = SER_RS485_RTS_AFTER_SEND | SER_RS485_RX_DURING_TX;
    driver.SetRs485Flags(before);
    const quint32 onSend = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND | SER_RS485_RX_DURING_TX;
    TComm comm;
    useLayoutSettings(comm, pty.name);
    comm.SetRtsControl(TComm::RtsTransmissionAvailable);
    Recorder rec(comm);
    comm.OpenPort();
    QCOMPARE(driver.Rs485Flags(), supported ? onSend : before);
    QVERIFY(comm.SendData("ping", 4));
    QCOMPARE(pty.ReadUntilQuiet(150, 150), QByteArray("ping"));
    comm.SetBaudRate(9600); // rewriting the record leaves the mode as it is
    QCOMPARE(driver.Rs485Flags(), supported ? onSend : before);
    comm.SetRtsControl(TComm::RtsDisable);
    QCOMPARE(driver.Rs485Flags(), before);
    comm.SetRtsControl(TComm::RtsTransmissionAvailable);
    QCOMPARE(driver.Rs485Flags(), supported ? onSend : before);
    comm.ClosePort();
    QCOMPARE(driver.Rs485Flags(), before);
    QCOMPARE(driver.Rs485Writes(), supported ? 4 : 0);
    QCOMPARE(rec.hangups, 0);
}

// Scripted port layer

namespace {
struct Scripted {
    TScriptedCommPort* port;
    std::unique_ptr<TComm> comm;
    Scripted() {
        auto p = std::make_unique<TScriptedCommPort>();
        port = p.get();
        comm = std::make_unique<TComm>(std::move(p));
    }
};
} // namespace

void TestSerialComm::openAppliesSettingsInOrder() {
    Scripted s;
    s.comm->SetCommName(QStringLiteral("COM4"));
    QCOMPARE(s.port->StateWrites(), 0); // a closed port only stores
    s.comm->OpenPort();
    QCOMPARE(s.port->OpenedName(), QByteArray("COM4")); // the name is used unchanged
    QCOMPARE(s.port->Purges().value(0), 0x000Fu);
    QCOMPARE(s.port->StateWrites(), 1);
    QCOMPARE(s.port->TimeoutWrites(), 1);
    QCOMPARE(s.port->CommTimeouts(), (TCommTimeouts{100, 0, 0, 0, 0}));
    s.comm->ClosePort();
    QVERIFY(!s.port->IsOpen());
    // Stopping the threads empties the receive queue, then the transmit queue.
    const QList<quint32> purges = s.port->Purges();
    QVERIFY(purges.indexOf(0x000Au) > 0);
    QVERIFY(purges.lastIndexOf(0x0005u) > purges.indexOf(0x000Au));
}

void TestSerialComm::lineFlagWord_data() {
    QTest::addColumn<bool>("layout");
    QTest::addColumn<quint32>("flags");
    QTest::addColumn<quint32>("baud");
    QTest::newRow("constructor defaults") << false << 0x1391u << 9600u;
    QTest::newRow("program layout") << true << 0x0091u << 19200u;
}

void TestSerialComm::lineFlagWord() {
    QFETCH(bool, layout);
    QFETCH(quint32, flags);
    QFETCH(quint32, baud);
    Scripted s;
    if (layout)
        useLayoutSettings(*s.comm, QStringLiteral("COM4"));
    s.comm->OpenPort();
    const TCommState st = s.port->LastState();
    QCOMPARE(st.Flags, flags);
    QCOMPARE(st.BaudRate, baud);
    QCOMPARE(int(st.ByteSize), 8);
    QCOMPARE(int(st.Parity), 0);
    QCOMPARE(int(st.StopBits), 0);
    QCOMPARE(int(st.XonLim), 500);
    QCOMPARE(int(st.XoffLim), 500);
    QCOMPARE(int(st.XonChar), 17);
    QCOMPARE(int(st.XoffChar), 19);
}

void TestSerialComm::equalPropertyWritesReachNothing() {
    Scripted s;
    s.comm->OpenPort();
    const QMetaObject* mo = s.comm->metaObject();
    for (int i = QObject::staticMetaObject.propertyCount(); i < mo->propertyCount(); ++i) {
        const QMetaProperty p = mo->property(i);
        QVERIFY(p.write(s.comm.get(), p.read(s.comm.get())));
    }
    QCOMPARE(s.port->StateWrites(), 1);
    QCOMPARE(s.port->TimeoutWrites(), 1);
    // A changed value reaches the open port at once, the whole record each time.
    s.comm->SetBaudRate(115200);
    s.comm->SetReadIntervalTimeout(50);
    QCOMPARE(s.port->StateWrites(), 2);
    QCOMPARE(s.port->LastState().BaudRate, 115200u);
    QCOMPARE(s.port->TimeoutWrites(), 2);
    QCOMPARE(s.port->CommTimeouts().ReadIntervalTimeout, 50u);
}

void TestSerialComm::parityIsStoredOnly() {
    Scripted s;
    s.comm->OpenPort();
    s.comm->SetParity(TComm::Even);
    QCOMPARE(s.port->StateWrites(), 1);
    QCOMPARE(int(s.port->LastState().Parity), 0);
    s.comm->SetStopBits(TComm::_2); // another line property carries the stored parity along
    QCOMPARE(s.port->StateWrites(), 2);
    QCOMPARE(int(s.port->LastState().Parity), 2);
    QCOMPARE(int(s.port->LastState().StopBits), 2);
}

void TestSerialComm::commNameTakesEffectAtNextOpen() {
    Scripted s;
    s.comm->SetCommName(QStringLiteral("COM4"));
    s.comm->OpenPort();
    s.comm->SetCommName(QStringLiteral("COM7"));
    QCOMPARE(s.port->OpenedName(), QByteArray("COM4"));
    s.comm->ClosePort();
    s.comm->OpenPort();
    QCOMPARE(s.port->OpenedName(), QByteArray("COM7"));
}

void TestSerialComm::lineErrorKeepsTheBytes() {
    Scripted s;
    Recorder rec(*s.comm);
    s.comm->OpenPort();
    s.port->Feed("ab");
    s.port->RaiseLineErrors(CE_FRAME);
    s.port->Feed("cd");
    QTRY_COMPARE_WITH_TIMEOUT(rec.errors, QList<quint32>{CE_FRAME}, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(rec.received(), QByteArray("abcd"), 2000);
    QCOMPARE(rec.hangups, 0);
    s.port->Feed("ef"); // reception goes on after a line error
    QTRY_COMPARE_WITH_TIMEOUT(rec.received(), QByteArray("abcdef"), 2000);
}

void TestSerialComm::modemEvents_data() {
    QTest::addColumn<quint32>("raised");
    QTest::addColumn<quint32>("reported");
    QTest::newRow("carrier") << MODEM_EVENT_CARRIER << 8u;
    QTest::newRow("ring") << MODEM_EVENT_RING << 4u;
    QTest::newRow("both") << (MODEM_EVENT_CARRIER | MODEM_EVENT_RING) << 12u;
    QTest::newRow("other bits never pass") << (MODEM_EVENT_RING | 0x10u) << 4u;
}

void TestSerialComm::modemEvents() {
    QFETCH(quint32, raised);
    QFETCH(quint32, reported);
    Scripted s;
    Recorder rec(*s.comm);
    s.comm->OpenPort();
    s.port->RaiseModemEvents(raised);
    QTRY_COMPARE_WITH_TIMEOUT(rec.modem, QList<quint32>{reported}, 2000);
    QTest::qWait(100);
    QCOMPARE(rec.modem, QList<quint32>{reported});
    QCOMPARE(rec.hangups, 0);
}

void TestSerialComm::failingCalls_data() {
    QTest::addColumn<QString>("call");
    QTest::addColumn<TPortStatus>("status");
    QTest::addColumn<QByteArray>("pending"); // fed before the failure, still waiting for its silence
    QTest::addColumn<QStringList>("events"); // after the first empty notice
    QTest::addColumn<quint32>("endPurge");   // what the ending thread discards; 0: nothing
    const quint32 rx = PURGE_RXABORT | PURGE_RXCLEAR, tx = PURGE_TXABORT | PURGE_TXCLEAR;
    QTest::newRow("read fails") << "read" << TPortStatus::Failed << QByteArray("xy")
                                << QStringList{"data2", "hangup"} << rx;
    QTest::newRow("read on a closed descriptor")
        << "read" << TPortStatus::Invalid << QByteArray("xy") << QStringList{} << 0u;
    QTest::newRow("line errors cannot be read")
        << "events" << TPortStatus::Failed << QByteArray() << QStringList{"hangup"} << rx;
    QTest::newRow("line errors cannot be read, chunk pending")
        << "events" << TPortStatus::Failed << QByteArray("xy") << QStringList{"data2", "hangup"} << rx;
    QTest::newRow("events on a closed descriptor")
        << "events" << TPortStatus::Invalid << QByteArray() << QStringList{} << 0u;
    QTest::newRow("write fails") << "write" << TPortStatus::Failed << QByteArray() << QStringList{"hangup"}
                                 << tx;
    QTest::newRow("write on a closed descriptor")
        << "write" << TPortStatus::Invalid << QByteArray() << QStringList{} << 0u;
}

void TestSerialComm::failingCalls() {
    QFETCH(QString, call);
    QFETCH(TPortStatus, status);
    QFETCH(QByteArray, pending);
    QFETCH(QStringList, events);
    QFETCH(quint32, endPurge);
    Scripted s;
    Recorder rec(*s.comm);
    s.comm->OpenPort();
    QTRY_COMPARE_WITH_TIMEOUT(rec.empties, 1, 2000);
    if (!pending.isEmpty()) {
        s.port->Feed(pending);
        QTest::qWait(20); // read, and still short of the 100 ms that end the chunk
    }
    if (call == "read")
        s.port->FailRead(status);
    else if (call == "events")
        s.port->FailEvents(status);
    else {
        s.port->FailWrite(status);
        QVERIFY(s.comm->SendData("w", 1));
    }
    QTest::qWait(300);
    QCOMPARE(rec.order.mid(1), events);
    QCOMPARE(rec.empties, 1); // no empty notice after a failed write
    // The ending thread empties its own queue, unless its descriptor was closed under it.
    const QList<quint32> purges = s.port->Purges().mid(1); // the first one is OpenPort's
    QCOMPARE(purges, endPurge ? QList<quint32>{endPurge} : QList<quint32>{});
    if (call == "write") {
        // The transmit thread has ended: nothing more can be queued, and the port stays open.
        QVERIFY(!s.comm->SendData("z", 1));
    } else {
        // The receive thread has ended: nothing more arrives, but the transmit side still works.
        s.port->Feed("late");
        QVERIFY(s.comm->SendData("z", 1));
        QTRY_COMPARE_WITH_TIMEOUT(s.port->Written(), QByteArray("z"), 2000);
        QTest::qWait(200);
        QVERIFY(!rec.received().contains("late"));
    }
    QVERIFY(s.comm->IsOpen());
    s.comm->ClosePort();
    QVERIFY(!s.port->IsOpen());
}

void TestSerialComm::sendDataRefused() {
    Scripted s;
    QVERIFY(!s.comm->SendData("abc", 3)); // closed
    s.comm->OpenPort();
    QVERIFY(!s.comm->SendData("abc", 0));
    QVERIFY(!s.comm->SendData(nullptr, 3));
    s.comm->ClosePort();
    QVERIFY(!s.comm->SendData("abc", 3));
    QCOMPARE(s.port->Written(), QByteArray());
}

void TestSerialComm::busyOwnerLosesNothing() {
    // While the GUI thread sleeps, chunks wait as notifications of their own, never merged, and those
    // posted before ClosePort are still raised after it.
    Scripted s;
    Recorder rec(*s.comm);
    s.comm->OpenPort();
    s.port->Feed("abc");
    QTest::qSleep(300);
    s.port->Feed("def");
    QTest::qSleep(300);
    s.comm->ClosePort();
    QTRY_COMPARE_WITH_TIMEOUT(rec.chunks.size(), 2, 2000);
    QCOMPARE(rec.chunks[0].bytes, QByteArray("abc"));
    QCOMPARE(rec.chunks[1].bytes, QByteArray("def"));
}

void TestSerialComm::quickBlocksGiveOneEmptyNotice() {
    Scripted s;
    Recorder rec(*s.comm);
    s.comm->OpenPort();
    QTRY_COMPARE_WITH_TIMEOUT(rec.empties, 1, 2000);
    // The first block stalls on the line while the other two are queued behind it.
    s.port->HoldWrites(true);
    QVERIFY(s.comm->SendData("one,", 4));
    QTRY_VERIFY_WITH_TIMEOUT(s.port->WriteWaiting(), 2000);
    QVERIFY(s.comm->SendData("two,", 4));
    QVERIFY(s.comm->SendData("three", 5));
    s.port->HoldWrites(false);
    QTRY_COMPARE_WITH_TIMEOUT(rec.empties, 2, 2000);
    QCOMPARE(s.port->Written(), QByteArray("one,two,three"));
    QTest::qWait(100);
    QCOMPARE(rec.empties, 2);
}

void TestSerialComm::closeDuringWriteRaisesNothing() {
    Scripted s;
    Recorder rec(*s.comm);
    s.comm->OpenPort();
    QTRY_COMPARE_WITH_TIMEOUT(rec.empties, 1, 2000);
    s.port->HoldWrites(true);
    QVERIFY(s.comm->SendData("cut", 3));
    QVERIFY(s.comm->SendData("never", 5));
    QTRY_VERIFY_WITH_TIMEOUT(s.port->WriteWaiting(), 2000);
    s.comm->ClosePort();
    QTest::qWait(100);
    QCOMPARE(rec.order, QStringList{"empty"});
    QCOMPARE(s.port->Written(), QByteArray()); // unsent blocks are discarded, not drained
}

void TestSerialComm::eventsWithoutHandlersFreeTheirBlocks() {
    // Chunks still go through the notification window with nobody listening, and are released there;
    // the leak checker of the sanitizer build watches this.
    Scripted s;
    s.comm->OpenPort();
    s.port->Feed(pattern(3000));
    s.port->RaiseLineErrors(CE_BREAK);
    QTest::qWait(300);
    s.comm->ClosePort();
    s.port->Feed("after close"); // nothing reads it any more
    s.comm.reset();              // pending notifications die with the component
}

// Received bytes are "coming in" from the first byte until their OnReceiveData is raised: while the
// receive thread gathers them, and while the chunk waits in the queue for the owner's thread.
void TestSerialComm::receivingUntilTheChunkIsRaised() {
    Scripted s;
    Recorder rec(*s.comm);
    s.comm->SetReadIntervalTimeout(1000);
    s.comm->OpenPort();
    QVERIFY(!s.comm->Receiving());
    s.port->Feed("abc");
    QTRY_VERIFY_WITH_TIMEOUT(s.comm->Receiving(), 500); // gathered, waiting for a second of silence
    QVERIFY(rec.chunks.isEmpty());
    s.comm->SetReadIntervalTimeout(20);
    // The owner's thread is busy: the chunk, handed on, waits to be raised.
    ::usleep(400 * 1000);
    QVERIFY(s.comm->Receiving());
    QVERIFY(rec.chunks.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(rec.chunks.size(), 1, 2000);
    QVERIFY(!s.comm->Receiving());
    s.comm->ClosePort();
    QVERIFY(!s.comm->Receiving());
}

QTEST_GUILESS_MAIN(TestSerialComm)
#include "tst_SerialComm.moc"
