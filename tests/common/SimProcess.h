#pragma once
// The device simulator z7sim as a child of a test, on a pseudo-terminal link in a temporary directory.
// Started with posix_spawn rather than a fork of the multi-threaded test process, which ThreadSanitizer
// refuses; its line of counts goes to a file that Stop() reads.

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

class SimProcess {
public:
    // `program` is the simulator's path; `args` come after --link.
    SimProcess(const char* program, const QStringList& args) {
        m_link = m_dir.filePath(QStringLiteral("ttyZ7"));
        const QByteArray out = QFile::encodeName(m_dir.filePath(QStringLiteral("counts.txt")));
        QList<QByteArray> argList = {program, "--link", QFile::encodeName(m_link)};
        for (const QString& a : args)
            argList << a.toLocal8Bit();
        std::vector<char*> argv;
        for (QByteArray& a : argList)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.constData(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (posix_spawn(&m_pid, program, &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        m_countsFile = QString::fromLocal8Bit(out);
    }
    ~SimProcess() { Stop(); }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Waits, with the event loop running, until the simulator serves its link; false if it died.
    bool WaitForLink() {
        QElapsedTimer t;
        t.start();
        while (m_pid > 0 && t.elapsed() < 10000) {
            if (QFileInfo(m_link).isSymLink())
                return true;
            if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                return false;
            }
            QTest::qWait(50);
        }
        return false;
    }
    QString Link() const { return m_link; }
    // Stops the simulator and returns its line of counts.
    QString Stop() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
        QFile file(m_countsFile);
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
    }
    // One count of that line ("crc=3"), -1 when it is not there.
    static int Count(const QString& counts, const char* key) {
        const QRegularExpression re(QStringLiteral("\\b%1=(\\d+)").arg(QLatin1String(key)));
        const QRegularExpressionMatch m = re.match(counts);
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    }

private:
    QTemporaryDir m_dir;
    QString m_link;
    QString m_countsFile;
    pid_t m_pid = -1;
};
