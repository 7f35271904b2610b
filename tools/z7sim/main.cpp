// z7sim: Z7 power controllers on a pseudo-terminal, for trying the panel and for end-to-end tests.
//
//   panel  <->  pty "line" (symlink --link)  <->  relay (faults)  <->  pty "device"  <->  libmodbus slave
//                                                                  <->  pty "device"  <->  libmodbus slave
//
// Each address of --address is one device behind its own pty, with its own registers and plant; the
// relay hands a request to the device with its address (a broadcast to all) and drops the others, as a
// shared RS-485 line does. With --tcp the panel's side of the line is one TCP connection instead, as a
// serial device server offers it; the relay and everything behind it stay the same.
//
// The relay owns the line's timing: a reply leaves in one write, so the master sees it as one chunk, or
// with --pace a character at a time at the line's rate; every fault is applied there, chosen from
// --seed. With --line-log it writes down what each reply became on the line, so a test can judge the
// master against the bytes it was really given.

#include "LineFaults.h"
#include "SimLine.h"
#include "Z7Model.h"
#include "Z7Version.h"

#include <modbus/modbus.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <getopt.h>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

struct TcpEndpoint {
    std::string address = "127.0.0.1";
    int port = 0;
};

struct Options {
    std::string link = "/tmp/ttyZ7";
    bool linkGiven = false;
    std::optional<TcpEndpoint> tcp;
    std::vector<int> addresses{1}; // ascending
    std::vector<int> silent;       // served, never answered; ascending
    bool pace = false;
    std::optional<int> turnaroundMs;
    int baud = 19200;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 2;
    std::uint64_t seed = 1;
    std::uint16_t alarms = 0;
    bool debug = false;
    std::string lineLog;
    FaultSettings faults;
};

void usage(FILE* out) {
    std::fprintf(out, R"(Usage: z7sim [options]
Simulates Z7 three-phase power controllers, Modbus RTU slaves on one line: a pseudo-terminal or TCP.

Registers (holding, 0 to 29; function 03 reads, function 06 writes):
  0 input setting (/100)      3 run/stop (see below)      4, 5 max/min output limit (/10, %%)
  10 input quantity (/10, %%)  11 output quantity (/10, %%) 12 temperature (degC)
  13 alarm bits 0-8 (bit 4 TEMP MAX)                      15 full-scale voltage (/10, V)
  20-22 phase currents (/10, A)                           23 line voltage (/10, V)
  Writes to 0, 3, 4, 5 are echoed; writes elsewhere and reads beyond 29 get exception 02.
  Register 3 reads 1 while the plant runs and 0 while it is stopped (it starts stopped). Writing it is a
  command: 1 stops, 0 runs, other values change nothing. So the panel's run/stop switch, which writes 1
  while bit 0 reads set and 0 while it reads clear, stops a running device and starts a stopped one.

Line:
  --link PATH        symlink to the panel's side of the line (default /tmp/ttyZ7), removed on exit
  --tcp [ADDRESS:]PORT
                     serve the line over TCP instead, as a serial device server does (RTU over TCP;
                     the panel's port is tcp://ADDRESS:PORT). ADDRESS is 127.0.0.1 unless given:
                     0.0.0.0 or [::] for every interface, an IPv6 address in brackets. PORT 0 takes
                     any free port; the first line printed tells which. One client at a time: while
                     one is connected, another is accepted and reset at once, and replies still on
                     their way to a client that left are dropped, not counted.
  --address LIST     slave addresses, 1 to 247 (default 1): one (3), a range (1-8) or a mixture
                     (1-4,7). Each is a device of its own, with its own registers, run/stop state and
                     noise; requests to other addresses get no answer, broadcasts (0) reach every
                     device and none answers
  --silent LIST      addresses among --address that never answer: the device takes its requests and
                     carries out writes, but its answers never reach the line (--silent 3 or 3,5)
  --baud N           baud rate (default 19200; a pseudo-terminal ignores it, --pace follows it)
  --format D_P_S     data bits, parity N/E/O, stop bits, as the panel writes it (default 8_N_2)

Line timing (without these options a reply goes on the line in one write as soon as the device has
made it, as it always did):
  --pace             send the reply's bytes at the pace of --baud and --format, one character time
                     each: 11 bits (start, data, parity, stop) for 8_N_2, 8_E_1 and 8_O_1, 573 us at
                     19200 baud. Faults keep their pauses; the bytes of a burst are paced too
  --turnaround-ms MS the device's pause from the end of a request to the start of its reply, 0 to
                     60000; with --pace 2 unless given, without --pace none unless given

Behaviour:
  --seed N           seed of the readings' noise and of the fault choices (default 1); the same seed
                     gives the same readings and the same fault for the n-th reply on the line. With
                     several addresses each device's noise comes from the seed and its address
  --alarm BITS       alarm bits (register 13, 0 to 0x1FF) held set on every device, e.g. 0x105

Faults, each with a probability P from 0 to 1 per reply of any address (at most one per reply; the sum
must be <= 1):
  --fault-crc P        last CRC byte inverted
  --fault-split P      reply cut in two by a silence of --split-ms (default 250, more than 100)
  --fault-noreply P    no reply at all
  --fault-exception P  exception reply, code 04 (device failure), instead of the reply
  --fault-otheraddr P  reply from the next slave address, with a correct CRC
  --fault-garbage P    1 to 16 random bytes straight before the reply, in the same burst
  --fault-delay P      reply held back --delay-ms (default 500)
  --fault-flood P      --flood-bytes random bytes (default 4096) without gaps, instead of the reply
  --split-ms MS, --delay-ms MS, --flood-bytes N

On SIGINT or SIGTERM it removes the link and prints one line of counts, for example:
  z7sim: requests=12 writes=1 replies=11 good=9 crc=1 split=0 noreply=1 exception=0 otheraddr=0 garbage=0 delay=0 flood=0
"requests" counts well-formed requests to this address (or broadcast), "writes" the settings they
changed (function 06, broadcasts included), "replies" the device's answers
that went on the line whole or were dropped, and each other key how many of them went unchanged ("good")
or with that fault. A reply still held back at exit is not counted.
With several addresses that line holds the totals of all devices (a broadcast counts once for each),
and one line for each address follows it in the same form, e.g.
  z7sim: address 3: requests=4 writes=0 replies=0 good=0 crc=0 ...
A silent address counts its requests and writes, and no replies.

  --line-log FILE    record each reply as it went on the line, one line per record, written as it
                     happens (the reply's number N counts the replies the faults were chosen for):
                       TIME N request HEX     the request the device answered, when it took it
                       TIME N reply FAULT HEX the device's answer and the fault the line gives it
                       TIME N line HEX        one burst of it as written, once its last byte is out
                     TIME is UTC, e.g. 2026-12-10T08:15:02.123Z; HEX is "01 03 14 ...". A dropped reply
                     has no line; a split one has two.
  --debug            libmodbus's trace of every frame on standard output
  --help             this text
  --version          the version
)");
}

bool parseLong(const char* text, long lo, long hi, long* out) {
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

bool parseProbability(const char* text, double* out) {
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !(v >= 0.0 && v <= 1.0))
        return false;
    *out = v;
    return true;
}

bool parseFormat(const char* text, Options* o) {
    if (std::strlen(text) != 5 || text[1] != '_' || text[3] != '_')
        return false;
    const char d = text[0], p = text[2], s = text[4];
    if ((d != '7' && d != '8') || (p != 'N' && p != 'E' && p != 'O') || (s != '1' && s != '2'))
        return false;
    o->dataBits = d - '0';
    o->parity = p;
    o->stopBits = s - '0';
    return true;
}

// [ADDRESS:]PORT, an IPv6 address in brackets.
std::optional<TcpEndpoint> parseEndpoint(const std::string& text) {
    TcpEndpoint e;
    std::string port = text;
    if (!text.empty() && text[0] == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':')
            return std::nullopt;
        e.address = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else if (const std::size_t colon = text.rfind(':'); colon != std::string::npos) {
        e.address = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (e.address.find(':') != std::string::npos)
            return std::nullopt; // an IPv6 address needs its brackets
    }
    long v = 0;
    if (e.address.empty() || !parseLong(port.c_str(), 0, 65535, &v) || port[0] < '0' || port[0] > '9')
        return std::nullopt;
    e.port = static_cast<int>(v);
    return e;
}

std::optional<Options> parseOptions(int argc, char** argv) {
    enum {
        OptSplitMs = 256,
        OptDelayMs,
        OptFloodBytes,
        OptLineLog,
        OptSilent,
        OptPace,
        OptTurnaround,
        OptFaultBase
    };
    std::vector<option> longOptions = {
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {"debug", no_argument, nullptr, 'd'},
        {"link", required_argument, nullptr, 'l'},
        {"tcp", required_argument, nullptr, 't'},
        {"address", required_argument, nullptr, 'a'},
        {"baud", required_argument, nullptr, 'b'},
        {"format", required_argument, nullptr, 'f'},
        {"seed", required_argument, nullptr, 's'},
        {"alarm", required_argument, nullptr, 'A'},
        {"split-ms", required_argument, nullptr, OptSplitMs},
        {"delay-ms", required_argument, nullptr, OptDelayMs},
        {"flood-bytes", required_argument, nullptr, OptFloodBytes},
        {"line-log", required_argument, nullptr, OptLineLog},
        {"silent", required_argument, nullptr, OptSilent},
        {"pace", no_argument, nullptr, OptPace},
        {"turnaround-ms", required_argument, nullptr, OptTurnaround},
    };
    std::vector<std::string> faultOptionNames;
    for (int k = 1; k < kLineFaultCount; ++k)
        faultOptionNames.push_back(std::string("fault-") + kLineFaultNames[k]);
    for (int k = 1; k < kLineFaultCount; ++k)
        longOptions.push_back(
            {faultOptionNames[k - 1].c_str(), required_argument, nullptr, OptFaultBase + k});
    longOptions.push_back({nullptr, 0, nullptr, 0});

    Options o;
    long v = 0;
    std::string why; // what is wrong with an address list
    int c;
    int index = -1;
    while ((c = getopt_long(argc, argv, "h", longOptions.data(), &index)) != -1) {
        bool ok = true;
        switch (c) {
        case 'h':
            usage(stdout);
            std::exit(0);
        case 'V':
            std::printf("z7sim %s\n", kZ7Version);
            std::exit(0);
        case 'd':
            o.debug = true;
            break;
        case 'l':
            o.link = optarg;
            o.linkGiven = true;
            ok = !o.link.empty();
            break;
        case 't':
            o.tcp = parseEndpoint(optarg);
            ok = o.tcp.has_value();
            break;
        case 'a':
            o.addresses = ParseAddressList(optarg, &why);
            ok = !o.addresses.empty();
            break;
        case 'b':
            ok = parseLong(optarg, 50, 4000000, &v);
            o.baud = static_cast<int>(v);
            break;
        case 'f':
            ok = parseFormat(optarg, &o);
            break;
        case 's':
            errno = 0;
            {
                char* end = nullptr;
                o.seed = std::strtoull(optarg, &end, 0);
                ok = errno == 0 && end != optarg && *end == '\0' && optarg[0] != '-';
            }
            break;
        case 'A':
            ok = parseLong(optarg, 0, 0x1FF, &v);
            o.alarms = static_cast<std::uint16_t>(v);
            break;
        case OptSplitMs:
            ok = parseLong(optarg, 101, 60000, &v);
            o.faults.splitMs = static_cast<int>(v);
            break;
        case OptDelayMs:
            ok = parseLong(optarg, 0, 60000, &v);
            o.faults.delayMs = static_cast<int>(v);
            break;
        case OptFloodBytes:
            ok = parseLong(optarg, 1, 1 << 20, &v);
            o.faults.floodBytes = static_cast<int>(v);
            break;
        case OptLineLog:
            o.lineLog = optarg;
            ok = !o.lineLog.empty();
            break;
        case OptSilent:
            o.silent = ParseAddressList(optarg, &why);
            ok = !o.silent.empty();
            break;
        case OptPace:
            o.pace = true;
            break;
        case OptTurnaround:
            ok = parseLong(optarg, 0, 60000, &v);
            o.turnaroundMs = static_cast<int>(v);
            break;
        default:
            if (c > OptFaultBase && c < OptFaultBase + kLineFaultCount) {
                ok = parseProbability(optarg, &o.faults.probability[c - OptFaultBase]);
                break;
            }
            usage(stderr);
            return std::nullopt;
        }
        if (!ok) {
            std::fprintf(stderr, "z7sim: invalid value '%s' for --%s%s%s\n", optarg,
                         longOptions[static_cast<std::size_t>(index)].name, why.empty() ? "" : ": ",
                         why.c_str());
            return std::nullopt;
        }
    }
    if (optind < argc) {
        std::fprintf(stderr, "z7sim: unexpected argument '%s'\n", argv[optind]);
        return std::nullopt;
    }
    if (o.tcp && o.linkGiven) {
        std::fprintf(stderr, "z7sim: --link and --tcp exclude each other\n");
        return std::nullopt;
    }
    for (const int a : o.silent) {
        if (!std::binary_search(o.addresses.begin(), o.addresses.end(), a)) {
            std::fprintf(stderr, "z7sim: --silent %d: address %d is not one of --address %s\n", a, a,
                         FormatAddressList(o.addresses).c_str());
            return std::nullopt;
        }
    }
    double sum = 0.0;
    for (double p : o.faults.probability)
        sum += p;
    if (sum > 1.0 + 1e-9) {
        std::fprintf(stderr, "z7sim: the fault probabilities add up to %.3f, more than 1\n", sum);
        return std::nullopt;
    }
    return o;
}

// One pseudo-terminal pair; both ends stay open for the simulator's life, so the master side never
// reads EIO while the panel has the line closed.
struct Pty {
    int master = -1;
    int slave = -1;
    std::string slavePath;

    bool open() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return false;
        char name[128];
        if (ptsname_r(master, name, sizeof name) != 0)
            return false;
        slavePath = name;
        slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave < 0)
            return false;
        // Raw from the start: until the panel sets its own modes, no echo or newline mapping may touch
        // the binary frames.
        termios t{};
        if (tcgetattr(slave, &t) != 0)
            return false;
        cfmakeraw(&t);
        if (tcsetattr(slave, TCSANOW, &t) != 0)
            return false;
        return fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK) == 0;
    }
    ~Pty() {
        if (slave >= 0)
            ::close(slave);
        if (master >= 0)
            ::close(master);
    }
};

// The panel's name for the line; removed on exit only while it still points at our pty, so a second
// simulator that took the name over keeps it.
class LineLink {
public:
    LineLink(std::string path, std::string target) : m_path(std::move(path)), m_target(std::move(target)) {}
    bool create() {
        struct stat st {};
        if (lstat(m_path.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                std::fprintf(stderr, "z7sim: %s exists and is not a symlink; not replacing it\n",
                             m_path.c_str());
                return false;
            }
            ::unlink(m_path.c_str()); // a stale link of an earlier run
        }
        if (::symlink(m_target.c_str(), m_path.c_str()) != 0) {
            std::fprintf(stderr, "z7sim: cannot create %s: %s\n", m_path.c_str(), std::strerror(errno));
            return false;
        }
        m_created = true;
        return true;
    }
    ~LineLink() {
        if (!m_created)
            return;
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(m_path.c_str(), buf, sizeof buf - 1);
        if (n >= 0 && std::string(buf, static_cast<std::size_t>(n)) == m_target)
            ::unlink(m_path.c_str());
    }

private:
    std::string m_path, m_target;
    bool m_created = false;
};

// The listening socket of --tcp.
class Listener {
public:
    ~Listener() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool open(const TcpEndpoint& at) {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
        addrinfo* found = nullptr;
        const std::string port = std::to_string(at.port);
        const int rc = ::getaddrinfo(at.address.c_str(), port.c_str(), &hints, &found);
        if (rc != 0) {
            std::fprintf(stderr, "z7sim: cannot listen on %s: %s\n", at.address.c_str(), gai_strerror(rc));
            return false;
        }
        const addrinfo* a = found;
        m_fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        const int one = 1;
        const bool ok = m_fd >= 0 && ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) == 0 &&
                        ::bind(m_fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(m_fd, 4) == 0;
        const int error = errno;
        ::freeaddrinfo(found);
        if (!ok) {
            std::fprintf(stderr, "z7sim: cannot listen on %s port %d: %s\n", at.address.c_str(), at.port,
                         std::strerror(error));
            return false;
        }
        sockaddr_storage bound{};
        socklen_t size = sizeof bound;
        char host[NI_MAXHOST] = "?", serv[NI_MAXSERV] = "?";
        if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&bound), &size) == 0)
            ::getnameinfo(reinterpret_cast<sockaddr*>(&bound), size, host, sizeof host, serv, sizeof serv,
                          NI_NUMERICHOST | NI_NUMERICSERV);
        m_url = std::string("tcp://") + (bound.ss_family == AF_INET6 ? "[" + std::string(host) + "]" : host) +
                ":" + serv;
        return true;
    }
    int fd() const { return m_fd; }
    const std::string& url() const { return m_url; }

private:
    int m_fd = -1;
    std::string m_url;
};

int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const int saved = errno;
    const char c = 1;
    [[maybe_unused]] auto n = ::write(g_signalPipe[1], &c, 1);
    errno = saved;
}

using WallClock = std::chrono::system_clock;

// A request the device answers, and when it took it.
struct AnsweredRequest {
    WallClock::time_point at;
    Bytes request;
};

// The libmodbus slave, on its own thread: libmodbus reads a request with blocking waits between bytes.
class Device {
public:
    Device(modbus_t* ctx, modbus_mapping_t* map, Z7Model* model, std::mutex* lock, Clock::time_point start)
        : m_ctx(ctx), m_map(map), m_model(model), m_lock(lock), m_start(start) {}

    void Run(int stopFd) {
        std::uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
        pollfd fds[2] = {{modbus_get_socket(m_ctx), POLLIN, 0}, {stopFd, POLLIN, 0}};
        for (;;) {
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (fds[1].revents)
                return;
            // Bad CRC, another slave's frame: libmodbus drops it, as a device on a shared line does.
            const int n = modbus_receive(m_ctx, query);
            if (n <= 0)
                continue;
            ++requests;
            // Every request to this address gets exactly one answer; broadcasts get none. Queued before
            // the answer is written, so the relay finds it there when the answer comes out.
            const bool answered = query[0] != 0;
            if (answered) {
                std::lock_guard guard(m_answeredLock);
                m_answered.push_back({WallClock::now(), Bytes(query, query + n)});
            }
            std::lock_guard guard(*m_lock);
            const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_start);
            m_model->AdvanceTo(now.count());
            if (answer(query, n) < 0 && answered) {
                std::lock_guard answeredGuard(m_answeredLock);
                m_answered.pop_back(); // nothing went out for it
            }
        }
    }

    // The request that the next answer out of the device belongs to, in the order they were answered.
    std::optional<AnsweredRequest> TakeAnswered() {
        std::lock_guard guard(m_answeredLock);
        if (m_answered.empty())
            return std::nullopt;
        AnsweredRequest first = std::move(m_answered.front());
        m_answered.pop_front();
        return first;
    }

    std::atomic<std::uint64_t> requests{0};
    std::atomic<std::uint64_t> writes{0}; // settings changed by function 06, broadcasts included

private:
    // libmodbus's result: below 0 when no answer could be written.
    int answer(const std::uint8_t* q, int n) {
        const bool broadcast = q[0] == 0; // never answered on an RTU line
        const int function = q[1];
        const int reg = (q[2] << 8) | q[3];
        if (function == 0x06 && !Z7Model::IsWritable(reg))
            return broadcast ? 0 : modbus_reply_exception(m_ctx, q, MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS);
        if (function != 0x03 && function != 0x06)
            return broadcast ? 0 : modbus_reply_exception(m_ctx, q, MODBUS_EXCEPTION_ILLEGAL_FUNCTION);
        // libmodbus checks the range against the 30 registers: exception 02 beyond register 29.
        const int rc = modbus_reply(m_ctx, q, n, m_map);
        if (rc >= 0 && function == 0x06) {
            m_model->Written(reg);
            ++writes;
        }
        return rc;
    }

    std::mutex m_answeredLock;
    std::deque<AnsweredRequest> m_answered;

    modbus_t* m_ctx;
    modbus_mapping_t* m_map;
    Z7Model* m_model;
    std::mutex* m_lock;
    Clock::time_point m_start;
};

void writeAll(int fd, const std::uint8_t* data, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, data, n);
        if (w < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
            continue;
        }
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return;
        data += w;
        n -= static_cast<std::size_t>(w);
    }
}

// Length of the complete reply at the front of `buf`, 0 while it is still incomplete.
std::size_t replyLength(const Bytes& buf) {
    if (buf.size() < 2)
        return 0;
    std::size_t need;
    if (buf[1] & 0x80)
        need = 5;
    else if (buf[1] == 0x03 || buf[1] == 0x04)
        need = buf.size() >= 3 ? 5u + buf[2] : SIZE_MAX;
    else
        need = 8;
    return buf.size() >= need ? need : 0;
}

// Length of the request at the front of `buf`: 0 while incomplete, SIZE_MAX for a function whose
// length only the end of the burst tells.
std::size_t requestLength(const Bytes& buf) {
    if (buf.size() < 2)
        return 0;
    std::size_t need;
    switch (buf[1]) {
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04:
    case 0x05:
    case 0x06:
        need = 8;
        break;
    case 0x0F:
    case 0x10:
        need = buf.size() >= 7 ? 9u + buf[6] : SIZE_MAX;
        if (need == SIZE_MAX)
            return 0;
        break;
    default:
        return SIZE_MAX;
    }
    return buf.size() >= need ? need : 0;
}

constexpr auto kRequestSilence = std::chrono::milliseconds(50);

// --line-log: what each reply became on the line, one record a line, flushed as it is written so that a
// test can follow it while the simulator runs.
class LineLog {
public:
    ~LineLog() {
        if (m_file)
            std::fclose(m_file);
    }
    bool Open(const std::string& path) {
        m_file = std::fopen(path.c_str(), "we");
        if (!m_file) {
            std::fprintf(stderr, "z7sim: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
            return false;
        }
        return std::setvbuf(m_file, nullptr, _IOLBF, 1 << 16) == 0;
    }
    bool IsOpen() const { return m_file != nullptr; }

    void Request(std::uint64_t n, WallClock::time_point at, const Bytes& request) {
        write(at, n, "request", request);
    }
    void Reply(std::uint64_t n, LineFault fault, const Bytes& reply) {
        write(WallClock::now(), n, std::string("reply ") + kLineFaultNames[static_cast<int>(fault)], reply);
    }
    void Line(std::uint64_t n, const Bytes& burst) { write(WallClock::now(), n, "line", burst); }

private:
    // "2026-12-10T08:15:02.123Z N what 01 03 14"
    void write(WallClock::time_point at, std::uint64_t n, const std::string& what, const Bytes& bytes) {
        if (!m_file)
            return;
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
        const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
        std::tm utc{};
        gmtime_r(&seconds, &utc);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &utc);
        std::string text = std::string(stamp) + "." + std::to_string(1000 + ms % 1000).substr(1) + "Z " +
                           std::to_string(n) + " " + what;
        static const char kHex[] = "0123456789ABCDEF";
        for (const std::uint8_t b : bytes) {
            text += ' ';
            text += kHex[b >> 4];
            text += kHex[b & 15];
        }
        text += '\n';
        std::fputs(text.c_str(), m_file);
    }

    std::FILE* m_file = nullptr;
};

// One device on the line: its own pseudo-terminal towards the relay, its libmodbus slave, registers and
// plant, served on its own thread.
struct Station {
    int address = 0;
    bool silent = false; // it takes requests, but its answers never reach the line
    Pty pty;
    modbus_t* ctx = nullptr;
    bool connected = false;
    modbus_mapping_t* map = nullptr;
    std::mutex lock;
    std::unique_ptr<Z7Model> model;
    std::unique_ptr<Device> device;
    std::thread thread;
    Bytes fromDevice;                                    // its answer as far as it has come out
    Clock::time_point requestEnd;                        // the last request to it complete on the line
    std::array<std::uint64_t, kLineFaultCount> counts{}; // its replies by what the line did to them

    Station() = default;
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;
    ~Station() {
        if (map)
            modbus_mapping_free(map);
        if (connected)
            modbus_close(ctx);
        if (ctx)
            modbus_free(ctx);
    }

    bool Open(const Options& o, std::uint64_t seed) {
        if (!pty.open()) {
            std::fprintf(stderr, "z7sim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
            return false;
        }
        ctx = modbus_new_rtu(pty.slavePath.c_str(), o.baud, o.parity, o.dataBits, o.stopBits);
        if (!ctx || modbus_set_slave(ctx, address) != 0 || modbus_connect(ctx) != 0) {
            std::fprintf(stderr, "z7sim: libmodbus: %s\n", modbus_strerror(errno));
            return false;
        }
        connected = true;
        if (o.debug)
            modbus_set_debug(ctx, TRUE);
        map = modbus_mapping_new_start_address(0, 0, 0, 0, 0, Z7Model::kRegisterCount, 0, 0);
        if (!map)
            return false;
        model = std::make_unique<Z7Model>(map->tab_registers, seed, o.alarms);
        return true;
    }
};

struct Outgoing {
    Clock::time_point due; // when its first character starts
    Bytes bytes;
    std::size_t sent = 0;
    std::optional<LineFault> ends; // the last burst of a reply: counted once it is on the line
    std::uint64_t reply = 0;       // the reply's number in the line log
    Station* from = nullptr;
    std::chrono::nanoseconds charTime{0}; // paced: one character's time on the wire; 0: in one write

    // How many of its bytes the line has carried by `now`: paced, a character is through one character
    // time after the one before it.
    std::size_t DueBytes(Clock::time_point now) const {
        if (now < due)
            return 0;
        if (charTime.count() == 0)
            return bytes.size();
        return std::min<std::size_t>(bytes.size(), static_cast<std::size_t>((now - due) / charTime));
    }
    Clock::time_point NextDue() const { return due + charTime * static_cast<std::int64_t>(sent + 1); }
    Clock::time_point End() const { return due + charTime * static_cast<std::int64_t>(bytes.size()); }
};

// "address 1", "addresses 1-4,7 (silent 3)"
std::string Served(const Options& o) {
    std::string text = (o.addresses.size() == 1 ? "address " : "addresses ") + FormatAddressList(o.addresses);
    if (!o.silent.empty())
        text += " (silent " + FormatAddressList(o.silent) + ")";
    return text;
}

int run(const Options& o) {
    LineLog lineLog;
    if (!o.lineLog.empty() && !lineLog.Open(o.lineLog))
        return 1;
    Pty line;
    if (!o.tcp && !line.open()) {
        std::fprintf(stderr, "z7sim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }

    std::vector<std::unique_ptr<Station>> stations;
    for (const int a : o.addresses) {
        auto s = std::make_unique<Station>();
        s->address = a;
        s->silent = std::binary_search(o.silent.begin(), o.silent.end(), a);
        // A single device keeps --seed itself, so its readings stay those of every earlier run.
        if (!s->Open(o, o.addresses.size() == 1 ? o.seed : DeviceSeed(o.seed, a)))
            return 1;
        stations.push_back(std::move(s));
    }
    const auto start = Clock::now();
    for (auto& s : stations)
        s->device = std::make_unique<Device>(s->ctx, s->map, s->model.get(), &s->lock, start);
    FaultInjector faults(o.faults, o.seed);

    // Without --pace and --turnaround-ms a reply goes out as soon as the device has made it, in one write;
    // with them the wake-ups follow the line's timing to the microsecond, not to the millisecond.
    const bool lineTiming = o.pace || o.turnaroundMs.has_value();
    const auto charTime =
        o.pace ? CharacterTime(o.baud, o.dataBits, o.parity, o.stopBits) : std::chrono::nanoseconds(0);
    const auto turnaround = std::chrono::milliseconds(o.turnaroundMs.value_or(o.pace ? 2 : 0));
    if (lineTiming)
        ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL); // a character at 19200 baud lasts 573 us

    int stopPipe[2];
    if (pipe2(stopPipe, O_CLOEXEC) != 0)
        return 1;
    for (auto& s : stations)
        s->thread = std::thread([st = s.get(), fd = stopPipe[0]] { st->device->Run(fd); });

    int rc = 0;
    {
        LineLink link(o.link, line.slavePath);
        Listener listener;
        if (o.tcp ? !listener.open(*o.tcp) : !link.create()) {
            rc = 1;
        } else {
            std::string timing;
            if (o.pace)
                timing += ", paced";
            if (lineTiming)
                timing += ", turnaround " + std::to_string(turnaround.count()) + " ms";
            if (o.tcp)
                std::printf("z7sim: %s on %s, %d %d_%c_%d, seed %llu%s\n", Served(o).c_str(),
                            listener.url().c_str(), o.baud, o.dataBits, o.parity, o.stopBits,
                            static_cast<unsigned long long>(o.seed), timing.c_str());
            else
                std::printf("z7sim: %s on %s -> %s, %d %d_%c_%d, seed %llu%s\n", Served(o).c_str(),
                            o.link.c_str(), line.slavePath.c_str(), o.baud, o.dataBits, o.parity, o.stopBits,
                            static_cast<unsigned long long>(o.seed), timing.c_str());
            std::fflush(stdout);

            // Replies by what went on the line: a reply still held back at exit is not counted.
            std::deque<Outgoing> out;
            std::uint64_t replyNumber = 0;
            Bytes toDevice;
            auto lastRequestByte = Clock::now();
            std::uint8_t buf[4096];
            // The panel's side of the line: the pty, or the TCP client while one is connected.
            int lineFd = o.tcp ? -1 : line.master;
            bool lineChanged = false;
            // A client that leaves takes along what it asked and what was on its way to it.
            auto dropClient = [&] {
                ::close(lineFd);
                lineFd = -1;
                lineChanged = true;
                toDevice.clear();
                out.clear();
                if (o.debug)
                    std::printf("z7sim: the client left\n");
            };
            auto acceptClient = [&] {
                const int c = ::accept4(listener.fd(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (c < 0)
                    return;
                // A client whose end has arrived but was not read yet gives its place up.
                char probe;
                const ssize_t r = lineFd < 0 ? 1 : ::recv(lineFd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
                if (r == 0 || (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
                    dropClient();
                if (lineFd >= 0) {
                    const linger reset{1, 0};
                    ::setsockopt(c, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                    ::close(c);
                    std::fprintf(stderr, "z7sim: a second client was refused while one is connected\n");
                    return;
                }
                // Each burst leaves at once, never held back to gather more.
                const int one = 1;
                ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                lineFd = c;
                lineChanged = true;
                if (o.debug)
                    std::printf("z7sim: a client connected\n");
            };
            // The line, the signal pipe, the listener, then each device.
            constexpr std::size_t kFirstStation = 3;
            std::vector<pollfd> fds(kFirstStation + stations.size());
            for (std::size_t i = 0; i < stations.size(); ++i)
                fds[kFirstStation + i] = {stations[i]->pty.master, POLLIN, 0};
            for (;;) {
                const auto now = Clock::now();
                std::optional<Clock::time_point> wake;
                bool wantWrite = false;
                if (!out.empty()) {
                    if (out.front().NextDue() <= now)
                        wantWrite = true;
                    else
                        wake = out.front().NextDue();
                }
                if (!toDevice.empty()) {
                    const auto burstEnd = lastRequestByte + kRequestSilence + std::chrono::milliseconds(1);
                    wake = wake ? std::min(*wake, burstEnd) : burstEnd;
                }
                timespec timeout{};
                if (wake) {
                    auto left = std::max<Clock::duration>(Clock::duration::zero(), *wake - now);
                    if (!lineTiming)
                        left = std::chrono::ceil<std::chrono::milliseconds>(left);
                    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
                    timeout = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
                }
                fds[0] = {lineFd, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0};
                fds[1] = {g_signalPipe[0], POLLIN, 0};
                fds[2] = {listener.fd(), POLLIN, 0};
                lineChanged = false;
                if (::ppoll(fds.data(), fds.size(), wake ? &timeout : nullptr, nullptr) < 0) {
                    if (errno == EINTR)
                        continue;
                    rc = 1;
                    break;
                }
                if (fds[1].revents)
                    break;
                // Requests for addresses not served stop here, as on a line where no device has them.
                // libmodbus would take the next frame after one of them for that slave's answer.
                if (fds[0].revents & (o.tcp ? POLLIN | POLLHUP | POLLERR : POLLIN)) {
                    const ssize_t n = ::read(lineFd, buf, sizeof buf);
                    if (n > 0) {
                        toDevice.insert(toDevice.end(), buf, buf + n);
                        lastRequestByte = Clock::now();
                    } else if (o.tcp && (n == 0 || (errno != EAGAIN && errno != EINTR))) {
                        dropClient();
                    }
                }
                // After the read, so that a client that has just left makes room for the next one.
                if (fds[2].revents & POLLIN)
                    acceptClient();
                const bool burstEnded = Clock::now() - lastRequestByte > kRequestSilence;
                for (;;) {
                    std::size_t len = requestLength(toDevice);
                    if (len == 0 || len == SIZE_MAX)
                        len = burstEnded ? toDevice.size() : 0;
                    if (len == 0)
                        break;
                    // A broadcast reaches every device; each carries it out and none answers.
                    for (auto& s : stations) {
                        if (toDevice[0] == s->address || toDevice[0] == 0) {
                            writeAll(s->pty.master, toDevice.data(), len);
                            s->requestEnd = lastRequestByte;
                        }
                    }
                    toDevice.erase(toDevice.begin(), toDevice.begin() + static_cast<std::ptrdiff_t>(len));
                }
                for (std::size_t i = 0; i < stations.size(); ++i) {
                    if (!(fds[kFirstStation + i].revents & POLLIN))
                        continue;
                    Station& s = *stations[i];
                    const ssize_t n = ::read(s.pty.master, buf, sizeof buf);
                    if (n > 0)
                        s.fromDevice.insert(s.fromDevice.end(), buf, buf + n);
                    while (const std::size_t len = replyLength(s.fromDevice)) {
                        const Bytes reply(s.fromDevice.begin(),
                                          s.fromDevice.begin() + static_cast<std::ptrdiff_t>(len));
                        s.fromDevice.erase(s.fromDevice.begin(),
                                           s.fromDevice.begin() + static_cast<std::ptrdiff_t>(len));
                        const std::optional<AnsweredRequest> request = s.device->TakeAnswered();
                        if (lineFd < 0 || s.silent)
                            continue; // its client has left, or its answers never reach the line
                        // Bursts keep their order: a held-back reply also holds back the ones after it,
                        // and none starts before the turnaround after its request.
                        auto base =
                            std::max(Clock::now(), out.empty() ? Clock::time_point{} : out.back().End());
                        base = std::max(base, s.requestEnd + turnaround);
                        LineFault fault;
                        auto chunks = faults.Apply(reply, &fault);
                        ++replyNumber;
                        if (request)
                            lineLog.Request(replyNumber, request->at, request->request);
                        lineLog.Reply(replyNumber, fault, reply);
                        if (chunks.empty())
                            ++s.counts[static_cast<int>(fault)];
                        for (auto& chunk : chunks) {
                            base += std::chrono::milliseconds(chunk.pauseMs);
                            out.push_back(
                                {base, std::move(chunk.bytes), 0, std::nullopt, replyNumber, &s, charTime});
                            base = out.back().End();
                        }
                        if (!chunks.empty())
                            out.back().ends = fault;
                    }
                }
                if (wantWrite && !lineChanged && (fds[0].revents & POLLOUT)) {
                    Outgoing& head = out.front();
                    // Unpaced, one write per burst, so the master reads a reply without inner gaps; paced,
                    // the characters whose time has come.
                    const std::size_t due = head.DueBytes(Clock::now());
                    if (due <= head.sent)
                        continue;
                    const ssize_t w = ::write(lineFd, head.bytes.data() + head.sent, due - head.sent);
                    if (w > 0)
                        head.sent += static_cast<std::size_t>(w);
                    if (o.tcp && w < 0 && errno != EAGAIN && errno != EINTR) {
                        dropClient();
                        continue;
                    }
                    if (head.sent == head.bytes.size()) {
                        lineLog.Line(head.reply, head.bytes);
                        if (head.ends)
                            ++head.from->counts[static_cast<int>(*head.ends)];
                        out.pop_front();
                    }
                }
            }
            if (o.tcp && lineFd >= 0)
                ::close(lineFd);
        }
    }

    const char c = 1;
    [[maybe_unused]] auto n = ::write(stopPipe[1], &c, 1);
    for (auto& s : stations)
        s->thread.join();
    ::close(stopPipe[0]);
    ::close(stopPipe[1]);

    // The line's totals first (what tests read), then, for several devices, each one's share.
    auto printCounts = [](const char* who, std::uint64_t requests, std::uint64_t writes,
                          const std::array<std::uint64_t, kLineFaultCount>& counts) {
        std::uint64_t replies = 0;
        for (auto k : counts)
            replies += k;
        std::printf("z7sim: %srequests=%llu writes=%llu replies=%llu", who,
                    static_cast<unsigned long long>(requests), static_cast<unsigned long long>(writes),
                    static_cast<unsigned long long>(replies));
        for (int k = 0; k < kLineFaultCount; ++k)
            std::printf(" %s=%llu", kLineFaultNames[k], static_cast<unsigned long long>(counts[k]));
        std::printf("\n");
    };
    std::uint64_t requests = 0, writes = 0;
    std::array<std::uint64_t, kLineFaultCount> counts{};
    for (const auto& s : stations) {
        requests += s->device->requests.load();
        writes += s->device->writes.load();
        for (int k = 0; k < kLineFaultCount; ++k)
            counts[k] += s->counts[k];
    }
    printCounts("", requests, writes, counts);
    if (stations.size() > 1) {
        for (const auto& s : stations) {
            const std::string who = "address " + std::to_string(s->address) + ": ";
            printCounts(who.c_str(), s->device->requests.load(), s->device->writes.load(), s->counts);
        }
    }
    std::fflush(stdout);
    return rc;
}

} // namespace

int main(int argc, char** argv) {
    const auto options = parseOptions(argc, argv);
    if (!options)
        return 2;

    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return 1;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    return run(*options);
}
