#include "StopSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_fds[2] = {-1, -1}; // [0] read by the GUI thread, [1] written by the handler

void OnSignal(int signal) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // Nothing to do if the socket is full: a stop is on its way already.
    [[maybe_unused]] const ssize_t n = ::write(g_fds[1], &number, 1);
    errno = saved;
}

constexpr int kSignals[] = {SIGTERM, SIGINT};

} // namespace

TStopSignals::TStopSignals(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_fds) != 0)
        return; // the signals keep their default: the panel ends without recording its stop
    m_notifier = new QSocketNotifier(g_fds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TStopSignals::readSignal);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // Calls interrupted in the serial threads go on; those that cannot (poll) are retried there.
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

TStopSignals::~TStopSignals() {
    if (!m_notifier)
        return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
    delete m_notifier;
    ::close(g_fds[0]);
    ::close(g_fds[1]);
    g_fds[0] = g_fds[1] = -1;
}

void TStopSignals::readSignal() {
    unsigned char number = 0;
    while (::read(g_fds[0], &number, 1) == 1)
        emit received(number == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM"));
}
