#include "PosixCommPort.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

speed_t standardSpeed(quint32 rate) {
    switch (rate) {
    case 50:
        return B50;
    case 75:
        return B75;
    case 110:
        return B110;
    case 134:
        return B134;
    case 150:
        return B150;
    case 200:
        return B200;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 1800:
        return B1800;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 500000:
        return B500000;
    case 576000:
        return B576000;
    case 921600:
        return B921600;
    case 1000000:
        return B1000000;
    case 1152000:
        return B1152000;
    case 1500000:
        return B1500000;
    case 2000000:
        return B2000000;
    case 2500000:
        return B2500000;
    case 3000000:
        return B3000000;
    case 3500000:
        return B3500000;
    case 4000000:
        return B4000000;
    default:
        return B0;
    }
}

// Errors that mean the driver simply lacks an ioctl (pseudo-terminals, some adapters).
bool unsupported(int err) {
    return err == ENOTTY || err == EINVAL;
}

timespec toTimespec(qint64 us) {
    return timespec{time_t(us / 1000000), long(us % 1000000) * 1000};
}

} // namespace

quint32 TParmrkDecoder::Decode(const char* in, quint32 count, char* out, quint32 capacity,
                               const TOptions& options, quint32& errorFlags) {
    quint32 n = 0;
    auto put = [&](char c) {
        if (n < capacity) {
            out[n++] = c;
        } else {
            m_held = c;
            m_hasHeld = true;
        }
    };
    if (m_hasHeld && capacity > 0) {
        out[n++] = m_held;
        m_hasHeld = false;
    }
    auto dataByte = [&](unsigned char c) {
        if (!(options.IgnoreNull && c == 0))
            put(char(c));
    };
    for (quint32 i = 0; i < count; ++i) {
        const auto c = static_cast<unsigned char>(in[i]);
        switch (m_state) {
        case Normal:
            if (c == 0xFF)
                m_state = GotFF;
            else
                dataByte(c);
            break;
        case GotFF:
            if (c == 0) {
                m_state = GotFF00;
            } else {
                // A doubled 0xFF is one data byte; anything else after a lone 0xFF is passed as it came.
                put(char(0xFF));
                m_state = Normal;
                if (c != 0xFF)
                    dataByte(c);
            }
            break;
        case GotFF00:
            m_state = Normal;
            if (c == 0) {
                errorFlags |= CE_BREAK;
            } else {
                errorFlags |= CE_RXPARITY | CE_FRAME;
                put(options.ReplaceErrors ? options.ErrorChar : char(c));
            }
            break;
        }
    }
    return n;
}

void SetTermiosFromCommState(const TCommState& s, bool marked, termios& tio) {
    ::cfmakeraw(&tio);
    // CLOCAL: a carrier drop is reported as a modem event instead of hanging the terminal up.
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    switch (s.ByteSize) {
    case 5:
        tio.c_cflag |= CS5;
        break;
    case 6:
        tio.c_cflag |= CS6;
        break;
    case 7:
        tio.c_cflag |= CS7;
        break;
    default:
        tio.c_cflag |= CS8;
        break;
    }
    if (s.StopBits != 0)
        tio.c_cflag |= CSTOPB; // one and a half stop bits exist only as two here
    switch (s.Parity) {
    case 1:
        tio.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        tio.c_cflag |= PARENB;
        break;
    case 3:
        tio.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case 4:
        tio.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    // Errors are marked in the input (decoded by the receive thread) rather than dropped or turned into
    // signals; parity is checked only when asked for, and only then are bad bytes marked at all.
    tio.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | ISTRIP | INPCK | IXON | IXOFF | IXANY | PARMRK);
    if (marked)
        tio.c_iflag |= PARMRK;
    if (s.Flags & DCB_PARITY)
        tio.c_iflag |= INPCK;
    if (s.Flags & DCB_OUTX)
        tio.c_iflag |= IXON;
    if (s.Flags & DCB_INX)
        tio.c_iflag |= IXOFF;
    if ((s.Flags & DCB_OUTX_CTS_FLOW) || (s.Flags & DCB_RTS_CONTROL_MASK) == DCB_RTS_CONTROL_HANDSHAKE)
        tio.c_cflag |= CRTSCTS;
    tio.c_cc[VSTART] = cc_t(s.XonChar);
    tio.c_cc[VSTOP] = cc_t(s.XoffChar);
    // One byte minimum: a non-blocking read then answers EAGAIN when empty and 0 only on a hung-up line.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

TPosixCommPort::~TPosixCommPort() {
    Close();
}

bool TPosixCommPort::Open(const QByteArray& name) {
    if (m_fd >= 0 || name.isEmpty())
        return false;
    const int fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    // The lock comes first: TIOCEXCL alone leaves a window in which two programs both open the port.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    // A path that is not a terminal refuses TIOCEXCL with ENOTTY; SetupComm reports that.
    if (::ioctl(fd, TIOCEXCL) != 0 && !unsupported(errno)) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    // A pseudo-terminal has no line that could err, and marking its input would only slow the kernel's
    // receive path down (to a third, measured on a 1 MiB burst): its bytes are taken raw.
    struct stat st;
    const unsigned ptyMajorFirst = 136, ptyMajorLast = 143, bsdPtySlaveMajor = 3;
    const bool pty = ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) &&
                     ((major(st.st_rdev) >= ptyMajorFirst && major(st.st_rdev) <= ptyMajorLast) ||
                      major(st.st_rdev) == bsdPtySlaveMajor);
    m_marked = !pty;
    m_decoder = TParmrkDecoder();
    m_markErrors = 0;
    m_rs485Before.reset();
    takeCounterBaseline();
    return true;
}

bool TPosixCommPort::SetupComm(quint32, quint32) {
    // The kernel sizes its own queues; what matters is that the device is a terminal at all.
    termios tio;
    return m_fd >= 0 && ::tcgetattr(m_fd, &tio) == 0;
}

void TPosixCommPort::Close() {
    if (m_fd < 0)
        return;
    // Flushing first keeps close from waiting out the driver's drain time for unsent bytes.
    ::tcflush(m_fd, TCIOFLUSH);
    setRtsOnSend(false);
    ::ioctl(m_fd, TIOCNXCL);
    ::close(m_fd);
    m_fd = -1;
    m_icountSupported = m_modemSupported = false;
}

void TPosixCommPort::Purge(quint32 flags) {
    if (m_fd < 0)
        return;
    // Aborting pending operations needs nothing here: the threads wake on the close descriptor.
    const bool rx = flags & PURGE_RXCLEAR, tx = flags & PURGE_TXCLEAR;
    if (rx || tx)
        ::tcflush(m_fd, rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH);
}

// Settings this platform has no counterpart for are stored by the component and change nothing here:
// Outx_DsrFlow, DsrSensitivity and DtrHandshake (no DSR/DTR flow control: DTR is left as it is),
// TxContinueOnXoff (with input flow control on, the kernel always goes on sending after it sent XOFF),
// XonLimit and XoffLimit (the kernel picks its own thresholds), and one and a half stop bits (sent as two).
// RTS raised only while sending needs the driver's RS-485 mode; without one RTS stays low.
void TPosixCommPort::SetCommState(const TCommState& s) {
    if (m_fd < 0)
        return;
    termios tio;
    if (::tcgetattr(m_fd, &tio) != 0)
        return;
    SetTermiosFromCommState(s, m_marked, tio);

    const speed_t speed = standardSpeed(s.BaudRate);
    if (speed != B0) {
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
        // The input speed bits stay as the terminal reported them, and after a custom rate they still
        // say "other": cleared, the input speed is the output speed.
        tio.c_cflag &= ~tcflag_t(CIBAUD);
    }
    // Results are not examined: a value the driver refuses leaves its previous setting in force.
    ::tcsetattr(m_fd, TCSANOW, &tio);
    // Rate 0 would drop DTR (hang up), so it is treated as refused.
    if (speed == B0 && s.BaudRate != 0)
        SetCustomBaudRate(m_fd, s.BaudRate);

    m_ignoreNull = (s.Flags & DCB_NULL) != 0;
    m_replaceErrors = (s.Flags & DCB_ERROR_CHAR) != 0;
    m_errorChar = s.ErrorChar;

    int dtr = TIOCM_DTR, rts = TIOCM_RTS;
    switch (s.Flags & DCB_DTR_CONTROL_MASK) {
    case DCB_DTR_CONTROL_ENABLE:
        ::ioctl(m_fd, TIOCMBIS, &dtr);
        break;
    case 0:
        ::ioctl(m_fd, TIOCMBIC, &dtr);
        break;
    default:
        break; // handshake: no DSR/DTR flow control on this platform, the line is left as it is
    }
    const bool toggle = (s.Flags & DCB_RTS_CONTROL_MASK) == DCB_RTS_CONTROL_TOGGLE;
    const bool driverToggles = setRtsOnSend(toggle);
    switch (s.Flags & DCB_RTS_CONTROL_MASK) {
    case DCB_RTS_CONTROL_ENABLE:
        ::ioctl(m_fd, TIOCMBIS, &rts);
        break;
    case 0:
        ::ioctl(m_fd, TIOCMBIC, &rts);
        break;
    case DCB_RTS_CONTROL_TOGGLE:
        if (!driverToggles)
            ::ioctl(m_fd, TIOCMBIC, &rts);
        break;
    default:
        break; // handshake: CRTSCTS drives it
    }
}

// Hands RTS to the driver's RS-485 mode (raised while sending, low after) or gives back the driver's
// own settings; true when the driver now raises RTS for sending.
bool TPosixCommPort::setRtsOnSend(bool on) {
    if (!on) {
        if (m_rs485Before)
            ::ioctl(m_fd, TIOCSRS485, &*m_rs485Before);
        m_rs485Before.reset();
        return false;
    }
    if (m_rs485Before)
        return true;
    serial_rs485 before{};
    // Drivers without RS-485 support answer ENOTTY (or EINVAL, or ENOIOCTLCMD from older kernels).
    if (::ioctl(m_fd, TIOCGRS485, &before) != 0)
        return false;
    serial_rs485 rs485 = before;
    rs485.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    rs485.flags &= ~quint32(SER_RS485_RTS_AFTER_SEND);
    if (::ioctl(m_fd, TIOCSRS485, &rs485) != 0)
        return false;
    m_rs485Before = before;
    return true;
}

void TPosixCommPort::takeCounterBaseline() {
    serial_icounter_struct ic{};
    m_icountSupported = ::ioctl(m_fd, TIOCGICOUNT, &ic) == 0;
    if (m_icountSupported)
        m_counts = {ic.frame, ic.overrun, ic.parity, ic.brk, ic.buf_overrun, ic.rng, ic.dcd};
    int lines = 0;
    m_modemSupported = !m_icountSupported && ::ioctl(m_fd, TIOCMGET, &lines) == 0;
    m_modemLines = lines;
}

TPortStatus TPosixCommPort::TakeEvents(quint32& lineErrors, quint32& modemEvents) {
    lineErrors = 0;
    modemEvents = 0;
    if (m_icountSupported) {
        serial_icounter_struct ic{};
        if (::ioctl(m_fd, TIOCGICOUNT, &ic) != 0) {
            if (errno == EBADF)
                return TPortStatus::Invalid;
            if (!unsupported(errno))
                return TPortStatus::Failed;
            m_icountSupported = false;
        } else {
            if (ic.buf_overrun != m_counts.bufOverrun)
                lineErrors |= CE_RXOVER;
            if (ic.overrun != m_counts.overrun)
                lineErrors |= CE_OVERRUN;
            if (ic.parity != m_counts.parity)
                lineErrors |= CE_RXPARITY;
            if (ic.frame != m_counts.frame)
                lineErrors |= CE_FRAME;
            if (ic.brk != m_counts.brk)
                lineErrors |= CE_BREAK;
            if (ic.rng != m_counts.rng)
                modemEvents |= MODEM_EVENT_RING;
            if (ic.dcd != m_counts.dcd)
                modemEvents |= MODEM_EVENT_CARRIER;
            m_counts = {ic.frame, ic.overrun, ic.parity, ic.brk, ic.buf_overrun, ic.rng, ic.dcd};
            // The counters saw the marked bytes too.
            m_markErrors = 0;
            return TPortStatus::Ok;
        }
    }
    lineErrors = m_markErrors;
    m_markErrors = 0;
    if (m_modemSupported) {
        int lines = 0;
        if (::ioctl(m_fd, TIOCMGET, &lines) != 0) {
            if (errno == EBADF)
                return TPortStatus::Invalid;
            if (!unsupported(errno))
                return TPortStatus::Failed;
            m_modemSupported = false;
            return TPortStatus::Ok;
        }
        if ((lines ^ m_modemLines) & TIOCM_CD)
            modemEvents |= MODEM_EVENT_CARRIER;
        if ((lines & TIOCM_RI) && !(m_modemLines & TIOCM_RI))
            modemEvents |= MODEM_EVENT_RING;
        m_modemLines = lines;
    }
    return TPortStatus::Ok;
}

TPortStatus TPosixCommPort::WaitInput(int closeFd, qint64 timeoutUs, int wakeFd) {
    if (m_decoder.HasHeld())
        timeoutUs = 0;
    // A woken wait ends as one whose time has passed: the receive thread looks again at what it waits for.
    pollfd fds[3] = {{closeFd, POLLIN, 0}, {m_fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    const timespec ts = toTimespec(std::max<qint64>(0, timeoutUs));
    const int r = ::ppoll(fds, wakeFd < 0 ? 2 : 3, timeoutUs < 0 ? nullptr : &ts, nullptr);
    if (r < 0)
        return errno == EINTR ? TPortStatus::Timeout : TPortStatus::Failed;
    if (fds[0].revents & POLLIN)
        return TPortStatus::Stop;
    if (fds[1].revents & POLLNVAL)
        return TPortStatus::Invalid;
    if (fds[1].revents & POLLIN)
        return TPortStatus::Ok;
    if (fds[1].revents & (POLLHUP | POLLERR))
        return TPortStatus::Failed;
    return m_decoder.HasHeld() ? TPortStatus::Ok : TPortStatus::Timeout;
}

TPortStatus TPosixCommPort::Read(char* buffer, quint32 capacity, quint32& got) {
    got = 0;
    const TParmrkDecoder::TOptions options{m_ignoreNull, m_replaceErrors, m_errorChar};
    const quint32 held = m_decoder.HasHeld() ? 1 : 0;
    if (held) {
        got = m_decoder.Decode(nullptr, 0, buffer, capacity, options, m_markErrors);
        if (got == capacity)
            return TPortStatus::Ok;
    }
    char raw[2048];
    const ssize_t n = ::read(m_fd, raw, std::min<quint32>(capacity - got, sizeof raw));
    if (n > 0 && !m_marked) {
        char* out = buffer + got;
        out = options.IgnoreNull ? std::copy_if(raw, raw + n, out, [](char c) { return c != 0; })
                                 : std::copy_n(raw, n, out);
        got = quint32(out - buffer);
        return TPortStatus::Ok;
    }
    if (n > 0) {
        got += m_decoder.Decode(raw, quint32(n), buffer + got, capacity - got, options, m_markErrors);
        return TPortStatus::Ok;
    }
    if (got)
        return TPortStatus::Ok;
    if (n == 0)
        return TPortStatus::Failed; // end of file on a terminal: it was hung up
    if (errno == EAGAIN || errno == EINTR)
        return TPortStatus::Ok;
    return errno == EBADF ? TPortStatus::Invalid : TPortStatus::Failed;
}

TPortStatus TPosixCommPort::Write(const char* data, quint32 length, int closeFd) {
    while (length > 0) {
        const ssize_t n = ::write(m_fd, data, length);
        if (n > 0) {
            data += n;
            length -= quint32(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return errno == EBADF ? TPortStatus::Invalid : TPortStatus::Failed;
        // The driver's queue is full: wait for room, or for the close request.
        pollfd fds[2] = {{closeFd, POLLIN, 0}, {m_fd, POLLOUT, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return TPortStatus::Failed;
        }
        if (fds[0].revents & POLLIN)
            return TPortStatus::Stop;
        if (fds[1].revents & POLLNVAL)
            return TPortStatus::Invalid;
        if ((fds[1].revents & (POLLHUP | POLLERR)) && !(fds[1].revents & POLLOUT))
            return TPortStatus::Failed;
    }
    return TPortStatus::Ok;
}
