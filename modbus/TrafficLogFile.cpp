#include "TrafficLogFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// SIGHUP is turned into a readable byte on this socket pair ([0] written by the handler, [1] watched
// in the event loop), since a signal handler may do next to nothing itself.
int g_hangUpFds[2] = {-1, -1};

void OnHangUp(int) {
    const int saved = errno;
    const char wake = 1;
    // When the socket is full, a wake-up is already waiting: nothing is lost by a failed write.
    (void)!::write(g_hangUpFds[0], &wake, 1);
    errno = saved;
}

// The one notifier for the process's SIGHUP, made on first use; nullptr with the reason otherwise.
QSocketNotifier* HangUpNotifier(QString* error) {
    static QPointer<QSocketNotifier> notifier;
    if (notifier)
        return notifier;
    const auto fail = [error](const QString& why) -> QSocketNotifier* {
        if (error)
            *error = why;
        return nullptr;
    };
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return fail(QStringLiteral("no application object"));
    if (g_hangUpFds[0] < 0 &&
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_hangUpFds) != 0)
        return fail(qt_error_string(errno));
    struct sigaction action {};
    action.sa_handler = OnHangUp;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(SIGHUP, &action, nullptr) != 0)
        return fail(qt_error_string(errno));
    notifier = new QSocketNotifier(g_hangUpFds[1], QSocketNotifier::Read, app);
    // Connected first, so it runs before the logs' reopening: one reopening for signals close together.
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char drained[64];
        while (::read(g_hangUpFds[1], drained, sizeof drained) > 0) {
        }
    });
    return notifier;
}

// A write to a pipe whose reader has gone raises SIGPIPE, which would end the program: the signal is
// held back for this write and discarded, so the write only fails with EPIPE.
ssize_t WriteHoldingSigPipe(int fd, const char* data, size_t size) {
    sigset_t pipeOnly;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous);
    const ssize_t n = ::write(fd, data, size);
    const int error = errno;
    if (n < 0 && error == EPIPE && !alreadyPending) {
        const timespec none{0, 0};
        while (sigtimedwait(&pipeOnly, nullptr, &none) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return n;
}

} // namespace

TrafficLogFile::TrafficLogFile(QObject* parent) : QObject(parent) {}

TrafficLogFile::~TrafficLogFile() {
    CloseFile();
}

bool TrafficLogFile::Open(const QString& path, QString* error) {
    CloseFile();
    m_path = path;
    m_fileName = QFile::encodeName(path);
    if (OpenFile(true, error))
        return true;
    m_path.clear();
    m_fileName.clear();
    return false;
}

bool TrafficLogFile::OpenFile(bool waitForReader, QString* error) {
    // Without O_NONBLOCK a FIFO's opening waits for its reader; a regular file or device ignores it.
    const int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | (waitForReader ? 0 : O_NONBLOCK);
    int fd;
    do
        fd = ::open(m_fileName.constData(), flags, 0666);
    while (fd < 0 && errno == EINTR);
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        const int why = errno;
        if (fd >= 0)
            ::close(fd);
        if (error)
            *error = qt_error_string(why);
        return false;
    }
    // Each line goes to the system whole, as with a plain file, also into a pipe.
    if (!waitForReader) {
        const int now = ::fcntl(fd, F_GETFL);
        if (now >= 0)
            (void)::fcntl(fd, F_SETFL, now & ~O_NONBLOCK);
    }
    m_fd = fd;
    m_device = status.st_dev;
    m_inode = status.st_ino;
    m_pipe = S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode);
    return true;
}

void TrafficLogFile::CloseFile() {
    if (m_fd < 0)
        return;
    // Not retried on EINTR: on Linux the descriptor is released whatever close() returns.
    ::close(m_fd);
    m_fd = -1;
}

bool TrafficLogFile::ReplacedOnDisk() const {
    struct stat status {};
    if (::stat(m_fileName.constData(), &status) != 0)
        return true; // deleted, or moved away with nothing new there yet
    return status.st_dev != m_device || status.st_ino != m_inode;
}

void TrafficLogFile::Failed(const QString& reason) {
    if (m_failing)
        return;
    m_failing = true;
    emit writeFailed(reason);
}

void TrafficLogFile::Reopen() {
    if (m_path.isEmpty())
        return;
    CloseFile();
    QString why;
    if (!OpenFile(false, &why))
        Failed(why);
}

bool TrafficLogFile::ReopenOnHangUp(QString* error) {
    QSocketNotifier* notifier = HangUpNotifier(error);
    if (!notifier)
        return false;
    connect(notifier, &QSocketNotifier::activated, this, &TrafficLogFile::Reopen, Qt::UniqueConnection);
    return true;
}

void TrafficLogFile::Write(const TrafficRecord& record) {
    if (m_path.isEmpty())
        return;
    if (m_fd >= 0 && ReplacedOnDisk())
        CloseFile();
    QString why;
    if (m_fd < 0 && !OpenFile(false, &why)) {
        ++m_lost;
        ++m_lostWhileFailing;
        Failed(why);
        return;
    }
    QByteArray out;
    if (m_brokenLine)
        out += '\n'; // ends what a failed write left of a line, so every line stays whole
    if (m_lost > 0)
        out += IsoUtcMs(record.utcMs).toLatin1() + " log lost " + QByteArray::number(m_lost) + '\n';
    const qsizetype gapLineEnd = out.size();
    out += TrafficLogLine(record).toLatin1() + '\n';

    qsizetype written = 0;
    int error = 0;
    while (written < out.size()) {
        const char* data = out.constData() + written;
        const size_t size = size_t(out.size() - written);
        const ssize_t n = m_pipe ? WriteHoldingSigPipe(m_fd, data, size) : ::write(m_fd, data, size);
        if (n > 0) {
            written += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            error = n < 0 ? errno : EIO;
            break;
        }
    }
    if (written == out.size()) {
        const qint64 lost = m_lostWhileFailing;
        m_lost = 0;
        m_lostWhileFailing = 0;
        m_brokenLine = false;
        if (m_failing) {
            m_failing = false;
            emit writeResumed(lost);
        }
        return;
    }
    if (written > 0) {
        if (written >= gapLineEnd)
            m_lost = 0; // the gap's line is in the file; only this record is to be counted again
        m_brokenLine = out[written - 1] != '\n';
    }
    ++m_lost;
    ++m_lostWhileFailing;
    // Opened again at the next write: a full disk may have room then, a pipe a new reader.
    CloseFile();
    Failed(qt_error_string(error));
}
