#pragma once
// The device simulator as a child process, started with posix_spawn: a fork of a multi-threaded test
// (QProcess forks) is refused by ThreadSanitizer, a spawn is not. Its standard output, the start-up line
// and the line of counts it prints on SIGINT or SIGTERM, goes to a file that Stop() reads back.

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

class TSimulatorProcess {
public:
    TSimulatorProcess() = default;
    ~TSimulatorProcess() { Stop(); }
    TSimulatorProcess(const TSimulatorProcess&) = delete;
    TSimulatorProcess& operator=(const TSimulatorProcess&) = delete;

    // Starts the program with its arguments and waits up to timeoutMs until the symlink `link` (one of
    // the arguments) exists; false when it could not be started or did not make the link in time.
    bool Start(const QString& program, const QStringList& args, const QString& link, int timeoutMs = 10000) {
        return Spawn(program, args, timeoutMs, [&link] { return QFileInfo(link).isSymLink(); });
    }

    // Starts the program serving TCP on a free loopback port (`--tcp 127.0.0.1:0`, then `args`) and
    // returns the panel's port name for it, "tcp://127.0.0.1:PORT", once the simulator printed it;
    // empty when it could not be started or said nothing in time.
    QString StartTcp(const QString& program, const QStringList& args, int timeoutMs = 10000) {
        QString url;
        const QStringList all = QStringList{QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:0")} + args;
        Spawn(program, all, timeoutMs, [this, &url] {
            const QRegularExpressionMatch m =
                QRegularExpression(QStringLiteral("tcp://[^,\\s]+")).match(QString::fromLocal8Bit(Printed()));
            if (m.hasMatch())
                url = m.captured();
            return m.hasMatch();
        });
        return url;
    }

    bool Running() const { return m_pid > 0; }

    // Ends the simulator with the signal and waits for it; returns all it printed. Its pseudo-terminals
    // go away with it: the device is pulled.
    QByteArray Stop(int signal = SIGTERM) {
        if (m_pid > 0) {
            ::kill(m_pid, signal);
            while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
            }
            m_pid = -1;
        }
        return Printed();
    }

    // A place for the simulator's link that goes away with this object.
    QString LinkPath() const { return m_dir.filePath(QStringLiteral("ttyZ7")); }

    // One count of the line the simulator prints at its end ("crc=3" gives 3 for "crc"); -1 when the
    // line does not have it.
    static int Count(const QByteArray& printed, const char* key) {
        const QRegularExpression re(QStringLiteral("\\b%1=(\\d+)").arg(QLatin1String(key)));
        const QRegularExpressionMatch m = re.match(QString::fromLocal8Bit(printed));
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    }

private:
    // Spawns the program and waits until `serving` says it serves its line; false when it could not be
    // started, died, or did not serve in time.
    bool Spawn(const QString& program, const QStringList& args, int timeoutMs,
               const std::function<bool()>& serving) {
        Stop();
        const QByteArray path = QFile::encodeName(program);
        const QByteArray out = QFile::encodeName(m_dir.filePath(QStringLiteral("stdout.txt")));
        QList<QByteArray> words{path};
        for (const QString& a : args)
            words << a.toLocal8Bit();
        std::vector<char*> argv;
        for (QByteArray& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.constData(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (posix_spawn(&m_pid, path.constData(), &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        m_output = QString::fromLocal8Bit(out);

        QElapsedTimer t;
        t.start();
        while (m_pid > 0 && t.elapsed() < timeoutMs) {
            if (serving())
                return true;
            if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                return false;
            }
            ::usleep(20 * 1000);
        }
        return false;
    }

    QByteArray Printed() const {
        if (m_output.isEmpty())
            return {};
        QFile file(m_output);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
    QString m_output;
    pid_t m_pid = -1;
};
