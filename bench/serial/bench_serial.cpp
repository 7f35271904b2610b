// Measures the serial port component on pseudo-terminal pairs and prints the figures as Markdown:
// burst throughput against `cat` on the same pair, delivery delay after a chunk's last byte (also over a
// loopback TCP connection), idle CPU of an open port, and descriptors and threads left after many
// open/close cycles and vanished devices.
#include "LoopbackServer.h"
#include "ScriptedCommPort.h"
#include "SerialComm.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Pty {
    int master = -1, slave = -1;
    QString name;
    Pty() {
        char path[256];
        if (::openpty(&master, &slave, path, nullptr, nullptr) != 0) {
            std::perror("openpty");
            std::exit(1);
        }
        name = QString::fromLocal8Bit(path);
    }
    ~Pty() {
        closeMaster();
        ::close(slave);
    }
    void closeMaster() {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
};

void writeAll(int fd, const char* data, size_t n) {
    while (n) {
        const ssize_t w = ::write(fd, data, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            std::perror("write");
            std::exit(1);
        }
        data += w;
        n -= size_t(w);
    }
}

void useLayoutSettings(TComm& comm, const QString& name) {
    comm.SetCommName(name);
    comm.SetBaudRate(19200);
    comm.SetOutx_XonXoffFlow(false);
    comm.SetInx_XonXoffFlow(false);
    comm.SetRtsControl(TComm::RtsDisable);
}

// Runs the event loop, blocked in its own wait, until done() holds (looked at after every event and
// every millisecond) or the limit passes.
template <typename F> bool runUntil(F done, int limitMs) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    check.setTimerType(Qt::PreciseTimer);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(1);
    QTimer::singleShot(limitMs, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

// Runs the event loop for ms with nothing else to do.
void idleFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

int countEntries(const char* dir) {
    return int(QDir(QString::fromLatin1(dir)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

QByteArray burstPattern() {
    QByteArray b(1 << 20, Qt::Uninitialized);
    for (int i = 0; i < b.size(); ++i)
        b[i] = char((i * 31 + i / 256) & 0xFF); // every byte value, 0xFF and NUL included
    return b;
}

// `cat` reading the slave side of the pair in raw mode, its output counted through a pipe.
double catBurstSeconds(const Pty& pty, const QByteArray& burst) {
    termios tio;
    ::tcgetattr(pty.slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(pty.slave, TCSANOW, &tio);
    int out[2];
    if (::pipe(out) != 0)
        std::exit(1);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pty.slave, 0);
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::execlp("cat", "cat", nullptr);
        _exit(127);
    }
    ::close(out[1]);
    const auto t0 = Clock::now();
    std::thread writer([&] { writeAll(pty.master, burst.constData(), size_t(burst.size())); });
    qint64 got = 0;
    char buf[65536];
    while (got < burst.size()) {
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n <= 0)
            break;
        got += n;
    }
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    writer.join();
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    ::close(out[0]);
    if (got != burst.size()) {
        std::fprintf(stderr, "cat lost bytes: %lld of %lld\n", (long long)got, (long long)burst.size());
        std::exit(1);
    }
    return s;
}

struct BurstResult {
    double seconds;
    qint64 lost;
    bool chunksOk;
    bool bytesOk;
};

BurstResult compBurst(const Pty& pty, const QByteArray& burst) {
    TComm comm;
    useLayoutSettings(comm, pty.name);
    QByteArray received;
    received.reserve(burst.size());
    std::vector<int> sizes;
    Clock::time_point last;
    QObject::connect(&comm, &TComm::OnReceiveData, [&](QObject*, const char* buf, quint16 n) {
        received.append(buf, n);
        sizes.push_back(n);
        last = Clock::now();
    });
    comm.OpenPort();
    const auto t0 = Clock::now();
    std::thread writer([&] { writeAll(pty.master, burst.constData(), size_t(burst.size())); });
    runUntil([&] { return received.size() >= burst.size(); }, 30000);
    writer.join();
    idleFor(300); // anything after the burst would be a fault too
    bool chunksOk = !sizes.empty();
    for (size_t i = 0; i + 1 < sizes.size(); ++i)
        chunksOk = chunksOk && sizes[i] == 2048;
    return {std::chrono::duration<double>(last - t0).count(), burst.size() - received.size(), chunksOk,
            received == burst};
}

void burst() {
    const QByteArray data = burstPattern();
    std::vector<double> cat, comp;
    qint64 lost = 0;
    bool chunksOk = true, bytesOk = true;
    // Both run over the same pty pair, in turn.
    const Pty pty;
    for (int i = 0; i < 7; ++i) {
        cat.push_back(catBurstSeconds(pty, data));
        const BurstResult r = compBurst(pty, data);
        comp.push_back(r.seconds);
        lost += r.lost;
        chunksOk = chunksOk && r.chunksOk;
        bytesOk = bytesOk && r.bytesOk;
    }
    const double mib = 1.0;
    std::printf("| 1 MiB burst, TComm (median of 7) | %.1f ms, %.1f MiB/s |\n", median(comp) * 1000,
                mib / median(comp));
    std::printf("| 1 MiB burst, `cat` on the same pty pair (median of 7) | %.1f ms, %.1f MiB/s |\n",
                median(cat) * 1000, mib / median(cat));
    std::printf("| throughput ratio TComm / `cat` | %.2f |\n", median(cat) / median(comp));
    std::printf("| bytes lost over 7 bursts | %lld |\n", (long long)lost);
    std::printf("| every chunk 2048 bytes but the last | %s |\n", chunksOk ? "yes" : "NO");
    std::printf("| bytes identical (all 256 values) | %s |\n", bytesOk ? "yes" : "NO");
}

// Baseline for the delivery delay: the same silence rule in a bare thread polling a raw pty or a loopback
// socket (readFd), stamping the moment the silence ends, with no hand-off to an event loop. The replies
// go into writeFd, the other end.
class BareSilenceReader {
public:
    BareSilenceReader(int silenceMs, int readFd, int writeFd)
        : m_silence(silenceMs), m_readFd(readFd), m_writeFd(writeFd) {
        if (::pipe(m_stop) != 0)
            std::exit(1);
        m_thread = std::thread([this] { run(); });
    }
    ~BareSilenceReader() {
        (void)!::write(m_stop[1], "x", 1);
        m_thread.join();
        ::close(m_stop[0]);
        ::close(m_stop[1]);
    }
    // Writes a reply and returns the delay from the write to the end of its silence, in ms.
    double measure(const QByteArray& reply) {
        std::unique_lock lock(m_mutex);
        const int before = m_count;
        writeAll(m_writeFd, reply.constData(), size_t(reply.size()));
        const auto written = Clock::now();
        m_cv.wait(lock, [&] { return m_count > before; });
        return std::chrono::duration<double, std::milli>(m_stamp - written).count();
    }

private:
    void run() {
        bool pending = false;
        Clock::time_point last;
        char buf[2048];
        for (;;) {
            timespec ts{};
            const timespec* timeout = nullptr;
            if (pending) {
                const auto left =
                    last + std::chrono::milliseconds(m_silence) + std::chrono::microseconds(1) - Clock::now();
                const qint64 us =
                    std::max<qint64>(0, std::chrono::ceil<std::chrono::microseconds>(left).count());
                ts = {time_t(us / 1000000), long(us % 1000000) * 1000};
                timeout = &ts;
            }
            pollfd fds[2] = {{m_stop[0], POLLIN, 0}, {m_readFd, POLLIN, 0}};
            const int r = ::ppoll(fds, 2, timeout, nullptr);
            if (fds[0].revents)
                return;
            if (r > 0 && (fds[1].revents & POLLIN)) {
                if (::read(m_readFd, buf, sizeof buf) > 0) {
                    pending = true;
                    last = Clock::now();
                }
            } else if (pending && Clock::now() - last > std::chrono::milliseconds(m_silence)) {
                pending = false;
                std::lock_guard lock(m_mutex);
                m_stamp = Clock::now();
                ++m_count;
                m_cv.notify_all();
            }
        }
    }

    int m_silence;
    int m_readFd, m_writeFd;
    int m_stop[2];
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_count = 0;
    Clock::time_point m_stamp;
};

// A connection to a loopback server, both ends sending at once, for the bare baseline over TCP.
struct LoopbackPair {
    LoopbackServer server;
    int client = -1;
    LoopbackPair() {
        client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(server.port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int one = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (::connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || !server.Accept()) {
            std::perror("loopback connection");
            std::exit(1);
        }
    }
    ~LoopbackPair() { ::close(client); }
};

void deliveryDelay(bool tcp) {
    // The component reads the slave of a pty pair, or a connection to a loopback server; the device's
    // replies go into the other end.
    Pty pty;
    LoopbackServer server;
    TComm comm;
    useLayoutSettings(comm, tcp ? server.Name() : pty.name);
    Clock::time_point delivered;
    int chunks = 0;
    QObject::connect(&comm, &TComm::OnReceiveData, [&](QObject*, const char*, quint16) {
        delivered = Clock::now();
        ++chunks;
    });
    comm.OpenPort();
    if (tcp && !server.Accept()) {
        std::fprintf(stderr, "the component did not connect\n");
        std::exit(1);
    }
    const int device = tcp ? server.peer : pty.master;
    Pty barePty;
    termios tio;
    ::tcgetattr(barePty.slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(barePty.slave, TCSANOW, &tio);
    LoopbackPair barePair;
    BareSilenceReader bare(int(comm.ReadIntervalTimeout()), tcp ? barePair.client : barePty.slave,
                           tcp ? barePair.server.peer : barePty.master);
    std::vector<double> delays, bareDelays;
    const QByteArray reply(25, '\x5a');
    // The two alternate chunk by chunk, so both see the same load on the machine.
    for (int i = 0; i < 200; ++i) {
        const int before = chunks;
        writeAll(device, reply.constData(), size_t(reply.size()));
        const auto written = Clock::now();
        runUntil([&] { return chunks > before; }, 5000);
        delays.push_back(std::chrono::duration<double, std::milli>(delivered - written).count());
        bareDelays.push_back(bare.measure(reply));
        idleFor(10);
    }
    const double interval = comm.ReadIntervalTimeout();
    std::printf("| delivery delay after the last byte%s, 200 chunks of 25 bytes, TComm: median / p99 / max | "
                "%.2f / %.2f / %.2f ms: interval + %.2f ms at p99 |\n",
                tcp ? " over loopback TCP" : "", median(delays), percentile(delays, 0.99),
                *std::max_element(delays.begin(), delays.end()), percentile(delays, 0.99) - interval);
    std::printf("| same, bare poll loop on a %s (baseline, no hand-off): median / p99 / max | "
                "%.2f / %.2f / %.2f ms: interval + %.2f ms at p99 |\n",
                tcp ? "loopback TCP socket" : "raw pty", median(bareDelays), percentile(bareDelays, 0.99),
                *std::max_element(bareDelays.begin(), bareDelays.end()),
                percentile(bareDelays, 0.99) - interval);
}

double cpuSeconds() {
    timespec ts;
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

void idleCpu() {
    auto measure = [](TComm& comm) {
        comm.OpenPort();
        idleFor(200);
        const double c0 = cpuSeconds();
        const auto t0 = Clock::now();
        idleFor(10000);
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        const double used = cpuSeconds() - c0;
        comm.ClosePort();
        return 100.0 * used / wall;
    };
    Pty pty;
    TComm comm;
    useLayoutSettings(comm, pty.name);
    std::printf(
        "| idle CPU of an open port over 10 s, pseudo-terminal (whole process) | %.4f %% of a core |\n",
        measure(comm));
    // A port with line-error and modem counters is looked at every 50 ms; the scripted layer takes that path.
    TComm ticking(std::make_unique<TScriptedCommPort>());
    std::printf(
        "| idle CPU of an open port over 10 s, port with event counters (scripted layer) | %.4f %% of a "
        "core |\n",
        measure(ticking));
}

void cycles() {
    Pty pty;
    TComm comm;
    useLayoutSettings(comm, pty.name);
    const int fd0 = countEntries("/proc/self/fd"), task0 = countEntries("/proc/self/task");
    qint64 received = 0;
    QObject::connect(&comm, &TComm::OnReceiveData, [&](QObject*, const char*, quint16 n) { received += n; });
    int sentOk = 0;
    const auto t0 = Clock::now();
    for (int i = 0; i < 1000; ++i) {
        comm.OpenPort();
        writeAll(pty.master, "0123456789abcdefghijklmno", 25);
        if (comm.SendData("\x01\x03\x00\x00\x00\x0a\xc5\xcd", 8)) {
            // Wait for the request to reach the device side, so the transmit thread has really written.
            char buf[64];
            int got = 0;
            pollfd p{pty.master, POLLIN, 0};
            while (got < 8 && ::poll(&p, 1, 1000) > 0) {
                const ssize_t n = ::read(pty.master, buf, sizeof buf);
                if (n <= 0)
                    break;
                got += int(n);
            }
            sentOk += got == 8;
        }
        QCoreApplication::processEvents();
        comm.ClosePort();
    }
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    idleFor(200);
    std::printf("| 1000 open/close cycles with traffic | %.2f s, %d of 1000 requests on the line |\n", s,
                sentOk);
    std::printf("| descriptors before / after | %d / %d |\n", fd0, countEntries("/proc/self/fd"));
    std::printf("| threads before / after | %d / %d |\n", task0, countEntries("/proc/self/task"));
}

void vanished() {
    const int fd0 = countEntries("/proc/self/fd"), task0 = countEntries("/proc/self/task");
    int hangups = 0;
    for (int i = 0; i < 100; ++i) {
        Pty pty;
        TComm comm;
        useLayoutSettings(comm, pty.name);
        int mine = 0;
        QObject::connect(&comm, &TComm::OnRequestHangup, [&](QObject*) { ++mine; });
        comm.OpenPort();
        writeAll(pty.master, "bytes in flight", 15);
        pty.closeMaster();
        runUntil([&] { return mine > 0; }, 2000);
        comm.ClosePort();
        hangups += mine;
    }
    idleFor(200);
    std::printf("| 100 vanished devices: hang-up notices | %d |\n", hangups);
    std::printf("| descriptors before / after | %d / %d |\n", fd0, countEntries("/proc/self/fd"));
    std::printf("| threads before / after | %d / %d |\n", task0, countEntries("/proc/self/task"));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // Arguments pick sections (burst delay tcpdelay idle cycles vanished); none runs them all.
    QStringList pick = app.arguments().mid(1);
    auto want = [&](const char* name) { return pick.isEmpty() || pick.contains(QLatin1String(name)); };
    std::printf("| measure | figure |\n|---|---|\n");
    if (want("burst"))
        burst();
    if (want("delay"))
        deliveryDelay(false);
    if (want("tcpdelay"))
        deliveryDelay(true);
    if (want("idle"))
        idleCpu();
    if (want("cycles"))
        cycles();
    if (want("vanished"))
        vanished();
    return 0;
}
