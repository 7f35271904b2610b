#pragma once
// A pseudo-terminal pair for tests: the code under test opens the slave by its name, the test plays
// the device on the master side with real bytes and real timing.

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

#include <limits>

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

struct PtyPair {
    int master = -1;
    int slave = -1;
    QString name;

    PtyPair() {
        char path[256] = {};
        if (::openpty(&master, &slave, path, nullptr, nullptr) == 0)
            name = QString::fromLocal8Bit(path);
    }
    ~PtyPair() {
        CloseMaster();
        if (slave >= 0)
            ::close(slave);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // Closing the master is how a test pulls the device from under an open port.
    void CloseMaster() {
        if (master >= 0)
            ::close(master);
        master = -1;
    }

    // The terminal settings as the code under test left them on the slave.
    termios Settings() const {
        termios t{};
        ::tcgetattr(slave, &t);
        return t;
    }

    // Writes all of `bytes` as the device; false when the pty refuses them.
    bool WriteMaster(const QByteArray& bytes) const {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    }

    // What the other side sent: waits up to firstMs for the first byte, then reads until the line stays
    // quiet for quietMs or `limit` bytes are in.
    QByteArray ReadUntilQuiet(int firstMs, int quietMs,
                              qsizetype limit = std::numeric_limits<qsizetype>::max()) const {
        QByteArray out;
        char buf[4096];
        pollfd p{master, POLLIN, 0};
        int waitMs = firstMs;
        while (out.size() < limit && ::poll(&p, 1, waitMs) > 0 && (p.revents & POLLIN)) {
            const ssize_t n =
                ::read(master, buf, size_t(std::min<qsizetype>(qsizetype(sizeof buf), limit - out.size())));
            if (n <= 0)
                break;
            out.append(buf, n);
            waitMs = quietMs;
        }
        return out;
    }

    // What the other side sent, gathered until `count` bytes are in or timeoutMs has passed, with this
    // thread's events processed meanwhile: the sender may be a timer of this thread's event loop.
    QByteArray ReadMaster(int count, int timeoutMs) const {
        QByteArray got;
        QElapsedTimer clock;
        clock.start();
        while (got.size() < count && clock.elapsed() < timeoutMs) {
            QCoreApplication::processEvents();
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 10) == 1 && (p.revents & POLLIN)) {
                char buf[256];
                const ssize_t n = ::read(master, buf, sizeof buf);
                if (n > 0)
                    got.append(buf, n);
            }
        }
        return got;
    }
};
