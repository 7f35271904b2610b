// The serial component reaching its line through a serial device server, played by the test on the
// loopback address: the same chunks and events as on a terminal, the opening aside with its failures,
// the resolved addresses tried in turn and the cancel, and the end of the connection from the other side.
#include "CommRecorder.h"
#include "LoopbackServer.h"
#include "PtyPair.h"
#include "TcpCommPort.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

TTcpEndpoint EndpointOf(const LoopbackServer& server) {
    TTcpEndpoint e;
    e.Length = server.Address(e.Address);
    return e;
}

// A name service that gives fixed addresses, or fails with a fixed code.
TTcpResolver Answering(std::vector<TTcpEndpoint> endpoints, int code = 0) {
    return [endpoints, code](const TTcpAddress&) { return TTcpResolution{code, 0, endpoints}; };
}

// A name service that keeps every caller waiting until the test lets it go (at most 20 s).
struct SilentNameService {
    std::mutex mutex;
    std::condition_variable cv;
    bool released = false;
    int waiting = 0;

    static TTcpResolver Resolver(const std::shared_ptr<SilentNameService>& service) {
        return [service](const TTcpAddress&) {
            std::unique_lock lock(service->mutex);
            ++service->waiting;
            service->cv.wait_for(lock, std::chrono::seconds(20), [&] { return service->released; });
            --service->waiting;
            service->cv.notify_all();
            return TTcpResolution{EAI_AGAIN, 0, {}};
        };
    }
    bool StillWaiting() {
        std::lock_guard lock(mutex);
        return waiting > 0;
    }
    // Lets every caller go and waits until they have returned, so no resolving thread outlives the test.
    void Release() {
        std::unique_lock lock(mutex);
        released = true;
        cv.notify_all();
        cv.wait_for(lock, std::chrono::seconds(5), [&] { return waiting == 0; });
        lock.unlock();
        QTest::qWait(50);
    }
};

// Begins an opening and waits for its end: the error OnOpenDone gave, or "(pending)" when none came.
QString openAside(TComm& comm, int timeoutMs = 6000) {
    QSignalSpy done(&comm, &TComm::OnOpenDone);
    try {
        if (comm.BeginOpenPort())
            return QStringLiteral("(opened at once)");
    } catch (const ECommsError& e) {
        return e.Message();
    }
    if (!done.wait(timeoutMs))
        return QStringLiteral("(pending)");
    return done.at(0).at(1).toString();
}

} // namespace

class TestTcpCommPort : public QObject {
    Q_OBJECT

private slots:
    void portNames_data();
    void portNames();
    void connectsByAddressOrName_data();
    void connectsByAddressOrName();
    void chunking_data();
    void chunking();
    void lineSettingsReachNothing();
    void openFailures_data();
    void openFailures();
    void resolverFailures_data();
    void resolverFailures();
    void addressesInTurn_data();
    void addressesInTurn();
    void cancelledOpening_data();
    void cancelledOpening();
    void otherSideEnds_data();
    void otherSideEnds();
    void connectionOptions();
    void layerFollowsThePortName();
};

void TestTcpCommPort::portNames_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<int>("port");
    QTest::newRow("IPv4") << QByteArray("tcp://192.168.1.20:4001") << true << QByteArray("192.168.1.20")
                          << 4001;
    QTest::newRow("host name, scheme in capitals")
        << QByteArray("TCP://gw-7.plant.local:502") << true << QByteArray("gw-7.plant.local") << 502;
    QTest::newRow("IPv6 in brackets")
        << QByteArray("tcp://[::1]:65535") << true << QByteArray("::1") << 65535;
    QTest::newRow("IPv6 with a zone")
        << QByteArray("tcp://[fe80::1%eth0]:1") << true << QByteArray("fe80::1%eth0") << 1;
    QTest::newRow("IPv6 without brackets") << QByteArray("tcp://::1:502") << false << QByteArray() << 0;
    QTest::newRow("no port") << QByteArray("tcp://gw") << false << QByteArray() << 0;
    QTest::newRow("port 0") << QByteArray("tcp://gw:0") << false << QByteArray() << 0;
    QTest::newRow("port beyond 65535") << QByteArray("tcp://gw:65536") << false << QByteArray() << 0;
    QTest::newRow("port not a number") << QByteArray("tcp://gw:50x") << false << QByteArray() << 0;
    QTest::newRow("signed port") << QByteArray("tcp://gw:+502") << false << QByteArray() << 0;
    QTest::newRow("no host") << QByteArray("tcp://:502") << false << QByteArray() << 0;
    QTest::newRow("path after the port") << QByteArray("tcp://gw:502/x") << false << QByteArray() << 0;
    QTest::newRow("blank in the host") << QByteArray("tcp://g w:502") << false << QByteArray() << 0;
    QTest::newRow("unclosed bracket") << QByteArray("tcp://[::1:502") << false << QByteArray() << 0;
    QTest::newRow("a device") << QByteArray("/dev/ttyUSB0") << false << QByteArray() << 0;
}

void TestTcpCommPort::portNames() {
    QFETCH(QByteArray, name);
    QFETCH(bool, valid);
    QFETCH(QByteArray, host);
    QFETCH(int, port);
    const std::optional<TTcpAddress> parsed = ParseTcpPortName(name);
    QCOMPARE(parsed.has_value(), valid);
    if (valid)
        QCOMPARE(*parsed, (TTcpAddress{host, quint16(port)}));
}

void TestTcpCommPort::connectsByAddressOrName_data() {
    QTest::addColumn<bool>("ipv6");
    QTest::addColumn<bool>("byName");
    QTest::newRow("IPv4 address") << false << false;
    QTest::newRow("IPv6 address in brackets") << true << false;
    // localhost may resolve to ::1 first, where nobody listens: the next address is tried.
    QTest::newRow("host name") << false << true;
}

void TestTcpCommPort::connectsByAddressOrName() {
    QFETCH(bool, ipv6);
    QFETCH(bool, byName);
    LoopbackServer server(ipv6);
    if (ipv6 && server.port == 0)
        QSKIP("no IPv6 loopback on this machine");
    QVERIFY(server.port != 0);
    const QString name = byName ? QStringLiteral("tcp://localhost:%1").arg(server.port) : server.Name();
    TComm comm;
    useLayoutSettings(comm, name);
    Recorder rec(comm);
    QCOMPARE(openError(comm), QString());
    QVERIFY(server.Accept());
    QVERIFY(comm.IsNetworkPort());
    QTRY_COMPARE_WITH_TIMEOUT(rec.empties, 1, 2000);
    QVERIFY(comm.SendData("ping", 4));
    QCOMPARE(server.ReadUntilQuiet(2000, 150), QByteArray("ping"));
    QVERIFY(server.Write("pong"));
    QTRY_COMPARE_WITH_TIMEOUT(rec.received(), QByteArray("pong"), 2000);
    // Closing the port ends the connection in order, so a device server frees its place at once.
    comm.ClosePort();
    char c;
    QCOMPARE(::recv(server.peer, &c, 1, 0), ssize_t(0));
    QCOMPARE(rec.hangups, 0);
}

void TestTcpCommPort::chunking_data() {
    QTest::addColumn<QList<int>>("parts");
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<QList<int>>("sizes");
    QTest::newRow("reply in one segment") << QList<int>{25} << 0 << QList<int>{25};
    QTest::newRow("segments back to back") << QList<int>{10, 15} << 0 << QList<int>{25};
    QTest::newRow("segments 30 ms apart") << QList<int>{10, 15} << 30 << QList<int>{25};
    QTest::newRow("silence of 250 ms inside a reply") << QList<int>{8, 17} << 250 << QList<int>{8, 17};
    QTest::newRow("5000 bytes without a pause") << QList<int>{5000} << 0 << QList<int>{2048, 2048, 904};
}

void TestTcpCommPort::chunking() {
    QFETCH(QList<int>, parts);
    QFETCH(int, gapMs);
    QFETCH(QList<int>, sizes);
    LoopbackServer server;
    TComm comm;
    useLayoutSettings(comm, server.Name());
    Recorder rec(comm);
    comm.OpenPort();
    QVERIFY(server.Accept());
    QByteArray sent;
    for (int i = 0; i < parts.size(); ++i) {
        if (i > 0)
            ::usleep(useconds_t(gapMs) * 1000);
        const QByteArray part = pattern(parts[i] + i).mid(i);
        QVERIFY(server.Write(part));
        sent += part;
    }
    QTRY_COMPARE_WITH_TIMEOUT(rec.received().size(), sent.size(), 3000);
    QTest::qWait(200);
    QCOMPARE(rec.sizes(), sizes);
    QCOMPARE(rec.received(), sent);
    for (const Recorder::Chunk& chunk : rec.chunks)
        QVERIFY(chunk.zeroAfter);
}

void TestTcpCommPort::lineSettingsReachNothing() {
    // The line behind the device server has its own settings; here they are only stored, and every byte
    // value passes unchanged both ways, whatever they say.
    LoopbackServer server;
    TComm comm;
    useLayoutSettings(comm, server.Name());
    comm.SetOutx_XonXoffFlow(true);
    comm.SetIgnoreNullChar(true);
    Recorder rec(comm);
    comm.OpenPort();
    QVERIFY(server.Accept());
    comm.SetBaudRate(4800);
    comm.SetParity(TComm::Even);
    comm.SetStopBits(TComm::_2);
    comm.SetDtrControl(TComm::DtrDisable);
    comm.ApplyLineSettings();
    QCOMPARE(comm.BaudRate(), 4800u);
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    QVERIFY(comm.SendData(all.constData(), quint16(all.size())));
    QCOMPARE(server.ReadUntilQuiet(2000, 150), all);
    QVERIFY(server.Write(all));
    QTRY_COMPARE_WITH_TIMEOUT(rec.received(), all, 2000);
    QVERIFY(rec.errors.isEmpty() && rec.modem.isEmpty());
}

void TestTcpCommPort::openFailures_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("cause");
    QTest::newRow("refused") << "refused" << QString::fromLocal8Bit(std::strerror(ECONNREFUSED));
    QTest::newRow("not a port name") << "malformed"
                                     << "tcp://主机:端口";
    QTest::newRow("unknown host") << "unknown"
                                  << "主机名未知";
    QTest::newRow("silent server") << "silent"
                                   << "3 秒内无应答";
}

void TestTcpCommPort::openFailures() {
    QFETCH(QString, kind);
    QFETCH(QString, cause);
    LoopbackServer server(false, 0);
    QString name = server.Name();
    if (kind == "refused")
        server.StopListening();
    else if (kind == "malformed")
        name = QStringLiteral("tcp://127.0.0.1");
    else if (kind == "unknown")
        name = QStringLiteral("tcp://z7-no-such-host.invalid:502");
    else
        QVERIFY(server.StopAnswering());
    TComm comm;
    useLayoutSettings(comm, name);
    Recorder rec(comm);
    const int fdsBefore = countEntries("/proc/self/fd");
    const int threadsBefore = countEntries("/proc/self/task");
    // The opening runs aside: this thread's event loop turns as usual meanwhile.
    int ticks = 0;
    QTimer tick;
    connect(&tick, &QTimer::timeout, [&ticks] { ++ticks; });
    tick.start(10);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(openAside(comm), QStringLiteral("Error opening serial port"));
    const qint64 took = clock.elapsed();
    QVERIFY(!comm.IsOpen() && !comm.IsOpening());
    QVERIFY2(comm.LastPortError().startsWith(name + QStringLiteral(": ")), qPrintable(comm.LastPortError()));
    QVERIFY2(comm.LastPortError().contains(cause), qPrintable(comm.LastPortError()));
    QCOMPARE(countEntries("/proc/self/fd"), fdsBefore);
    QCOMPARE(countEntries("/proc/self/task"), threadsBefore);
    QVERIFY(!comm.SendData("x", 1));
    if (kind == "silent") {
        QVERIFY2(took >= 2900, qPrintable(QString::number(took)));
        QVERIFY2(ticks >= 50, qPrintable(QString::number(ticks)));
    }
    // The synchronous opening says the same.
    QCOMPARE(openError(comm), QStringLiteral("Error opening serial port"));
    QVERIFY2(comm.LastPortError().contains(cause), qPrintable(comm.LastPortError()));
    QTest::qWait(50);
    QVERIFY(rec.order.isEmpty());
}

void TestTcpCommPort::resolverFailures_data() {
    QTest::addColumn<bool>("hangs"); // the name service never answers in time
    QTest::addColumn<int>("code");   // otherwise its answer
    QTest::addColumn<QString>("cause");
    QTest::newRow("no such host") << false << EAI_NONAME << "主机名未知";
    QTest::newRow("name server silent") << false << EAI_AGAIN << "名称服务器未及时应答";
    QTest::newRow("name server failed") << false << EAI_FAIL << "名称解析失败";
    QTest::newRow("resolver past the limit") << true << 0 << "名称解析 3 秒内无结果";
}

void TestTcpCommPort::resolverFailures() {
    QFETCH(bool, hangs);
    QFETCH(int, code);
    QFETCH(QString, cause);
    auto service = std::make_shared<SilentNameService>();
    TComm comm(
        std::make_unique<TTcpCommPort>(hangs ? SilentNameService::Resolver(service) : Answering({}, code)));
    const QString name = QStringLiteral("tcp://gw-7.plant.example:4001");
    useLayoutSettings(comm, name);
    QCOMPARE(openAside(comm), QStringLiteral("Error opening serial port"));
    // The limit covers the look-up: the opening ends while the resolver still waits.
    if (hangs)
        QVERIFY(service->StillWaiting());
    const QString why = comm.LastPortError();
    QVERIFY2(why.startsWith(name + QStringLiteral(": ")) && why.contains(cause), qPrintable(why));
    if (code != EAI_NONAME)
        QVERIFY2(!why.contains(u"主机名未知"), qPrintable(why));
    if (!hangs)
        QVERIFY2(why.contains(QString::fromLocal8Bit(gai_strerror(code))), qPrintable(why));
    service->Release();
}

void TestTcpCommPort::addressesInTurn_data() {
    // What each address the name resolves to does: "silent" never answers, "refused", "works".
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QStringList>("causes"); // empty: the connection is made to the working one
    const QString refused = QString::fromLocal8Bit(std::strerror(ECONNREFUSED));
    QTest::newRow("silent IPv6, then IPv4 that works") << QStringList{"silent6", "works4"} << QStringList{};
    QTest::newRow("refused IPv6, then IPv4 that works") << QStringList{"refused6", "works4"} << QStringList{};
    QTest::newRow("two silent, then one that works")
        << QStringList{"silent6", "silent4", "works4"} << QStringList{};
    QTest::newRow("silent IPv6, refused IPv4")
        << QStringList{"silent6", "refused4"} << QStringList{"[::1]: 3 秒内无应答", "127.0.0.1: " + refused};
    QTest::newRow("one refused address") << QStringList{"refused4"} << QStringList{"127.0.0.1: " + refused};
}

void TestTcpCommPort::addressesInTurn() {
    QFETCH(QStringList, addresses);
    QFETCH(QStringList, causes);
    std::vector<std::unique_ptr<LoopbackServer>> servers;
    std::vector<TTcpEndpoint> endpoints;
    LoopbackServer* working = nullptr;
    for (const QString& what : addresses) {
        const bool v6 = what.endsWith(u'6');
        servers.push_back(std::make_unique<LoopbackServer>(v6, what.startsWith(u"silent") ? 0 : 4));
        LoopbackServer& server = *servers.back();
        if (v6 && server.port == 0)
            QSKIP("no IPv6 loopback on this machine");
        QVERIFY(server.port != 0);
        if (what.startsWith(u"silent"))
            QVERIFY(server.StopAnswering());
        else if (what.startsWith(u"refused"))
            server.StopListening();
        else
            working = &server;
        endpoints.push_back(EndpointOf(server));
    }
    TComm comm(std::make_unique<TTcpCommPort>(Answering(endpoints)));
    const QString name = QStringLiteral("tcp://gw-7.plant.example:4001");
    useLayoutSettings(comm, name);
    Recorder rec(comm);
    const QString error = openAside(comm);
    if (causes.isEmpty()) {
        QVERIFY2(error.isEmpty(), qPrintable(error + u' ' + comm.LastPortError()));
        QVERIFY(working->Accept(1000));
        QVERIFY(comm.SendData("ping", 4));
        QCOMPARE(working->ReadUntilQuiet(2000, 150), QByteArray("ping"));
        return;
    }
    QCOMPARE(error, QStringLiteral("Error opening serial port"));
    // Every address is named with its own cause, in the order they were tried.
    QCOMPARE(comm.LastPortError(), name + QStringLiteral(": ") + causes.join(QStringLiteral("; ")));
}

void TestTcpCommPort::cancelledOpening_data() {
    QTest::addColumn<bool>("resolving"); // cancelled while the name is looked up, or while connecting
    QTest::newRow("while connecting") << false;
    QTest::newRow("while resolving") << true;
}

void TestTcpCommPort::cancelledOpening() {
    QFETCH(bool, resolving);
    LoopbackServer silent(false, 0);
    QVERIFY(silent.StopAnswering());
    LoopbackServer working;
    auto service = std::make_shared<SilentNameService>();
    // slow.example keeps the look-up waiting, silent.example leads to a server that never answers.
    const TTcpResolver slow = SilentNameService::Resolver(service);
    const TTcpEndpoint silentAt = EndpointOf(silent), workingAt = EndpointOf(working);
    TComm comm(std::make_unique<TTcpCommPort>([=](const TTcpAddress& a) {
        if (a.Host == "slow.example")
            return slow(a);
        return TTcpResolution{0, 0, {a.Host == "silent.example" ? silentAt : workingAt}};
    }));
    useLayoutSettings(comm, resolving ? QStringLiteral("tcp://slow.example:4001")
                                      : QStringLiteral("tcp://silent.example:4001"));
    Recorder rec(comm);
    QSignalSpy done(&comm, &TComm::OnOpenDone);
    const int fdsBefore = countEntries("/proc/self/fd");
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!comm.BeginOpenPort());
    QVERIFY(comm.IsOpening() && !comm.IsOpen());
    QVERIFY(comm.IsNetworkPort());
    // A second opening is refused while one is under way.
    QCOMPARE(openError(comm), QStringLiteral("This serial port already opened"));
    QTest::qWait(300);
    comm.CancelOpenPort();
    // Given up at once, well before the time limit; no end of the opening is told afterwards.
    QVERIFY2(clock.elapsed() < TTcpCommPort::kConnectTimeoutMs, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!comm.IsOpening() && !comm.IsOpen());
    QTest::qWait(100);
    QCOMPARE(done.count(), 0);
    // The look-up is left to end by itself, and then nothing of the opening is left.
    if (resolving) {
        QVERIFY(service->StillWaiting());
        service->Release();
    }
    QCOMPARE(countEntries("/proc/self/fd"), fdsBefore);

    // The next opening ends as its own, and is told once.
    comm.SetCommName(QStringLiteral("tcp://works.example:4001"));
    QCOMPARE(openAside(comm), QString());
    QVERIFY(comm.IsOpen());
    QVERIFY(working.Accept(1000));
    QTest::qWait(100);
    QCOMPARE(done.count(), 1);
    comm.ClosePort();
    QCOMPARE(rec.hangups, 0);
    service->Release();
}

void TestTcpCommPort::otherSideEnds_data() {
    QTest::addColumn<bool>("reset");
    QTest::addColumn<int>("pauseMs");       // between the last bytes and the end
    QTest::addColumn<QStringList>("order"); // empty notices aside
    QTest::newRow("closed after a reply") << false << 20 << QStringList{"data10", "hangup"};
    QTest::newRow("closed right behind a reply") << false << 0 << QStringList{"data10", "hangup"};
    QTest::newRow("reset while requests go out") << true << -1 << QStringList{"hangup"};
}

void TestTcpCommPort::otherSideEnds() {
    QFETCH(bool, reset);
    QFETCH(int, pauseMs);
    QFETCH(QStringList, order);
    LoopbackServer server;
    TComm comm;
    useLayoutSettings(comm, server.Name());
    Recorder rec(comm);
    comm.OpenPort();
    QVERIFY(server.Accept());
    QTRY_COMPARE_WITH_TIMEOUT(rec.empties, 1, 2000);
    if (pauseMs >= 0) {
        QVERIFY(server.Write("last words"));
        ::usleep(useconds_t(pauseMs) * 1000);
    }
    server.ClosePeer(reset);
    // Both threads meet the lost connection: the transmit thread through these requests.
    for (int i = 0; i < 3; ++i) {
        comm.SendData("\x01\x03\x00\x00\x00\x0a\xc5\xcd", 8);
        QTest::qWait(30);
    }
    QTRY_COMPARE_WITH_TIMEOUT(rec.hangups, 1, 2000);
    QTest::qWait(300);
    // What came before the end is delivered first, and the owner hears of the end once.
    QStringList seen = rec.order;
    seen.removeAll(QStringLiteral("empty"));
    QCOMPARE(seen, order);
    // The port stays open until its owner closes it, as for a vanished device.
    QVERIFY(comm.IsOpen());
    QCOMPARE(openError(comm), QStringLiteral("This serial port already opened"));
    comm.ClosePort();
    QVERIFY(!comm.IsOpen());
}

void TestTcpCommPort::connectionOptions() {
    LoopbackServer server;
    TTcpCommPort port;
    QVERIFY(port.Open(server.Name().toLatin1()));
    const int fd = port.Descriptor();
    auto option = [fd](int level, int name) {
        int value = -1;
        socklen_t size = sizeof value;
        return ::getsockopt(fd, level, name, &value, &size) == 0 ? value : -1;
    };
    // Requests leave at once; a peer that vanished without closing is noticed within about 30 s, whether
    // the connection idles or has sent bytes waiting for their acknowledgement.
    QCOMPARE(option(IPPROTO_TCP, TCP_NODELAY), 1);
    QCOMPARE(option(SOL_SOCKET, SO_KEEPALIVE), 1);
    const int idleEnd = option(IPPROTO_TCP, TCP_KEEPIDLE) +
                        option(IPPROTO_TCP, TCP_KEEPINTVL) * option(IPPROTO_TCP, TCP_KEEPCNT);
    QVERIFY2(idleEnd > 0 && idleEnd <= 35, qPrintable(QString::number(idleEnd)));
    const int unacknowledged = option(IPPROTO_TCP, TCP_USER_TIMEOUT);
    QVERIFY2(unacknowledged > 0 && unacknowledged <= 35000, qPrintable(QString::number(unacknowledged)));
    port.Close();
    QCOMPARE(port.Descriptor(), -1);
}

void TestTcpCommPort::layerFollowsThePortName() {
    // One component, a terminal and a network port in turn: each opening takes the layer its name asks.
    // Only the network port's opening goes aside; a terminal opens at once, told by nothing more.
    LoopbackServer server;
    PtyPair pty;
    TComm comm;
    Recorder rec(comm);
    QSignalSpy done(&comm, &TComm::OnOpenDone);
    for (const QString& name : {server.Name(), pty.name, server.Name()}) {
        useLayoutSettings(comm, name);
        const bool network = name.startsWith(u"tcp://");
        QCOMPARE(comm.IsNetworkPort(), network);
        done.clear();
        QCOMPARE(comm.BeginOpenPort(), !network);
        QCOMPARE(comm.IsOpen(), !network);
        QCOMPARE(comm.IsNetworkPort(), network);
        if (network)
            QVERIFY(done.wait(3000));
        QCOMPARE(done.count(), network ? 1 : 0);
        QVERIFY(comm.IsOpen());
        QVERIFY(comm.SendData("hi", 2));
        if (network) {
            QVERIFY(server.Accept());
            QCOMPARE(server.ReadUntilQuiet(2000, 150), QByteArray("hi"));
            server.ClosePeer();
            QTRY_COMPARE_WITH_TIMEOUT(rec.hangups, 1, 2000);
            rec.hangups = 0;
        } else {
            QCOMPARE(pty.ReadUntilQuiet(2000, 150), QByteArray("hi"));
        }
        comm.ClosePort();
    }
}

QTEST_GUILESS_MAIN(TestTcpCommPort)
#include "tst_TcpCommPort.moc"
